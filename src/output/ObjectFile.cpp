#include "output/ObjectFile.h"

#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "util/OrbaState.h"

// Sections carry no contents yet, so there is no object file to write.
void ObjectFile::write() {}

namespace {

const char* sectionTypeName(int32_t type) {
  switch (type) {
    case Section::kNoType: return "_none";
    case Section::kCode: return "code";
    case Section::kData: return "data";
    case Section::kDebug: return "debug";
    case Section::kRomData: return "romdata";
    default: return "**UNKNOWN SECTION TYPE NAME**";
  }
}

}  // namespace

void printSectionSummary(FILE* stream) {
  // The sections' own summary operations write to a stream; the text is gathered and
  // handed over in one write.
  std::ostringstream out;
  std::map<int32_t, uint32_t> sizeByType;
  std::map<int32_t, uint64_t> cyclesByType;
  bool headerWritten = false;
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    if (!headerWritten) {
      int headerLength = section->printSummaryHeader(out);
      out << '\n' << std::string(static_cast<size_t>(headerLength > 0 ? headerLength : 0), '-') << '\n';
      headerWritten = true;
    }
    if (section == placeholderSection()) continue;
    if (section->printSummaryLine(out)) out << '\n';
    if (section->type != Section::kNoType) {
      sizeByType[section->type] += section->size;
      cyclesByType[section->type] += section->cycles;
    }
  }
  if (!sizeByType.empty()) {
    char field[64];
    out << "\nSection summary per section type:\n\n";
    std::snprintf(field, sizeof field, "%-15.15s    %-8.8s    %-6.6s\n", "Type", "Size", "Cycles");
    out << field << std::string(40, '-') << '\n';
    for (const auto& [type, typeSize] : sizeByType) {
      const char* typeName = sectionTypeName(type);
      if (std::strlen(typeName) > 15)
        std::snprintf(field, sizeof field, "%-12.12s...", typeName);
      else
        std::snprintf(field, sizeof field, "%-15.15s", typeName);
      out << field << "    ";
      std::snprintf(field, sizeof field, "0x%06lx", static_cast<unsigned long>(typeSize));
      out << field << "    ";
      uint64_t typeCycles = cyclesByType[type];
      if (typeCycles != 0)
        std::snprintf(field, sizeof field, "%06lu", static_cast<unsigned long>(static_cast<uint32_t>(typeCycles)));
      else
        std::snprintf(field, sizeof field, "%-6.6s", "-");
      out << field << '\n';
    }
  }
  const std::string text = out.str();
  // A failed write on the console is not worth a diagnostic.
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}
