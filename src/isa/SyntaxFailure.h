// The diagnostic of an instruction statement that yields no instruction. The statement
// parser asks for it when matching built no candidate, layout when every candidate fails
// one of its conditions.
#pragma once

struct LineInfo;
class IPInstruction;

namespace isa {

struct BuildContext;

// No candidate was built. In this order of preference: E122 with the when-message of a
// failed condition; E108 with the mnemonic when an operand or form is not allowed for the
// selected CPU; the furthest syntax failure (E207, E208, E210, E296 or E110); E211 with the
// mnemonic. `statement` starts at the mnemonic.
void reportUnbuiltStatement(const BuildContext& context, const char* statement, const LineInfo* line);
// The same diagnostic as a formatted text, for a statement whose failure is reported later.
const char* unbuiltStatementText(const BuildContext& context, const char* statement);

// Every candidate fails a condition: E122 with the condition's message, "cause unknown"
// when it has none.
void reportFailedCondition(const char* message, const LineInfo* line);
const char* failedConditionText(const char* message);

// Whether a "when" condition of the candidate is already known to fail, whatever layout
// finds: conditions are taken in order, and the first that is not a known true value
// decides; it must be the integer 0. `message` receives that condition's message.
bool failsForCertain(const IPInstruction& candidate, const char** message);

}  // namespace isa
