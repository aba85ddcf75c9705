#include "output/DwarfAdmin.h"

#include <filesystem>
#include <system_error>

#include "expr/OrbaExpression.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"
#include "util/c-memory.h"

namespace {

std::string baseNameWithoutExtension(const char* path) {
  std::string name = path ? path : "";
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace

DwarfAdmin::DwarfAdmin()
    : version_(orbaOptions()->dwarfVersion), inputBaseName_(baseNameWithoutExtension(orbaOptions()->inputFile)) {}

void DwarfAdmin::setProducer(const char* text) {
  producer_ = text ? text : "";
  if (!producer_.empty() && producer_.back() == '\n') producer_.pop_back();
}

const char* DwarfAdmin::makeGroupName() {
  std::string name = "as." + inputBaseName_ + "." + std::to_string(groupCount_++);
  return stringBuffer()->intern(name.c_str());
}

std::string currentDirectory() {
  std::error_code error;
  std::filesystem::path directory = std::filesystem::current_path(error);
  // Without memory to ask for it the units would name no directory at all.
  if (error == std::errc::not_enough_memory) mem_out_of_memory();
  return error ? std::string() : directory.string();
}

bool DwarfAdmin::isDescribed(const Section* section) {
  if (section == placeholderSection() || section->flags.isDebug() || !section->userSection) return false;
  // A fixed address beyond 32 bits is reported with the section (E104); describing it
  // would only repeat that as range errors of the debug data, which has no source line.
  // The same holds for a section that reaches the top of the address space: the end
  // address the debug data gives it needs 33 bits.
  if (section->hasAddress && section->baseExpression()) {
    OrbaExpression* base = section->baseExpression()->evaluate();
    if (base && !base->isError() && base->getKind() == EK_integer &&
        (base->getInteger() < 0 || base->getInteger() + int64_t{section->size} > 0xFFFFFFFFll))
      return false;
  }
  return true;
}

void DwarfAdmin::generate() {
  // Taken now rather than at start-up, so that the values are those the run settled on.
  version_ = orbaOptions()->dwarfVersion;
  inputBaseName_ = baseNameWithoutExtension(orbaOptions()->inputFile);
  name_ = orbaOptions()->inputFile ? orbaOptions()->inputFile : "";
  directory_ = currentDirectory();
  if (version_ != 2 && version_ != 3) {
    errorHandler()->reportWithoutLocation(S_should_not_happen, "DwarfAdmin", 100, "Unknown Dwarf version");
    return;
  }
  if (version_ == 3) {
    generateVersion3();
    return;
  }

  // The sections to describe, taken before the debug sections join the list.
  std::vector<Section*> described;
  for (Section* section : sectionAdmin()->sections())
    if (isDescribed(section)) described.push_back(section);

  CompileUnit unit = openCompileUnit(nullptr, nullptr);
  SectionSink ranges(createDebugSection(".debug_ranges", nullptr));

  // One range list for the whole unit: every section's pair, one terminator. The
  // base selection makes the pairs absolute addresses.
  ranges.word(0xFFFFFFFFu);
  ranges.word(0u);
  for (Section* section : described) writeSectionDebugInfo(section, unit.info, unit.line, &ranges);
  ranges.word(0u);
  ranges.word(0u);
  unit.finish();
}

DwarfAdmin::CompileUnit DwarfAdmin::openCompileUnit(const char* groupName, Section* described) {
  CompileUnit unit{SectionSink(createDebugSection(".debug_info", groupName)),
                   SectionSink(createDebugSection(".debug_abbrev", groupName)),
                   SectionSink(createDebugSection(".debug_line", groupName))};
  Symbol* unitStart = unit.info.newLabel();
  Symbol* afterLength = unit.info.newLabel();
  unit.unitEnd = unit.info.newLabel();
  Symbol* abbrevStart = unit.abbrev.newLabel();
  Symbol* programStart = unit.line.newLabel();
  unit.programEnd = unit.line.newLabel();
  writeAbbrevTable(unit.abbrev.section(), abbrevStart);
  writeCompileUnitHeader(unit.info, unitStart, unit.unitEnd, afterLength, abbrevStart, programStart, described);
  writeLineProgramHeader(unit.line, programStart, unit.programEnd);
  return unit;
}

void DwarfAdmin::CompileUnit::finish() {
  info.byte(0);  // end of the unit's children
  info.place(unitEnd);
  line.place(programEnd);
}

void DwarfAdmin::generateVersion3() {
  std::vector<Section*> described;
  for (Section* section : sectionAdmin()->sections())
    if (isDescribed(section)) described.push_back(section);

  for (Section* section : described) {
    if (!section->clusterName || !*section->clusterName) section->clusterName = makeGroupName();
    CompileUnit unit = openCompileUnit(section->clusterName, section);
    writeSectionDebugInfo(section, unit.info, unit.line, nullptr);
    unit.finish();
  }
}
