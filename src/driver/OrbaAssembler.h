// The assembler: its constructor is the start-up, its destructor the tear-down and
// run() drives the stages in their fixed order, with a virtual hook around each.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "util/RunState.h"

class OrbaFactory;
class Section;

class OrbaAssembler {
 public:
  // The assembler makes the run's state and keeps it until its destructor; the factory
  // (kept by the caller) makes the target's objects, a plain one when none is given.
  OrbaAssembler(int argc, char** argv, OrbaFactory* factory = nullptr);
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

  ScopedRun run_;
  std::unique_ptr<OrbaFactory> ownFactory_;
  int argc_;
  char** argv_;
};

class TriCoreAssembler : public OrbaAssembler {
 public:
  using OrbaAssembler::OrbaAssembler;
  ~TriCoreAssembler() override;
  void afterPrepare() override;
};
