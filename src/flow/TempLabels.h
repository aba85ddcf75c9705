// Labels the assembler makes itself: for a location-counter reference, and later
// for jump chains and generic instruction expansion.
#pragma once

struct LineInfo;
class Symbol;

// The next generated label name ("__T" and a counter that counts down from
// 4294967295), interned; no source name spells it by accident.
const char* makeTempLabelName();

// The same without interning: takes the next number and writes its name into `out`,
// which has room for kTempLabelNameRoom characters with the terminating NUL.
constexpr unsigned kTempLabelNameRoom = 32;
void writeTempLabelName(char* out);
// The number the next generated label name takes, and setting it: a statement may take
// the numbers of its names now and write the names later.
unsigned long nextTempLabelNumber();
void setNextTempLabelNumber(unsigned long number);

// Told of every symbol made: remembers whether one was made under a generated label's name
// before that name was given out, the only way a symbol can already hold a name that is
// just being given out.
void noteSymbolName(const char* name);
// Whether noteSymbolName has met such a symbol in this run.
bool tempLabelNameTakenEarly();
// The number the next generated label name takes, to read and set in place; null when a
// symbol took such a name early. One look-up for a statement that reads and sets it.
unsigned long* freeTempLabelNumber();

// Whether the name is spelt like a generated label ("__T" or "__t" and digits alone):
// such names are kept for the assembler, and a source line may not use them.
bool isTempLabelName(const char* name);
// Reports E110 and answers true when a line of the source (not one made by generic
// expansion) uses such a name.
bool refuseTempLabelName(const char* name, const LineInfo* line);

// Defines the name as a label at the line and gives it the line's section; null
// when no symbol results.
Symbol* defineTempLabel(const char* name, LineInfo* line);

// A fresh generated label where the line's section ends now: marked generated and
// local, and placed as a label node at the section's end.
Symbol* makeGeneratedLabel(LineInfo* line);
// The same, referenced from the line (a location-counter reference).
Symbol* makeLocationCounterLabel(LineInfo* line);
