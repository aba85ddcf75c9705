// The attributes that the tables give mnemonic, register and operand records and the forms'
// descriptions beside their conditions: the instruction family, jump and loop kinds, the
// pipeline a form uses, register numbers, addressing modes and operand roles. They are
// worked out from the names and the syntax of the data file (the jump items, which the jump
// chains read, take the target operand as value); the cycle class is the only
// one the data file states (cycle=, cycle_inf=, cylce_info= on a mnemonic line).
#pragma once

#include <string>
#include <vector>

#include "IsaData.h"

namespace isagen {

// Each function returns spec items as initializer text for an AttributeSpecItem array,
// without the terminator; an empty result means the record has no list.

// The list of one accepted name of a mnemonic record.
std::vector<std::string> mnemonicAttributeItems(const Form& form, const Mnemonic& mnemonic,
                                                const std::string& acceptedName);
// The list of a register record of the set.
std::vector<std::string> registerAttributeItems(RegisterKind kind, int number);
// The items that follow the conditions in a form's description list.
std::vector<std::string> descriptionAttributeItems(const Form& form);
// The list of item `index` of `seq`; `topLevel` when seq is the form's own operand list
// (not an alternative of a choice).
std::vector<std::string> operandAttributeItems(const Form& form, const Sequence& seq, size_t index, bool topLevel);

// Checks the attribute data of every form; each fault goes to `fail`.
void checkAttributeData(const IsaData& data, void (*fail)(const std::string& message));

// The pipeline use of a form: 1 integer pipeline, 2 integer pipeline over several cycles
// (multiply, divide), 3 load/store pipeline, 4 loop pipeline, 5 both pipelines (control
// flow, context and system instructions, which issue alone), 6 floating-point unit beside
// the integer pipeline; 0 for a generic form. Exposed for the checks.
int pipelineUseOf(const Form& form);

}  // namespace isagen
