// The diagnostic of an instruction statement that yields no instruction. The statement
// parser asks for it when matching built no candidate, layout when every candidate fails
// one of its conditions.
#pragma once

struct LineInfo;

namespace isa {

struct BuildContext;

// No candidate was built. In this order of preference: E122 with the when-message of a
// failed condition; E108 with the mnemonic when an operand or form is not allowed for the
// selected CPU; the furthest syntax failure (E207, E208, E210 or E110); E211 with the
// mnemonic. `statement` starts at the mnemonic.
void reportUnbuiltStatement(const BuildContext& context, const char* statement, const LineInfo* line);

// Every candidate fails a condition: E122 with the condition's message, "cause unknown"
// when it has none.
void reportFailedCondition(const char* message, const LineInfo* line);

}  // namespace isa
