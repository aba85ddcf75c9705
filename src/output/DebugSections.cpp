#include "output/DebugSections.h"

#include <cstring>

#include "expr/OrbaExpression.h"
#include "expr/TEBinary.h"
#include "expr/TESymbol.h"
#include "flow/Section.h"
#include "flow/SectionAppend.h"

Section* createDebugSection(const char* name, const char* groupName) {
  Section* section = createGeneratedSection(name);
  section->type = Section::kDebug;
  if (groupName) section->clusterName = groupName;
  return section;
}

void ByteSink::uleb(uint64_t value) {
  uint8_t encoded[kMaxLeb128Bytes];
  size_t count = encodeUleb128(value, encoded);
  bytes.insert(bytes.end(), encoded, encoded + count);
}

void ByteSink::sleb(int64_t value) {
  uint8_t encoded[kMaxLeb128Bytes];
  size_t count = encodeSleb128(value, encoded);
  bytes.insert(bytes.end(), encoded, encoded + count);
}

void SectionSink::byte(uint8_t value) { appendBytes(*section_, &value, 1); }

void SectionSink::uleb(uint64_t value) {
  uint8_t encoded[kMaxLeb128Bytes];
  appendBytes(*section_, encoded, encodeUleb128(value, encoded));
}

void SectionSink::sleb(int64_t value) {
  uint8_t encoded[kMaxLeb128Bytes];
  appendBytes(*section_, encoded, encodeSleb128(value, encoded));
}

void SectionSink::bytes(const std::vector<uint8_t>& values) { appendBytes(*section_, values.data(), values.size()); }

void SectionSink::half(uint16_t value) { appendConstant(*section_, value, 16); }

void SectionSink::word(OrbaExpression* value) { appendData(*section_, value, 32); }

void SectionSink::word(uint32_t value) { appendConstant(*section_, value, 32); }

void SectionSink::address(Symbol* symbol) { word(TESymbol::create(symbol)); }

void SectionSink::difference(Symbol* end, Symbol* start) {
  word(new TEBinary(OP_subtract, TESymbol::create(end), TESymbol::create(start)));
}

void SectionSink::text(const char* text) {
  // The characters and one NUL.
  const char* characters = text ? text : "";
  appendBytes(*section_, reinterpret_cast<const uint8_t*>(characters), std::strlen(characters) + 1);
}

Symbol* SectionSink::newLabel() { return newDebugLabel(*section_); }

void SectionSink::place(Symbol* label) { placeLabel(*section_, label); }
