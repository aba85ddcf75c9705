// Contents the assembler generates for sections of its own (debug information, the
// note section): data items, LEB128 byte strings and temporary labels, appended to a
// section's flow like parsed nodes, so that layout and object output treat them as
// any other data.
#pragma once

#include <cstddef>
#include <cstdint>

class FConstant;
class FLabel;
class OrbaExpression;
class Section;
class Symbol;
struct LineInfo;

// Directive texts of generated data items; diagnostics about an item quote them.
inline constexpr const char* kDwarfDirective = "Dwarf";
inline constexpr const char* kNoteDirective = "Note";

// Appends one data item at the section's end. width is 8, 16 or 32 bits, or 0 for a
// text: value is then a string, written with its characters, one NUL and extraNuls
// more NULs (extraNuls is ignored for words). A 32-bit item also accepts a value
// that is only known at link time (a symbol address, a difference of labels) and
// goes out as a relocation; narrower items take constants only.
FConstant* appendData(Section& section, OrbaExpression* value, uint8_t width,
                      const char* directive = kDwarfDirective, uint32_t extraNuls = 0);
// appendData of an integer.
FConstant* appendInteger(Section& section, int64_t value, uint8_t width,
                         const char* directive = kDwarfDirective);
// appendData of a text (width 0).
FConstant* appendText(Section& section, const char* text, const char* directive = kDwarfDirective,
                      uint32_t extraNuls = 0);

// Appends constant bytes at the section's end: to the byte run that ends a
// byte-addressed section, or to a new one; as an item of byte-wide elements in a
// section of wider units.
void appendBytes(Section& section, const uint8_t* bytes, size_t count);
// A 16- or 32-bit constant in the section's byte order, through appendBytes.
void appendConstant(Section& section, uint32_t value, uint8_t width);

// The longest LEB128 string of a 64-bit value.
inline constexpr size_t kMaxLeb128Bytes = 10;
// Encodes the value into bytes; returns the number of bytes written.
size_t encodeUleb128(uint64_t value, uint8_t (&bytes)[kMaxLeb128Bytes]);
size_t encodeSleb128(int64_t value, uint8_t (&bytes)[kMaxLeb128Bytes]);
// Appends the LEB128 string of the value as one item of byte-wide elements.
FConstant* appendUleb128(Section& section, uint64_t value);
FConstant* appendSleb128(Section& section, int64_t value);

// Places the label at the section's current end.
FLabel* placeLabel(Section& section, Symbol* symbol);
// A new temporary label of the section, local and present in the object file only
// while its value is relocatable; place it later with placeLabel. Null when no
// symbol table scope is open.
Symbol* newDebugLabel(Section& section);

// A line record for a generated section: no text, no source file, line 0, and a
// control state of its own with debug information off, so that the symbols defined
// on it are not described themselves.
LineInfo* makeGeneratedLine();
// Creates a section of the given name for a new generated line, registers it with
// the section administration and gives it the settings of a generated section
// (applyGeneratedSectionSettings).
Section* createGeneratedSection(const char* name);
// Debug contents, byte-addressed, not code or data, not described in the debug
// information, and a section symbol that is not relocatable.
void applyGeneratedSectionSettings(Section& section);
