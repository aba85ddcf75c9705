// Puts the values of data directives into the section being written: constants as
// bytes of the section's image in its byte order, everything else as expressions or
// relocations of the object store. Also the pieces that the instruction encoders
// share with it: unit reversal, image stores and the list file's bytes of a line.
#pragma once

#include <cstdint>

struct ExprNode;
struct LineInfo;
class FlowNode;
class ObjectWriter;
class OrbaExpression;

// Encodes one value into elements of width bits at the current location of the
// writer's section and advances its location counter. A non-constant value becomes
// an object-store expression, a relocation of relocationType when that is not 0.
// forcedKind, when not 0, is the expression kind the value is read as. The bytes
// written always match the size the layout gave: a value that cannot be encoded
// becomes zero bytes after its diagnostic.
void encodeDataConstant(ObjectWriter& writer, const FlowNode& node, OrbaExpression* value,
                        uint32_t width, bool packStrings, uint8_t relocationType,
                        uint32_t forcedKind);

// The object-store form of an expression written at line: a value relative to one
// symbol is rebased on the symbol the relocation is expressed against. After a
// failed conversion E139 is reported, the integer 0 returned and *failed (when
// given) set. The caller owns one reference of the result.
ExprNode* emitExpressionValue(OrbaExpression* expression, ObjectWriter& writer, LineInfo* line,
                              int flag, bool* failed = nullptr);

// Units that byteCount bytes fill with units of unitBits bits.
uint32_t unitsForBytes(uint32_t byteCount, uint32_t unitBits);

enum ImageByteOrder : int { kUnitLeastSignificantFirst = 1, kUnitMostSignificantFirst = 2 };
// Copies byteCount bytes into a section image from the unit at image (see
// Section::imageUnit); the bytes of a unit wider than 8 bits are combined in the
// given order.
void storeImageUnits(uint32_t byteCount, const uint8_t* bytes, int order, uint32_t unitBits,
                     uint8_t* image);
// Stores one unit's value at unit, an image position from Section::imageUnit.
void storeImageUnit(uint8_t* unit, uint32_t unitBits, uint32_t value);

// Reverses the order of the units of a buffer (a middle unit stays).
void reverseUnits(uint8_t* bytes, uint32_t byteCount, uint32_t bytesPerUnit);

// Keeps bytes for the list file at the line: their values in the first half of the
// line's buffer, their markers (0 constant, 0xFF filled by the object store) in the
// second half. The buffer's capacity is listingCapacity of the count.
void appendListingBytes(LineInfo* line, const uint8_t* bytes, const uint8_t* masks,
                        uint32_t count);
// Appends count zero bytes with marker 0 and returns where their values lie, for a
// caller that has more bytes than it holds at once to fill them in place; null for a
// null line or no bytes. The place holds until the line's next append.
uint8_t* appendListingZeros(LineInfo* line, uint32_t count);
// The capacity of a line's listing buffer for count bytes; the buffer is twice as
// large (values, then markers). Up to 64 bytes it is the count rounded up to a
// multiple of 8; beyond, the next power of two, so that a line that collects bytes
// a few at a time (a debug section, a long data line) is copied a logarithmic
// number of times rather than once per append.
inline uint32_t listingCapacity(uint32_t count) {
  if (count <= 64) return (count + 7u) & ~7u;
  uint32_t capacity = 128;
  while (capacity < count && capacity < (1u << 31)) capacity <<= 1;
  return capacity;
}

// The line's counters that the nodes set when they are written: the units placed
// (16 bits, as the list shows them) and the cycle count. Nothing for a null line.
void setLineSize(LineInfo* line, uint32_t units);
void setLineCycles(LineInfo* line, uint16_t cycles);

// An object-store expression that exchanges the units of a value of byteCount bytes
// (for little-endian sections). A value of one unit comes back as it is; in both
// cases the caller owns one more reference.
ExprNode* reverseUnitsExpression(ExprNode* value, uint32_t byteCount, uint32_t bytesPerUnit);
