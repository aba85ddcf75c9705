// The assembler: its constructor is the start-up, its destructor the tear-down and
// run() drives the stages in their fixed order, with a virtual hook around each.
#pragma once

#include <cstdio>

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
  virtual void writeCpuTime();
  virtual void writeSectionStatistics();

  // The name under which the input file opens; F001 when none does.
  const char* findSourceFile();

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
