#include "driver/OrbaAssembler.h"

#include <sys/resource.h>

#include <cinttypes>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "util/DependencyHandler.h"
#include "util/ErrorHandler.h"
#include "util/OrbaFactory.h"
#include "driver/OrbaOptions.h"
#include "driver/OptionTable.h"
#include "driver/c-opt.h"
#include "util/OrbaState.h"
#include "flow/OrbaOptimizer.h"
#include "isa/FSimpleRun.h"
#include "flow/FLabel.h"
#include "flow/ObjectStore.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/SectionFinish.h"
#include "flow/SymbolChecks.h"
#include "flow/TempLabels.h"
#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "driver/ObjlibErrorText.h"
#include "driver/VersionText.h"
#include "isa/CycleCounts.h"
#include "isa/DefectChecks.h"
#include "isa/InstructionParser.h"
#include "isa/JumpTargets.h"
#include "objlib/ios_admin.h"
#include "output/DwarfAdmin.h"
#include "output/FileNames.h"
#include "output/ListManager.h"
#include "output/MetricsAdmin.h"
#include "output/ObjectFile.h"
#include "parser/FMacroCall.h"
#include "parser/LineStream.h"
#include "parser/OrbaParser.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "preproc/InputBuffer.h"
#include "preproc/MacroPreprocessor.h"
#include "util/MemoryPools.h"
#include "util/StringBuffer.h"
#include "util/interrupt.h"
#include "util/OutputFile.h"
#include "util/c-memory.h"



OrbaAssembler::OrbaAssembler(int argc, char** argv, OrbaFactory* factory) : argc_(argc), argv_(argv) {
  installInterruptHandling();

  // The pools of the run are registered at their first allocation, together with the
  // clean-up of what the previous pools held.
  if (!factory) {
    ownFactory_ = std::make_unique<OrbaFactory>();
    factory = ownFactory_.get();
  }
  runState().orbaFactory = factory;
  if (!runState().stringBuffer) runState().stringBuffer = new StringBuffer();
  if (!runState().errorHandler) runState().errorHandler = new ErrorHandler();
  if (!runState().dependencyHandler) runState().dependencyHandler = new DependencyHandler();

  orbaFactory()->createOptions(argc, argv);
  processOptions(argc > 1 ? argv[1] : nullptr);

  if (!runState().symbolTable) runState().symbolTable = new SymbolTable();
  if (!runState().sectionAdmin) runState().sectionAdmin = new SectionAdmin();
  if (!runState().lineState) runState().lineState = new LineState();
  LineInfo::keepSourceRanges(orbaOptions()->listFileWanted);
  LineInfo::keepListingFields(orbaOptions()->listFileWanted);
  // A run without a list file lets go of its lines as it parses: their texts' room
  // is taken again.
  lineArena().setRecycleTexts(!orbaOptions()->listFileWanted && !orbaOptions()->preprocessOnly);
  InputBuffer::installPathOperations(normalizePathInBuffer, pathDirAsWritten);
  // The jump-chain pass of the layout reads jump targets through the instruction tables.
  isa::installJumpTargets();
  if (!runState().preProcessor) {
    switch (orbaOptions()->preprocessorType) {
      case 2:
        errorHandler()->reportWithoutLocation(S_not_implemented, "C preprocessing");
        break;
      case 1:
        runState().preProcessor = new MacroPreprocessor();
        break;
      default:
        runState().preProcessor = new OrbaPreprocessor();
        break;
    }
  }
  if (!runState().instructionParser) runState().instructionParser = new InstructionParser();
  if (!runState().dwarfAdmin) runState().dwarfAdmin = new DwarfAdmin();
  if ((orbaOptions()->instructionMetrics || orbaOptions()->mergeMetrics) && !runState().metricsAdmin)
    runState().metricsAdmin = new MetricsAdmin();
}

template <typename T>
static void deleteManager(T*& member) {
  delete member;
  member = nullptr;
}

void OrbaAssembler::tearDown() {
  deleteManager(runState().dwarfAdmin);
  deleteManager(runState().instructionParser);
  deleteManager(runState().lineState);
  deleteManager(runState().metricsAdmin);
  deleteManager(runState().preProcessor);
  deleteManager(runState().sectionAdmin);
  deleteManager(runState().stringBuffer);
  deleteManager(runState().symbolTable);
  runState().orbaFactory = nullptr;  // owned by the caller or by the assembler
  deleteManager(runState().orbaOptions);
  deleteManager(runState().errorHandler);
  deleteManager(runState().dependencyHandler);
}

OrbaAssembler::~OrbaAssembler() {
  tearDown();
  settleRunOutputs();
  // The run's parts and pools go with run_, after the managers: every pooled object
  // above has been released into them.
}

TriCoreAssembler::~TriCoreAssembler() = default;

int OrbaAssembler::run() {
  try {
    int status = runStages();
    // Last: the dependency file may still have reported into it.
    errorHandler()->finishErrorFile();
    return status;
  } catch (const std::bad_alloc&) {
    mem_out_of_memory();
  } catch (...) {
    errorHandler()->reportWithoutLocation(S_unhandled_exception);
  }
  return exitCode();
}

int OrbaAssembler::runStages() {
  OrbaOptions* options = commandOptions();
  if (options->mergeMetrics) {
    metricsReport();
    return exitCode();
  }

  const char* source = findSourceFile();
  if (std::strcmp(source, "-") != 0) dependencyHandler()->addDependency(source);
  if (options->listFileWanted) lineState()->keepStandardInput();
  if (options->preprocessOnly) {
    preProcessor()->openSource(source);
    writePreprocessed();
  } else {
    // The parser takes each line as the preprocessor makes it.
    // Owned here, so that an exception on its way to the run's handler takes it too.
    std::unique_ptr<OrbaParser> parser(orbaFactory()->createParser());
    beforeParse();
    {
      LineStream stream(*preProcessor(), source);
      stream.setLetsGoOfLines(!options->listFileWanted);
      parser->parse(&stream);
      // The rest of the input (after .END) is read here rather than by the stream's
      // destructor, where a failure could not unwind to the run's handler.
      stream.finish();
    }
    beforeAfterParse();
    afterParse();
    parser.reset();
    checkSymbols();

    if (!options->checkOnly) {
      settleLeanJumps();
      beforeOptimize();
      OrbaOptimizer optimizer;
      optimizer.run();
      if (options->debugInfoMode == 1) {
        dwarfAdmin()->setProducer(versionString());
        dwarfAdmin()->generate();
        optimizer.layoutDebugSections();
      }
      finishSections();
      afterPrepare();
      writeObject();
    }
  }

  if (options->listFileWanted) {
    ListManager* lister = orbaFactory()->createListManager();
    beforeList();
    lister->generate();
    afterList();
    delete lister;
  }

  ErrorHandler* handler = errorHandler();
  handler->resetCounts();
  handler->printRecorded(handler->outputStream());
  handler->summaryHook(handler->outputStream());

  if (options->sectionInfoConsole) printSectionSummary(stdout);
  if (options->metrics) writeStatistics();
  // A pipe whose reader went away shows here, as does a full disk.
  if ((options->sectionInfoConsole || options->metrics) && (std::fflush(stdout) != 0 || std::ferror(stdout)))
    errorHandler()->reportWithoutLocation(F_write_error, "<stdout>");
  dependencyHandler()->writeDependencyFile();
  return exitCode();
}

const char* OrbaAssembler::findSourceFile() {
  OrbaOptions* options = commandOptions();
  if (options->inputFileCount() > 1)
    errorHandler()->reportWithoutLocation(W_additional_input_ignored);
  const char* name = options->inputFile ? options->inputFile : "";
  // "-" is the standard input: nothing to look for.
  if (std::strcmp(name, "-") == 0) return stringBuffer()->intern(name);
  std::string found;
  if (!findRegularFile(name, ".asm", found))
    errorHandler()->reportWithoutLocation(F_cannot_open, name);
  return stringBuffer()->intern(found.c_str());
}

void OrbaAssembler::writePreprocessed() {
  if (errorHandler()->errorFlag()) return;
  OrbaOptions* options = commandOptions();
  FILE* out = stdout;
  const char* destination = "<stdout>";
  OutputFile output(OutputRole::kPreprocessed);
  if (options->outputGiven) {
    destination = options->outputFile;
    out = output.open(destination, "w");
    if (!out) errorHandler()->reportWithoutLocation(F_cannot_open, destination);
  }
  for (LineInfo* line = lineState()->first(); line; line = line->next) {
    if (line->active() && line->text) std::fputs(line->text, out);
    if (std::ferror(out)) errorHandler()->reportWithoutLocation(F_write_error, destination);
  }
  // A full disk often shows only when the buffer is flushed: check after that too.
  bool failed = out == stdout ? std::fflush(out) != 0 || std::ferror(out) : !output.commit();
  if (failed) errorHandler()->reportWithoutLocation(F_write_error, destination);
}

// A failed object-store call is fatal: F008 with the store's text for the code, F005
// when the store ran out of memory. The code is taken by reference, so that it is read
// after the call that fills it.
static void checkStore(int failed, const IosErrorCode& error) {
  if (failed) reportObjectStoreFailure(error, ios_error_text(error));
}

void OrbaAssembler::writeObject() {
  IosErrorCode error = IOS_ERR_INTERNAL;
  // The store's admin lives as long as the run; a second call finds it made.
  checkStore(ios_admin_init(&error), error);
  uint32_t fileId = 0;
  checkStore(ios_file_create_sized(8, &fileId, &error), error);
  ExprLibContext* context = nullptr;
  checkStore(ios_file_get_expr_context(fileId, &context, &error), error);
  setObjectExprContext(context);

  {
    ObjectFile writer(fileId, ios_error_text, objlib_error_text);
    const RunSettings* settings = orbaOptions();
    writer.versionText = versionString();
    writer.programPath = settings->programPath ? settings->programPath : settings->programName;
    for (uint32_t index = 0; index < opt_saved_argc(); ++index) writer.commandWords.emplace_back(opt_saved_arg(index));
    beforeWriteObject();
    writer.write();
    afterWriteObject();
  }

  checkStore(ios_file_delete(fileId, &error), error);
  setObjectExprContext(nullptr);
}

int OrbaAssembler::exitCode() {
  if (errorHandler()->errorFlag()) {
    errorsFound = true;
    return 1;
  }
  return 0;
}

void OrbaAssembler::metricsReport() {
  OrbaOptions* options = commandOptions();
  MetricsAdmin* metrics = metricsAdmin();
  for (int32_t index = 0; index < options->inputFileCount(); ++index) {
    const char* name = options->inputFileName(index);
    std::string path;
    if (!findRegularFile(name, "", path)) errorHandler()->reportWithoutLocation(F_cannot_open, name);
    guardInputPath(path.c_str());
    metrics->readMetricsFile(path.c_str());
  }
  std::string report;
  metrics->writeReport(report);

  const char* destination = opt_get_string(opt::MERGE_INSTR_METRICS);
  if (!destination || !*destination) {
    std::fwrite(report.data(), 1, report.size(), stdout);
  } else {
    OutputFile output(OutputRole::kMetrics);
    FILE* out = output.open(destination, "w");
    // F003 is fatal: a report that cannot be stored must not pass as merged.
    if (!out) errorHandler()->reportWithoutLocation(F_cannot_create, destination);
    bool failed = std::fwrite(report.data(), 1, report.size(), out) != report.size();
    failed = !output.commit() || failed;
    if (failed) errorHandler()->reportWithoutLocation(F_write_error, destination);
  }

  ErrorHandler* handler = errorHandler();
  handler->resetCounts();
  handler->printRecorded(handler->outputStream());
  handler->summaryHook(handler->outputStream());
}

void OrbaAssembler::afterParse() {
  RunSettings* options = orbaOptions();
  SectionAdmin* admin = sectionAdmin();
  std::unique_ptr<SectionAdmin::SectionIter> sections(admin->createIterator());
  bool closingLabels = true;
  int32_t mode = options->debugInfoMode;
  if (mode == 0 || mode == 1) {
    // The assembler makes the debug sections itself; those of the source go.
    for (sections->first(); !sections->isDone(); sections->next()) {
      Section* section = sections->current();
      const char* name = section->getName();
      if (section->flags.isDebug() && name && std::strncmp(name, ".debug", 6) == 0) admin->unlink(section);
    }
  } else if (mode == 2 || mode == 4) {
    bool sourceDebugInfo = false;
    for (sections->first(); !sections->isDone() && !sourceDebugInfo; sections->next()) {
      Section* section = sections->current();
      const char* name = section->getName();
      sourceDebugInfo = section->flags.isDebug() && !(name && std::strcmp(name, ".comment") == 0);
    }
    admin->hllDebugInfoPresent = admin->hllDebugInfoPresent || sourceDebugInfo;
    if (mode == 4) options->debugInfoMode = sourceDebugInfo ? 2 : 1;
    closingLabels = !sourceDebugInfo;
  }
  if (closingLabels && options->asmDebugInfo) {
    options->debugInfoMode = 1;
    for (sections->first(); !sections->isDone(); sections->next())
      if (sections->current()->userSection) addClosingLabel(sections->current());
  }
}

namespace {

// The last line of the statement a line stands for. A generic's line is followed by
// its hardware line and its expansions' lines, which the list takes as its members: a
// line placed after the statement must not part them. Expansions made later go right
// after the hardware line, so they still come before it.
LineInfo* lastLineOfStatement(LineInfo* line) {
  if (!(line->flags[2] & lineflag::kGenericLine)) return line;
  LineInfo* last = line;
  for (LineInfo* member = line->next;
       member && member->variant() >= 0 && (member == line->next || member->variant() != 0);
       member = member->next)
    last = member;
  return last;
}

}  // namespace

void OrbaAssembler::addClosingLabel(Section* section) {
  FlowNode* last = section->lastNode();
  // The label's line goes, and is listed, as it would without line information.
  while (last && last->kind == FlowNode::kMacroCall && !static_cast<FMacroCall*>(last)->listed)
    last = last->previousNode();
  LineInfo* reference = last ? last->ownLine() : section->line;
  LineInfo* line = nullptr;
  LeanRunEnd leanEnd;
  if (reference) {
    reference = lastLineOfStatement(reference);
    line = lineState()->insertLineAfter(reference, nullptr, static_cast<int32_t>(reference->sourceFile),
                                        reference->lineNumberSigned(), 0);
    if (!line) return;
    line->controlState = reference->controlState;
    line->copySourceRange(*reference);
  } else if (leanRunEnd(*section, last, leanEnd)) {
    // The section ends in a lean run, which let go of its last instruction's line: the
    // label's line takes that line's place and control state from what the run kept.
    LineInfo* after = leanEnd.after ? lastLineOfStatement(leanEnd.after) : nullptr;
    line = lineState()->insertLineAfter(after, nullptr, static_cast<int32_t>(leanEnd.sourceFile),
                                        static_cast<int32_t>(leanEnd.lineNumber), 0);
    if (!line) return;
    line->controlState = leanEnd.context->controlState;
  } else {
    return;
  }
  line->section = section;
  Symbol* symbol = defineTempLabel(makeTempLabelName(), line);
  if (!symbol) return;
  symbol->section = section;
  symbol->flags[1] |= Symbol::kLocal | Symbol::kUsed;
  symbol->flags[2] = static_cast<uint8_t>((symbol->flags[2] & ~Symbol::kRelocatable) | Symbol::kDebugReferenced);
  section->addNode(new FLabel(line, symbol), true);
}

void OrbaAssembler::checkSymbols() { checkAllSymbols(*symbolTable()); }

void OrbaAssembler::finishSections() {
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    section->resolveAbsoluteAddress();
    checkSectionPage(*section);
    section->finish();
  }
}

std::string OrbaAssembler::statisticsName(const char* inputFile) {
  std::string name = pathBaseName(inputFile ? inputFile : "");
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

void OrbaAssembler::writeStatistics() {
  std::string name = statisticsName(orbaOptions()->inputFile);
  writeCpuTime(name.c_str());
  writeSectionStatistics(name.c_str());
}

void OrbaAssembler::writeCpuTime(const char* name) {
  uint64_t milliseconds = 0;
  struct rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) == 0)
    milliseconds = static_cast<uint64_t>(usage.ru_utime.tv_sec) * 1000 +
                   static_cast<uint64_t>(usage.ru_utime.tv_usec) / 1000;
  std::printf("# cpu.as.%s=%" PRIu32 "\n", name, static_cast<uint32_t>(milliseconds));
}

void OrbaAssembler::writeSectionStatistics(const char* name) {
  uint32_t codeSize = 0;
  uint64_t codeCycles = 0;
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    if (section == placeholderSection() || !section->isCode()) continue;
    codeSize += section->size;
    codeCycles += section->cycles;
  }
  std::printf("# cs.as.%s=%" PRIu32 "\n", name, codeSize);
  std::printf("# estcy.as.%s=%" PRIu64 "\n", name, codeCycles);
}

void TriCoreAssembler::afterPrepare() {
  // The defect checks see the code as laid out; the first section made may hold code
  // written before any section directive.
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    if (section->isCode() || section->number == 1) isa::scanSectionForDefects(*section);
  }
  isa::walkCodeSectionsForCore();
}
