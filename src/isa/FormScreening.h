// Screening a form before its candidate is built. Many accepting states offer forms that
// differ only in a condition on a register operand (the base register of an addressing
// mode): all but one of them are built only to be dropped by that condition. Screening
// reads the named operands of the accepted path without building anything and decides
// the form's leading conditions when their operands are known; a form they drop is not
// built at all. A form is screened only when building and dropping it would leave no trace.
#pragma once

#include <cstdint>

#include "isa/InstructionTables.h"

struct LineInfo;

namespace isa {

class InstructionMatcher;
struct MatchPath;

// Works out, for every form of the tables, whether it may be screened. Part of the
// matcher's start-up; a later call works it out again.
void prepareFormScreening();
void forgetFormScreening();

// Whether building the form may mark its statement as a jump (true for a form screening
// does not know): the walk of such a form goes to its end even when its conditions drop it.
bool formMayMarkJump(const MatchAlternative& alternative);

// Whether the conditions of the form drop its candidate for this path, whatever the rest
// of the statement holds. `text` and `length` are the operand text that the build walks.
bool formIsScreenedOut(const MatchAlternative& alternative, const MatchPath& path, const InstructionMatcher* matcher,
                       const char* text, uint32_t length, LineInfo* line);

}  // namespace isa
