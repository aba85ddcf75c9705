// The abbreviation table: compile unit (1), subprogram (2) and label (3). Every
// code, tag, attribute and form is below 128, so each byte is its own LEB128.
#include "output/DwarfAdmin.h"


namespace {

constexpr uint8_t kTagCompileUnit = 0x11;
constexpr uint8_t kTagSubprogram = 0x2E;
constexpr uint8_t kTagLabel = 0x0A;

constexpr uint8_t kAtName = 0x03;
constexpr uint8_t kAtStmtList = 0x10;
constexpr uint8_t kAtLowPc = 0x11;
constexpr uint8_t kAtHighPc = 0x12;
constexpr uint8_t kAtLanguage = 0x13;
constexpr uint8_t kAtCompDir = 0x1B;
constexpr uint8_t kAtProducer = 0x25;
constexpr uint8_t kAtCallingConvention = 0x36;
constexpr uint8_t kAtDeclFile = 0x3A;
constexpr uint8_t kAtDeclLine = 0x3B;
constexpr uint8_t kAtExternal = 0x3F;
constexpr uint8_t kAtRanges = 0x55;

constexpr uint8_t kFormAddr = 0x01;
constexpr uint8_t kFormData4 = 0x06;
constexpr uint8_t kFormString = 0x08;
constexpr uint8_t kFormFlag = 0x0C;
constexpr uint8_t kFormUdata = 0x0F;

}  // namespace

std::vector<uint8_t> abbreviationTable(int32_t version) {
  std::vector<uint8_t> table;
  // Byte by byte: GCC 12 takes a range insert into this vector for a read and write
  // out of bounds (a known false report), and this costs nothing for a table this size.
  auto append = [&table](std::initializer_list<uint8_t> bytes) {
    for (uint8_t byte : bytes) table.push_back(byte);
  };
  append({1, kTagCompileUnit, 1,
          kAtName, kFormString, kAtProducer, kFormString, kAtCompDir, kFormString,
          kAtLanguage, kFormUdata});
  // Version 3 gives each unit its one section's range; version 2 points the one
  // unit at its range list.
  if (version >= 3)
    append({kAtLowPc, kFormAddr, kAtHighPc, kFormAddr});
  else
    append({kAtRanges, kFormData4});
  append({kAtStmtList, kFormData4, 0, 0});

  append({2, kTagSubprogram, 1,
          kAtName, kFormString, kAtDeclFile, kFormUdata, kAtDeclLine, kFormUdata,
          kAtExternal, kFormFlag, kAtCallingConvention, kFormUdata,
          kAtLowPc, kFormAddr, kAtHighPc, kFormAddr, 0, 0});
  append({3, kTagLabel, 0, kAtName, kFormString, kAtLowPc, kFormAddr, 0, 0});
  append({0});
  return table;
}

void DwarfAdmin::writeAbbrevTable(Section* abbrev, Symbol* tableStart) {
  SectionSink sink(abbrev);
  sink.place(tableStart);
  sink.bytes(abbreviationTable(version_));
}
