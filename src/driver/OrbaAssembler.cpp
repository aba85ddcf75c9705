#include "driver/OrbaAssembler.h"

#include <cstring>
#include <exception>
#include <string>

#include "driver/DependencyHandler.h"
#include "util/ErrorHandler.h"
#include "util/OrbaFactory.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "flow/OrbaOptimizer.h"
#include "flow/SectionAdmin.h"
#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "driver/ObjlibErrorText.h"
#include "isa/InstructionParser.h"
#include "objlib/ios_admin.h"
#include "output/DwarfAdmin.h"
#include "output/FileNames.h"
#include "output/ListManager.h"
#include "output/MetricsAdmin.h"
#include "output/ObjectFile.h"
#include "parser/OrbaParser.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "preproc/OrbaPreprocessor.h"
#include "util/MemoryPools.h"
#include "util/StringBuffer.h"
#include "util/interrupt.h"



OrbaAssembler::OrbaAssembler(int argc, char** argv) : argc_(argc), argv_(argv) {
  installInterruptHandling();

  MemoryPools& pools = MemoryPools::instance();
  g_expressionPool = pools.registerPool("OrbaExpression", &g_expressionPool);
  g_symbolPool = pools.registerPool("Symbol", &g_symbolPool);

  if (!_stringBuffer) _stringBuffer = new StringBuffer();
  if (!_errorHandler) _errorHandler = new ErrorHandler();
  if (!_dependencyHandler) _dependencyHandler = new DependencyHandler();
  if (!_orbaFactory) _orbaFactory = new OrbaFactory();

  orbaFactory()->createOptions(argc, argv);
  processOptions(argc > 1 ? argv[1] : nullptr);

  if (!_symbolTable) _symbolTable = new SymbolTable();
  if (!_sectionAdmin) _sectionAdmin = new SectionAdmin();
  if (!_lineState) _lineState = new LineState();
  if (!_preProcessor) {
    switch (orbaOptions()->preprocessorType) {
      case 2:
        errorHandler()->reportWithoutLocation(S_not_implemented, "C preprocessing");
        break;
      case 1:
        _preProcessor = new MotorolaPreprocessor();
        break;
      default:
        _preProcessor = new OrbaPreprocessor();
        break;
    }
  }
  if (!_instructionParser) _instructionParser = new InstructionParser();
  if (!_dwarfAdmin) _dwarfAdmin = new DwarfAdmin();
  if (orbaOptions()->instructionMetrics && !_metricsAdmin) _metricsAdmin = new MetricsAdmin();
}

template <typename T>
static void deleteManager(T*& member) {
  delete member;
  member = nullptr;
}

void OrbaAssembler::tearDown() {
  deleteManager(_dwarfAdmin);
  deleteManager(_instructionParser);
  deleteManager(_lineState);
  deleteManager(_metricsAdmin);
  deleteManager(_preProcessor);
  deleteManager(_sectionAdmin);
  deleteManager(_stringBuffer);
  deleteManager(_symbolTable);
  _orbaFactory = nullptr;  // owned by main
  deleteManager(_orbaOptions);
  deleteManager(_errorHandler);
  deleteManager(_dependencyHandler);
}

OrbaAssembler::~OrbaAssembler() {
  tearDown();
  // The pools go last: every pooled object above has been released into them.
  MemoryPools::deleteInstance();
}

TriCoreAssembler::~TriCoreAssembler() = default;

int OrbaAssembler::run() {
  try {
    return runStages();
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
  dependencyHandler()->append(source);
  preProcessor()->openSource(source);

  if (options->preprocessOnly) {
    writePreprocessed();
  } else {
    OrbaParser* parser = orbaFactory()->createParser();
    beforeParse();
    parser->parse();
    beforeAfterParse();
    afterParse();
    delete parser;
    checkSymbols();

    if (!options->checkOnly) {
      beforeOptimize();
      OrbaOptimizer optimizer;
      optimizer.run();
      if (options->debugInfoMode == 1) {
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
  dependencyHandler()->writeDependencyFile();
  return exitCode();
}

const char* OrbaAssembler::findSourceFile() {
  OrbaOptions* options = commandOptions();
  if (options->inputFileCount() > 1)
    errorHandler()->reportWithoutLocation(W_additional_input_ignored);
  const char* name = options->inputFile ? options->inputFile : "";
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
  if (options->outputGiven) {
    destination = options->outputFile;
    out = std::fopen(destination, "w");
    if (!out) errorHandler()->reportWithoutLocation(F_cannot_open, destination);
  }
  for (LineInfo* line = lineState()->first(); line; line = line->next) {
    if (line->active() && line->text) std::fputs(line->text, out);
    if (std::ferror(out)) errorHandler()->reportWithoutLocation(F_write_error, destination);
  }
  // A full disk often shows only when the buffer is flushed: check after that too.
  bool failed = std::fflush(out) != 0 || std::ferror(out);
  if (out != stdout) failed = std::fclose(out) != 0 || failed;
  if (failed) errorHandler()->reportWithoutLocation(F_write_error, destination);
}

// A failed object-store call is fatal: F008 with the store's text for the code.
static void checkStore(int failed, IosErrorCode error) {
  if (failed) errorHandler()->reportWithoutLocation(F_ioslib_error, ios_error_text(error));
}

void OrbaAssembler::writeObject() {
  ObjectFile writer;
  IosErrorCode error = IOS_ERR_INTERNAL;
  // The store's admin is made once per process.
  static bool adminCreated = false;
  if (!adminCreated) {
    checkStore(ios_admin_init(&error), error);
    adminCreated = true;
  }
  uint32_t fileId = 0;
  checkStore(ios_file_create_sized(8, &fileId, &error), error);
  ExprLibContext* context = nullptr;
  checkStore(ios_file_get_expr_context(fileId, &context, &error), error);
  setObjectExprContext(context);

  beforeWriteObject();
  writer.write();
  afterWriteObject();

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

void OrbaAssembler::metricsReport() {}
void OrbaAssembler::checkSymbols() {}
void OrbaAssembler::afterParse() {}
void OrbaAssembler::finishSections() {}
void OrbaAssembler::writeStatistics() {
  writeCpuTime();
  writeSectionStatistics();
}
void OrbaAssembler::writeCpuTime() {}
void OrbaAssembler::writeSectionStatistics() {}

void TriCoreAssembler::afterPrepare() {}
