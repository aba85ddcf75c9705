// Operand readers that several directive handlers share. Each reads at the
// statement scanner's cursor, reports what it expected (E118, E134, E113) at the
// line when the text does not hold it, and then fails.
#pragma once

#include <cstdint>
#include <vector>

#include "flow/SectionType.h"

class OrbaExpression;
struct LineInfo;
struct Scanner;

// Takes the next token when its code is the one expected; E118 with shown otherwise.
bool expectToken(Scanner& scanner, int32_t code, const char* shown, const LineInfo* line);
// A word-shaped token (identifiers, keywords, mnemonics), interned; E118 "<id>" and
// null for anything else.
const char* scanName(Scanner& scanner, const LineInfo* line);
// A quoted literal's raw text, interned; E118 "<string>" and null for anything else.
const char* scanStringLiteral(Scanner& scanner, const LineInfo* line);
// One expression; E134 or E113 and null when there is none.
OrbaExpression* scanExpression(Scanner& scanner, const LineInfo* line);

// A section type word after blanks (CODE, DATA, DEBUG, ROMDATA, any case); 0 and the
// cursor one byte on when there is none.
int32_t scanSectionType(Scanner& scanner);
// The attribute list of a section declaration, each attribute after a comma; called
// while the next token is a comma. A link-once key or cluster name follows its word
// as a quoted literal in parentheses. E118 at the first thing out of place.
bool scanSectionAttributeList(Scanner& scanner, const LineInfo* line, std::vector<SectionAttribute>& attributes);
