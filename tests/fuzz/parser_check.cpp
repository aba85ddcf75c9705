// The front end over arbitrary source text, as --check runs it: the plain
// preprocessor reads the bytes as a file, the statement parser parses the lines and
// the symbol checks follow; with bit 2 of the first byte the sections are then laid out
// as a full run does, and with bit 4 they are laid out, finished and written as an
// object file to a temporary file, as a full run goes on. The first byte also sets run
// options (bit 0 --require-end, bit 1 --case-insensitive, bit 3 jump chains, bit 5
// assembler-made DWARF after the layout, in version 2 with bit 6, else 3); the rest
// is the source. Whatever the text, every line up to the end must leave the parse with
// a control state and a section, the lines after .END must be back in the placeholder
// section, and every diagnostic must stand at a line of the source. An object written
// without errors starts with the ELF magic and holds its whole section header table.
// A failing store or producer call (F008, F009) ends the process, which the fuzzer
// reports as a crash.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>

#include "driver/ObjlibErrorText.h"
#include "driver/OrbaAssembler.h"
#include "driver/OrbaOptions.h"
#include "driver/VersionText.h"
#include "expr/ObjectExpr.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TEString.h"
#include "flow/FLabel.h"
#include "flow/OrbaOptimizer.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/SectionFinish.h"
#include "flow/Symbol.h"
#include "flow/SymbolChecks.h"
#include "flow/SymbolTable.h"
#include "isa/CycleCounts.h"
#include "isa/DefectChecks.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionParser.h"
#include "isa/JumpTargets.h"
#include "objlib/ios_admin.h"
#include "output/DwarfAdmin.h"
#include "output/ObjectFile.h"
#include "parser/LineFlags.h"
#include "parser/OrbaParser.h"
#include "parser/SectionOperations.h"
#include "preproc/LineState.h"
#include "preproc/OrbaPreprocessor.h"
#include "util/ControlState.h"
#include "util/DependencyHandler.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"

namespace {

std::string sourcePath;
std::string objectPath;

void removeSource() {
  std::remove(sourcePath.c_str());
  std::remove(objectPath.c_str());
}

// The controls change these options for the rest of a run; each input starts from
// the values of the set-up.
struct ControlledOptions {
  bool fpuPresent, mmuPresent, coreTc13, coreTc131, coreTc16, coreTc16x, optimizeGenerics, asmDebugInfo,
      localDebugSymbols;
};
ControlledOptions setUpOptions;

void saveControlledOptions(const RunSettings& o) {
  setUpOptions = {o.fpuPresent, o.mmuPresent,       o.coreTc13,     o.coreTc131,       o.coreTc16,
                  o.coreTc16x,  o.optimizeGenerics, o.asmDebugInfo, o.localDebugSymbols};
}

void restoreControlledOptions(RunSettings& o) {
  const ControlledOptions& s = setUpOptions;
  o.fpuPresent = s.fpuPresent;
  o.mmuPresent = s.mmuPresent;
  o.coreTc13 = s.coreTc13;
  o.coreTc131 = s.coreTc131;
  o.coreTc16 = s.coreTc16;
  o.coreTc16x = s.coreTc16x;
  o.optimizeGenerics = s.optimizeGenerics;
  o.asmDebugInfo = s.asmDebugInfo;
  o.localDebugSymbols = s.localDebugSymbols;
  // The first titles are texts of the input's string buffer, which goes with it.
  ControlState::firstTitle = nullptr;
  ControlState::firstSubtitle = nullptr;
}

void setUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  static char program[] = "vekt";
  static char check[] = "--check";
  static char* argv[] = {program, check, nullptr};
  MemoryPools& pools = MemoryPools::instance();
  g_expressionPool = pools.registerPool("OrbaExpression", &g_expressionPool);
  g_symbolPool = pools.registerPool("Symbol", &g_symbolPool);
  _stringBuffer = new StringBuffer();
  _errorHandler = new ErrorHandler();
  _dependencyHandler = new DependencyHandler();
  static TriCoreFactory factory;
  _orbaFactory = &factory;
  factory.createOptions(2, argv)->process();
  saveControlledOptions(*_orbaOptions);
  _instructionParser = new InstructionParser();
  isa::installJumpTargets();
  sourcePath = "/tmp/vekt_fuzz_parser_" + std::to_string(::getpid()) + ".asm";
  objectPath = "/tmp/vekt_fuzz_parser_" + std::to_string(::getpid()) + ".o";
  std::atexit(removeSource);
  delete _errorHandler;
  _errorHandler = nullptr;
}

void check(bool holds) {
  if (!holds) __builtin_trap();
}

void writeSource(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(sourcePath.c_str(), "wb");
  check(file != nullptr);
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

void checkLines() {
  std::unordered_set<const LineInfo*> known;
  LineInfo* stop = nullptr;
  for (LineInfo* line = lineState()->first(); line; line = line->next) {
    known.insert(line);
    if (!stop) {
      check(line->controlState != nullptr && line->section != nullptr);
      if (line->flags[3] & lineflag::kEndReached) stop = line;
    } else {
      check(line->section == placeholderSection());
    }
  }
  if (LineInfo* last = lineState()->last()) check(last->flags[2] & lineflag::kLastLine);
  for (ErrorHandler::ErrorIter it(*_errorHandler); !it.isDone(); it.next()) {
    const ErrorLine* record = it.current();
    check(record->severity != 'S' && record->severity != 'F');
    check(record->position == nullptr || known.count(record->position) != 0);
  }
  for (Section* section : sectionAdmin()->sections())
    for (FlowNode* node = section->firstNode(); node; node = node->nextNode())
      if (node->kind == FlowNode::kLabel) {
        const Symbol* symbol = static_cast<FLabel*>(node)->symbol;
        check(symbol && symbol->isDefined() && symbol->definitionLine == node->line);
      }
}

// What a full run does after the layout: the sections are finished, the code is
// checked for the core, and the object file is written through a store file that
// lives only for this input.
void writeObjectFile() {
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    section->resolveAbsoluteAddress();
    checkSectionPage(*section);
    section->finish();
  }
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    if (section->isCode() || section->number == 1) isa::scanSectionForDefects(*section);
  }
  isa::walkCodeSectionsForCore();

  IosErrorCode error = IOS_ERR_INTERNAL;
  check(ios_admin_init(&error) == 0);
  uint32_t fileId = 0;
  check(ios_file_create_sized(8, &fileId, &error) == 0);
  ExprLibContext* context = nullptr;
  check(ios_file_get_expr_context(fileId, &context, &error) == 0);
  setObjectExprContext(context);
  {
    ObjectFile writer(fileId, ios_error_text, objlib_error_text);
    writer.versionText = versionString();
    writer.programPath = "vekt";
    writer.write();
  }
  check(ios_file_delete(fileId, &error) == 0);
  setObjectExprContext(nullptr);
  // File ids start at 1 again for the next input.
  ios_admin_release();
}

uint32_t readWord(const unsigned char* bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t index = width; index-- > 0;) value = (value << 8) | bytes[at + index];
  return value;
}

// A file written without errors is whole: the ELF32 magic and a section header table
// that ends inside the file.
void checkObjectFile() {
  std::FILE* file = std::fopen(objectPath.c_str(), "rb");
  check(file != nullptr);
  std::string bytes;
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
  std::fclose(file);
  check(bytes.size() >= 52 && std::memcmp(bytes.data(), "\x7f" "ELF\x01\x01", 6) == 0);
  const auto* header = reinterpret_cast<const unsigned char*>(bytes.data());
  const uint64_t tableOffset = readWord(header, 32, 4);
  const uint64_t entrySize = readWord(header, 46, 2);
  const uint64_t entryCount = readWord(header, 48, 2);
  check(entrySize == 40 && tableOffset + entrySize * entryCount <= bytes.size());
}

}  // namespace

// Pooled objects go with their pools after each input, not one by one.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUpOnce();
  if (size < 1) return 0;
  _orbaOptions->requireEnd = data[0] & 0x01;
  _orbaOptions->caseSensitive = !(data[0] & 0x02);
  const bool writeObject = data[0] & 0x10;
  const bool dwarf = data[0] & 0x20;
  const bool layOut = (data[0] & 0x04) || writeObject || dwarf;
  _orbaOptions->optimizeJumpChains = data[0] & 0x08;
  restoreControlledOptions(*_orbaOptions);
  // Laid out, the input is parsed as a full run parses it: the flow keeps its
  // instructions and generic instructions build their lines when layout asks.
  _orbaOptions->checkOnly = !layOut;
  _orbaOptions->asmDebugInfo = dwarf;
  _orbaOptions->debugInfoMode = dwarf ? 1 : 2;
  _orbaOptions->dwarfVersion = data[0] & 0x40 ? 2 : 3;
  _orbaOptions->outputFile = objectPath.c_str();
  _orbaOptions->inputFile = sourcePath.c_str();
  writeSource(data + 1, size - 1);

  // The texts of one input go with it; those of the set-up stay where the options
  // keep them.
  StringBuffer* setUpStrings = _stringBuffer;
  _stringBuffer = new StringBuffer();
  setPreviousSection(nullptr);
  _errorHandler = new ErrorHandler();
  _errorHandler->setErrorLimit(0);
  _lineState = new LineState();
  _symbolTable = new SymbolTable();
  _sectionAdmin = new SectionAdmin();
  {
    OrbaPreprocessor preprocessor;
    preprocessor.openSource(sourcePath.c_str());
    std::unique_ptr<OrbaParser> parser(orbaFactory()->createParser());
    parser->parse();
    std::unique_ptr<SymbolTable::SymbolIter> symbols(symbolTable()->createIterator());
    for (symbols->first(); !symbols->isDone(); symbols->next()) checkGlobalSymbol(*symbols->current());
    for (symbols->first(); !symbols->isDone(); symbols->next()) checkLocalSymbol(*symbols->current());
    if (dwarf) {
      // As the run does after the parse: the debug information ends each section at
      // a closing label.
      std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
      for (sections->first(); !sections->isDone(); sections->next())
        if (sections->current()->userSection) OrbaAssembler::addClosingLabel(sections->current());
    }
    if (layOut) {
      // Layout must end (the fuzzer's timeout catches a pass that never settles) and
      // leave every section laid out.
      OrbaOptimizer optimizer;
      optimizer.run();
      std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
      for (sections->first(); !sections->isDone(); sections->next()) {
        Section* section = sections->current();
        check(section == placeholderSection() || section->laidOut);
      }
      if (dwarf) {
        DwarfAdmin generator;
        generator.setProducer(versionString());
        generator.generate();
        optimizer.layoutDebugSections();
      }
    }
    if (writeObject) {
      std::remove(objectPath.c_str());
      writeObjectFile();
      if (!errorHandler()->errorFlag()) checkObjectFile();
      std::remove(objectPath.c_str());
    }
    checkLines();
  }

  delete _sectionAdmin;
  _sectionAdmin = nullptr;
  delete _lineState;
  _lineState = nullptr;
  delete _symbolTable;
  _symbolTable = nullptr;
  delete _errorHandler;
  _errorHandler = nullptr;
  setPreviousSection(nullptr);
  MemoryPools& pools = MemoryPools::instance();
  // The handler leaves its records in their pool.
  if (MemPool* records = pools.find("ErrorLine")) pools.destroyRegistered(records);
  if (MemPool* listing = pools.find("LineInfo::code")) pools.destroyRegistered(listing);
  if (MemPool* printer = pools.find("LineInfo::printerControl")) pools.destroyRegistered(printer);
  pools.destroyRegistered(g_expressionPool);
  // The constant attribute entries made at start-up hold values of that pool; a new pool
  // can come back at the same address, so the entries are forgotten with it.
  isa::forgetPrebuiltAttributeLists();
  TEInteger::forgetInterned();
  TEString::forgetInterned();
  TELineInfo::forgetInterned();
  TEError::forgetShared();
  delete _stringBuffer;
  _stringBuffer = setUpStrings;
  return 0;
}
