#include "parser/LineFlags.h"

#include "util/ControlState.h"
#include "util/LineInfo.h"

bool isListed(const LineInfo& line) {
  using namespace lineflag;
  const ControlState* state = line.controlState;
  if (!state) return false;
  const LineFlags& flags = line.flags;
  auto on = [state](ControlState::ListFlag letter) { return state->listing(letter); };
  // The first rule that decides gives the answer.
  if (state->listCounter <= 0 || (flags[1] & kNeverListed1) || (flags[3] & kNeverListed3)) return false;
  if (flags[3] & (kStartOfFile | kEndOfFile)) return false;
  if ((flags[1] & kUnlistedGroup) && !(flags[3] & kGroupListed)) return false;
  if (flags[0] & kBodyEnd) return (flags[0] & kMacroDefinition) && !on(ControlState::kListMacro);
  if ((flags[1] & kEquateOrSet) && !on(ControlState::kListEquate)) return false;
  if ((flags[1] & kControlLine) && !on(ControlState::kListControl)) return (flags[2] & kControlListedAnyway) != 0;
  if ((flags[1] & kSectionDirective) && !on(ControlState::kListSection)) return false;
  if ((flags[1] & kHllLine) && !on(ControlState::kListHll)) return false;
  if ((flags[3] & kLineMarker) && !on(ControlState::kListLine)) return false;
  bool empty = !line.text || !*line.text;
  if (empty && !on(ControlState::kListEmptyLine)) return false;
  if ((flags[0] & kMacroExpansion) && !on(ControlState::kListMacroExpansion)) return false;
  if ((flags[0] & kMacroDefinition) && !on(ControlState::kListMacro)) return false;
  if ((flags[2] & kGenericLine) && (!on(ControlState::kListGeneric) || (flags[2] & kGenericMark)))
    return false;
  if (line.variant() >= 0) {
    if (!(flags[2] & kGeneratedListable)) return false;
    if (!on(ControlState::kListGenericExpansion)) return (flags[2] & kGenericMark) != 0;
  }
  if ((flags[0] & (kConditionalDirective | kInactiveRegion)) && !on(ControlState::kListConditional)) return false;
  if ((flags[0] & kCommentOnly) && !on(ControlState::kListEmptyLine)) return false;
  return true;
}
