#include "output/DebugSections.h"

#include "expr/OrbaExpression.h"
#include "expr/TEBinary.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/FConstant.h"
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

void SectionSink::byte(uint8_t value) { appendInteger(*section_, value, 8); }

void SectionSink::uleb(uint64_t value) { appendUleb128(*section_, value); }

void SectionSink::sleb(int64_t value) { appendSleb128(*section_, value); }

void SectionSink::bytes(const std::vector<uint8_t>& values) {
  if (values.empty()) return;
  FConstant* item = appendInteger(*section_, values[0], 8);
  item->values.reserve(values.size());
  for (size_t index = 1; index < values.size(); ++index) item->addValue(TEInteger::create(values[index]));
}

void SectionSink::half(uint16_t value) { appendInteger(*section_, value, 16); }

void SectionSink::word(OrbaExpression* value) { appendData(*section_, value, 32); }

void SectionSink::word(uint32_t value) { appendInteger(*section_, value, 32); }

void SectionSink::address(Symbol* symbol) { word(TESymbol::create(symbol)); }

void SectionSink::difference(Symbol* end, Symbol* start) {
  word(new TEBinary(OP_subtract, TESymbol::create(end), TESymbol::create(start)));
}

void SectionSink::text(const char* text) { appendText(*section_, text); }

Symbol* SectionSink::newLabel() { return newDebugLabel(*section_); }

void SectionSink::place(Symbol* label) { placeLabel(*section_, label); }
