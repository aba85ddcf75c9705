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
#include "isa/FSimpleRun.h"
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
#include "util/InputGate.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"
#include "ScratchFolder.h"

namespace {

std::string sourcePath;
std::string objectPath;

void setUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  sourcePath = scratch::path("parser", "t.asm");
  objectPath = scratch::path("parser", "t.o");
}

// The managers of a --check run, made in the order the assembler makes them.
void setUpRun(TriCoreFactory& factory) {
  char program[] = "vekt";
  char check[] = "--check";
  char* argv[] = {program, check, nullptr};
  runState().stringBuffer = new StringBuffer();
  runState().errorHandler = new ErrorHandler();
  runState().dependencyHandler = new DependencyHandler();
  runState().orbaFactory = &factory;
  factory.createOptions(2, argv)->process();
  runState().errorHandler->setErrorLimit(0);
  runState().symbolTable = new SymbolTable();
  runState().sectionAdmin = new SectionAdmin();
  runState().lineState = new LineState();
  runState().instructionParser = new InstructionParser();
  isa::installJumpTargets();
  // A .LOAD may name any file: only those beside the source are read.
  setInputPathFilter(scratch::inside);
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
  for (ErrorHandler::ErrorIter it(*runState().errorHandler); !it.isDone(); it.next()) {
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

// Pooled objects go with the pools of each input's run, not one by one.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUpOnce();
  if (size < 1) return 0;
  // Each input is a run of its own: what its controls change goes with it.
  FuzzRun run;
  TriCoreFactory factory;
  setUpRun(factory);
  runState().orbaOptions->requireEnd = data[0] & 0x01;
  runState().orbaOptions->caseSensitive = !(data[0] & 0x02);
  const bool writeObject = data[0] & 0x10;
  const bool dwarf = data[0] & 0x20;
  const bool layOut = (data[0] & 0x04) || writeObject || dwarf;
  runState().orbaOptions->optimizeJumpChains = data[0] & 0x08;
  // Laid out, the input is parsed as a full run parses it: the flow keeps its
  // instructions and generic instructions build their lines when layout asks.
  runState().orbaOptions->checkOnly = !layOut;
  runState().orbaOptions->asmDebugInfo = dwarf;
  runState().orbaOptions->debugInfoMode = dwarf ? 1 : 2;
  runState().orbaOptions->dwarfVersion = data[0] & 0x40 ? 2 : 3;
  runState().orbaOptions->outputFile = objectPath.c_str();
  runState().orbaOptions->inputFile = sourcePath.c_str();
  writeSource(data + 1, size - 1);

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
      // leave every section laid out; the jumps written as entries are settled first.
      settleLeanJumps();
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
  return 0;
}
