// The assembler controls: the handlers that controlStatement dispatches to, the
// helpers they share, and the pure parts of their arguments (letter strings, core
// selection) on their own so that they can be checked without a parse.
#pragma once

#include <cstdint>
#include <string_view>

#include "parser/OrbaParser.h"

class OrbaExpression;
class RunSettings;
struct LineInfo;

// Target, instruction-group, case and CPU-defect controls (TargetControls.cpp).
bool caseControl(OrbaParser& parser, Statement& statement);
bool coreControl(OrbaParser& parser, Statement& statement);
bool instructionGroupControl(OrbaParser& parser, Statement& statement);
bool defectControl(OrbaParser& parser, Statement& statement);

// Listing and message controls (ListingControls.cpp).
bool listControl(OrbaParser& parser, Statement& statement);
bool pageControl(OrbaParser& parser, Statement& statement);
bool titleControl(OrbaParser& parser, Statement& statement);
bool printerControl(OrbaParser& parser, Statement& statement);
bool debugControl(OrbaParser& parser, Statement& statement);
bool identControl(OrbaParser& parser, Statement& statement);
bool warningControl(OrbaParser& parser, Statement& statement);
bool objectControl(OrbaParser& parser, Statement& statement);

// Shared by the handlers (Controls.cpp).
// Sets the line's control-line flag, which the list-format letter c governs.
void markControlLine(LineInfo* line);
// ON or OFF as the next token: 1 or 0; E118 "expected OFF" and -1 for anything else.
int32_t scanOnOff(Scanner& scanner, const LineInfo* line);
// The value of an absolute integer expression. Any other value draws E102 with the
// control's name; that and a missing expression give -1.
int64_t evalAbsoluteInteger(OrbaExpression* expression, const LineInfo* line, const char* control);

// The list flags that a $LIST letter string leaves: a lower-case letter switches its
// kind of line on, an upper-case one off, and each of the 13 letters not given takes
// its fixed value. A letter given again only counts as a repeat; the first other
// character makes the string invalid.
struct ListLetters {
  uint32_t flags = 0;
  int32_t repeats = 0;
  bool invalid = false;
};
ListLetters listFlagsFromLetters(std::string_view letters, uint32_t flags);

// What a $DEBUG letter string asks for: 1 on, 0 off, -1 not given. Only a and l are
// letters of it, each at most once; anything else makes the string invalid.
struct DebugLetters {
  int32_t asmLines = -1;
  int32_t localSymbols = -1;
  bool invalid = false;
};
DebugLetters debugLettersOf(std::string_view letters);

// Applies a core control ($TC13, $TC131, $TC16, $TC16X by token code) to the options'
// core flags: it sets its own flag and clears those of the newer cores only.
void selectCore(RunSettings& options, int32_t code);
