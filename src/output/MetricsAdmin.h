// Instruction metrics: uses per mnemonic, instruction category and execution unit,
// the addressing-mode combinations per mnemonic, and the parallel and generic
// totals. Rendered as the METRICS REPORT, which is also the metrics file format:
// the merge mode reads reports back, adds them up here and writes the sum.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <memory>
#include <string>
#include <vector>

class MetricsAdmin {
 public:
  // One addressing-mode combination of a mnemonic: per operand, a mask of the
  // operand kinds it was seen with (0 = nothing known).
  class Amode {
   public:
    explicit Amode(uint32_t operandCount) : masks(operandCount, 0) {}
    virtual ~Amode() = default;
    bool sameCombination(const Amode& other) const { return masks == other.masks; }

    std::vector<uint64_t> masks;
    uint32_t useCount = 1;
  };

  MetricsAdmin();
  virtual ~MetricsAdmin() = default;

  // Merges the record into an equal combination under the mnemonic, else keeps it
  // after the ones already there.
  void addAmode(int32_t mnemonic, std::unique_ptr<Amode> record);
  // Appends the whole METRICS REPORT to the text.
  void writeReport(std::string& out) const;

  // Adds the counts of one METRICS REPORT file; false when it cannot be opened.
  bool readMetricsFile(const char* path);
  // Adds the counts of one METRICS REPORT text.
  void readMetrics(std::istream& in);
  // A report row: its name (empty on a row that continues the one before) and
  // its count.
  void parseCountLine(const std::string& line, std::string& name, uint32_t& count) const;
  // The combination that the parenthesised part of a row names; null without one.
  static std::unique_ptr<Amode> parseAmodeLine(const std::string& line);
  // The parallel block, from its first row on.
  void readParallelSection(std::istream& in, const std::string& firstLine);

  int32_t nameColumnWidth() const { return nameColumnWidth_; }
  const std::multimap<int32_t, std::unique_ptr<Amode>>& amodes() const { return amodes_; }

  uint32_t total = 0;
  uint32_t generic = 0;
  uint32_t parallelBlocks = 0;
  uint32_t inGeneric = 0;
  uint32_t inParallel = 0;
  std::vector<uint32_t> mnemonicCounts;
  std::vector<uint32_t> categoryCounts;
  std::vector<uint32_t> unitCounts;

 private:
  int32_t nameColumnWidth_;
  std::multimap<int32_t, std::unique_ptr<Amode>> amodes_;
};
