#include "flow/SectionAppend.h"

#include <cstring>

#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "flow/FBytes.h"
#include "flow/FConstant.h"
#include "flow/FLabel.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/Symbol.h"
#include "flow/TempLabels.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"

namespace {

// Generated items belong to no source line of their own: they are reported and
// listed at the line that made their section.
FConstant* makeItem(Section& section, const char* directive, uint8_t width, uint8_t leb128) {
  uint8_t relocation = width == 32 ? FConstant::kWordRelocation : 0;
  return new FConstant(section.line, directive, 0, width, relocation, leb128);
}

FConstant* appendLeb128(Section& section, const uint8_t* bytes, size_t count) {
  FConstant* item = makeItem(section, kDwarfDirective, 8, 1);
  item->values.reserve(count);
  for (size_t index = 0; index < count; ++index) item->addValue(TEInteger::create(bytes[index]));
  section.addNode(item, true);
  return item;
}

}  // namespace

FConstant* appendData(Section& section, OrbaExpression* value, uint8_t width, const char* directive,
                      uint32_t extraNuls) {
  FConstant* item = makeItem(section, directive, width, 0);
  // An empty text would itself be written as a NUL: it is left to the NULs below, so
  // that every text is its characters and 1 + extraNuls NULs.
  bool emptyText = width == 0 && value && value->getKind() == EK_string && value->getStringLength() == 0;
  if (!emptyText) item->addValue(value);
  if (width == 0) {
    // Each empty text is written as one NUL byte.
    TEString* nul = TEString::intern("", 0);
    for (uint32_t count = 0; count <= extraNuls; ++count) item->addValue(nul);
  }
  section.addNode(item, true);
  return item;
}

FConstant* appendInteger(Section& section, int64_t value, uint8_t width, const char* directive) {
  return appendData(section, TEInteger::create(value), width, directive);
}

FConstant* appendText(Section& section, const char* text, const char* directive, uint32_t extraNuls) {
  auto length = static_cast<uint32_t>(text ? std::strlen(text) : 0);
  return appendData(section, TEString::intern(text ? text : "", length), 0, directive, extraNuls);
}

void appendBytes(Section& section, const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  if (section.mauBits != 8) {
    appendLeb128(section, bytes, count);
    return;
  }
  FlowNode* last = section.flow().last();
  if (last && last->kind == FlowNode::kBytes) {
    static_cast<FBytes*>(last)->append(bytes, count);
    return;
  }
  auto* run = new FBytes(section.line);
  run->append(bytes, count);
  section.addNode(run, true);
}

void appendConstant(Section& section, uint32_t value, uint8_t width) {
  uint8_t bytes[4];
  uint32_t count = width / 8;
  for (uint32_t index = 0; index < count; ++index) {
    uint32_t shift = section.byteOrder == Section::kLittleEndian ? 8 * index : 8 * (count - 1 - index);
    bytes[index] = static_cast<uint8_t>(value >> shift);
  }
  appendBytes(section, bytes, count);
}

size_t encodeUleb128(uint64_t value, uint8_t (&bytes)[kMaxLeb128Bytes]) {
  size_t count = 0;
  do {
    auto byte = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
    if (value != 0) byte |= 0x80;
    bytes[count++] = byte;
  } while (value != 0);
  return count;
}

size_t encodeSleb128(int64_t value, uint8_t (&bytes)[kMaxLeb128Bytes]) {
  size_t count = 0;
  bool more = true;
  while (more) {
    auto byte = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;  // arithmetic: the sign stays
    more = !((value == 0 && !(byte & 0x40)) || (value == -1 && (byte & 0x40)));
    if (more) byte |= 0x80;
    bytes[count++] = byte;
  }
  return count;
}

FConstant* appendUleb128(Section& section, uint64_t value) {
  uint8_t bytes[kMaxLeb128Bytes];
  size_t count = encodeUleb128(value, bytes);
  return appendLeb128(section, bytes, count);
}

FConstant* appendSleb128(Section& section, int64_t value) {
  uint8_t bytes[kMaxLeb128Bytes];
  size_t count = encodeSleb128(value, bytes);
  return appendLeb128(section, bytes, count);
}

FLabel* placeLabel(Section& section, Symbol* symbol) {
  auto* label = new FLabel(section.line, symbol);
  section.addNode(label, true);
  return label;
}

Symbol* newDebugLabel(Section& section) {
  Symbol* symbol = defineTempLabel(makeTempLabelName(), section.line);
  if (!symbol) return nullptr;
  symbol->section = &section;
  // Present in the object file only while its value is relocatable; never subject
  // to the unused-label warning.
  symbol->flags[0] |= Symbol::kBinding0;
  symbol->flags[2] &= static_cast<uint8_t>(~Symbol::kRelocatable);
  symbol->flags[1] |= Symbol::kLocal | Symbol::kUsed;
  return symbol;
}

LineInfo* makeGeneratedLine() {
  OrbaFactory* factory = orbaFactory();
  LineInfo* line = factory->createLineInfo(nullptr, static_cast<uint32_t>(-1), 0, 0);
  ControlState* state = factory->createControlState();
  state->debugKind = 0;
  state->localSymbolDebug = false;
  line->controlState = state;
  line->setOwnsControlState(true);
  return line;
}

Section* createGeneratedSection(const char* name) {
  LineInfo* line = makeGeneratedLine();
  Section* section = orbaFactory()->createSection(line, name);
  if (!section) errorHandler()->reportWithoutLocation(F_out_of_memory);
  section->ownsLine = true;
  line->section = section;
  sectionAdmin()->registerSection(section);
  applyGeneratedSectionSettings(*section);
  return section;
}

void applyGeneratedSectionSettings(Section& section) {
  using Flags = Section::SectionFlags;
  section.flags.set(0, Flags::kDebugBit, true);
  section.flags.set(0, Flags::kCodeBit, false);
  section.flags.set(0, Flags::kDataBit, false);
  if (section.sectionSymbol)
    section.sectionSymbol->flags[2] &= static_cast<uint8_t>(~Symbol::kRelocatable);
  section.userSection = 0;
  section.mauBits = 8;
}
