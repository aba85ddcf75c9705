// Generates the DWARF sections of the run: ordinary sections of generated data
// items and labels, laid out and written like any other section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/DebugSections.h"

class FlowNode;
class Section;
class Symbol;

// The state of one line-number sequence while a section is walked, and the rows it
// writes. File numbers count from 1.
struct LineProgramState {
  int32_t line = 1;
  int32_t file = 1;
  uint32_t pendingAdvance = 0;  // bytes passed since the address of the last row

  // After DW_LNE_set_address: the row at the section's start for its declaration.
  void startSequence(DebugSink& sink, int32_t declarationFile, int32_t declarationLine);
  // One instruction of size bytes at file/line; skipped rows (expanded lines) only
  // add their size.
  void row(DebugSink& sink, int32_t rowFile, int32_t rowLine, uint32_t size, bool skipped);
  void endSequence(DebugSink& sink);
};

// The abbreviation table of one compile unit.
std::vector<uint8_t> abbreviationTable(int32_t version);

// A section name as a subprogram name: identifier characters only, not starting
// with a digit.
std::string subprogramName(const char* sectionName);

class DwarfAdmin {
 public:
  DwarfAdmin();
  virtual ~DwarfAdmin() = default;
  virtual void generate();

  int32_t version() const { return version_; }
  const std::string& inputBaseName() const { return inputBaseName_; }
  // The producer text of the compile units: the version line, without newline.
  void setProducer(const char* text);
  // A new group name: "as.", the input base name, "." and a run-wide count.
  const char* makeGroupName();

 private:
  // The three sections of one compile unit, with its headers written; finish()
  // closes the unit after the sections' entries.
  struct CompileUnit {
    SectionSink info;
    SectionSink abbrev;
    SectionSink line;
    Symbol* unitEnd = nullptr;
    Symbol* programEnd = nullptr;
    void finish();
  };
  // The unit that describes one section (version 3) or every section (described null).
  CompileUnit openCompileUnit(const char* groupName, Section* described);
  void generateVersion3();
  void writeAbbrevTable(Section* abbrev, Symbol* tableStart);
  void writeCompileUnitHeader(SectionSink& info, Symbol* unitStart, Symbol* unitEnd, Symbol* afterLength,
                              Symbol* abbrevStart, Symbol* lineStart, Section* described);
  void writeSectionDebugInfo(Section* described, SectionSink& info, SectionSink& line, SectionSink* ranges);
  void writeLabelDie(SectionSink& info, Symbol* label);
  void writeLineProgramHeader(SectionSink& line, Symbol* programStart, Symbol* programEnd);
  static bool isDescribed(const Section* section);

  int32_t version_;
  std::string inputBaseName_;  // without directory and extension
  std::string producer_;
  std::string name_;       // the compile unit's name: the input argument as given
  std::string directory_;  // the compile unit's directory
  uint32_t groupCount_ = 0;
};

// The process's working directory, empty when it cannot be read.
std::string currentDirectory();
