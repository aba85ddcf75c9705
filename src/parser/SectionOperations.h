// What the section directives do once their operands are read: declare a section,
// switch to one by name, return to the one before, open a nameless one.
#pragma once

#include <cstdint>
#include <vector>

#include "flow/SectionType.h"

class OrbaExpression;
class Section;
struct LineInfo;

// The one slot ".PREVIOUS" returns to: set by every switch by name and by every
// nameless section, emptied by ".PREVIOUS". It is not a stack.
Section* previousSection();
void setPreviousSection(Section* section);

// A new section of that name, registered after every earlier one (a later
// declaration of a name hides the earlier from ".SECT"); the line's section does not
// change. The type and attributes are applied as the declaration gives them.
bool declareSection(LineInfo* line, const char* name, int32_t typeCode,
                    const std::vector<SectionAttribute>& attributes, OrbaExpression* address);

// Makes the latest section of that name (case-sensitive) the line's section; E701
// when there is none. resetToken is the line scanner's code of RESET or 0.
bool selectSection(LineInfo* line, const char* name, int32_t resetToken);
// With the max attribute the section starts again at its beginning (a reset node);
// without it W700 and nothing more.
void resetMaxSection(Section* section, LineInfo* line);
// Returns to the previous section: E178 while no section is active, E291 when there
// is no previous one.
bool selectPreviousSection(LineInfo* line, const char* directive);

// The section of ".ORG": a new section with a generated name, made the line's
// section. With a type its name gets ".text." or ".data." in front.
bool openNamelessSection(LineInfo* line, OrbaExpression* address, int32_t typeCode,
                         const std::vector<SectionAttribute>& attributes);
