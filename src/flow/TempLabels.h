// Labels the assembler makes itself: for a location-counter reference, and later
// for jump chains and generic instruction expansion.
#pragma once

struct LineInfo;
class Symbol;

// The next generated label name ("__T" and a counter that counts down from
// 4294967295), interned; no source name spells it by accident.
const char* makeTempLabelName();

// Defines the name as a label at the line and gives it the line's section; null
// when no symbol results.
Symbol* defineTempLabel(const char* name, LineInfo* line);

// A fresh generated label where the line's section ends now: marked generated and
// local, and placed as a label node at the section's end.
Symbol* makeGeneratedLabel(LineInfo* line);
// The same, referenced from the line (a location-counter reference).
Symbol* makeLocationCounterLabel(LineInfo* line);
