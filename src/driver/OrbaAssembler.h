// The assembler: its constructor is the start-up, its destructor the tear-down and
// run() drives the stages in their fixed order, with a virtual hook around each.
#pragma once

#include <cstdio>
#include <string>

class Section;

class OrbaAssembler {
 public:
  OrbaAssembler(int argc, char** argv);
  virtual int run();
  virtual ~OrbaAssembler();

  virtual void metricsReport();
  virtual void checkSymbols();
  virtual void afterParse();
  virtual void processOptions(const char* firstWord);
  virtual void extraHook() {}
  virtual void finishSections();
  virtual int exitCode();
  virtual void beforeParse() {}
  virtual void beforeOptimize() {}
  virtual void beforeWriteObject() {}
  virtual void beforeList() {}
  virtual void beforeAfterParse() {}
  virtual void afterPrepare() {}
  virtual void afterWriteObject() {}
  virtual void afterList() {}
  virtual void writeStatistics();
  // "# cpu.as.<name>=" and the process's user time in milliseconds.
  virtual void writeCpuTime(const char* statisticsName);
  // "# cs.as.<name>=" and "# estcy.as.<name>=" with the code sections' totals.
  virtual void writeSectionStatistics(const char* statisticsName);

  // The name under which the input file opens; F001 when none does.
  const char* findSourceFile();
  // The input file's name without its directory and its last extension.
  static std::string statisticsName(const char* inputFile);
  // A label at the end of the section, on a line of its own after the section's
  // last node, so that the debug information can give the section's end.
  static void addClosingLabel(Section* section);

 protected:
  int runStages();
  void writePreprocessed();
  void writeObject();
  void tearDown();

  int argc_;
  char** argv_;
};

class TriCoreAssembler : public OrbaAssembler {
 public:
  using OrbaAssembler::OrbaAssembler;
  ~TriCoreAssembler() override;
  void afterPrepare() override;
};
