// What the symbol value, size, type and alias directives do once their operands are
// read, and the two questions they ask of a value expression.
#pragma once

#include <cstdint>

class OrbaExpression;
class Section;
struct LineInfo;

// Whether the value refers to a symbol that is not defined at this point of the
// source (looking through the values of equates, and counting a weak symbol without a
// definition); an external symbol is declared and does not count.
bool hasForwardReference(const OrbaExpression* expression);
// The space the value lies in: 1 for a number or text, a symbol's own class, 0 for a
// section; an operator takes its first operand's.
int32_t expressionMemoryClass(const OrbaExpression* expression);

// ".EQU": defines labelName (or operandName without a label) once, with the value.
bool defineEquate(LineInfo* line, const char* labelName, const char* operandName, OrbaExpression* value);
// ".SET": defines or redefines a symbol whose value may change further down. A value
// with a forward reference is E173; a name defined otherwise E181; a name used before
// E263. A name only bound so far (".GLOBAL" ...) is defined keeping its binding.
bool defineSetSymbol(LineInfo* line, const char* labelName, const char* operandName, OrbaExpression* value,
                     const char* directive);
// ".ALIAS": the alias becomes another name of the target, which may come later.
bool defineAlias(LineInfo* line, const char* aliasName, const char* targetName);
// ".SIZE": the object-file size of the symbol (made when new); a later one replaces it.
bool setSymbolSize(LineInfo* line, const char* name, OrbaExpression* size);
// ".TYPE": the type word (FUNC, OBJECT, FILE, any case) for the label just defined on
// the line: E204 for another word, E142 when the section does not end in a label.
bool applySymbolType(LineInfo* line, const char* typeWord);
// A label right before data becomes a data object, unless it has a type already, is
// a generated name, or the section is a debug section or no section at all.
void typePendingLabelAsObject(Section* section);
