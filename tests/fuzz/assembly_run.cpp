// The whole assembler over arbitrary source text, as a program run goes: the macro
// preprocessor (with an include file "a.inc" beside the source), the hand-off of lines
// to the parser, layout, and the object, list and error files. The first byte picks
// options (bit 0 a list file, bit 1 -g, bit 2 -OS, bits 3-4 the core, bit 5
// --emit-locals); the rest is the source.
//
// Each input is assembled twice: once as the program does, where fixed instructions
// go to lean runs that let go of their lines and a jump back to a label of the run it
// joins is written as an entry of that run at the parse, and once with every line
// kept, every instruction a node and every jump a record laid out and emitted on its
// own. The two must agree byte for byte in every file they write, and
// in their exit status. A third run toggles the list file, which keeps every line
// and every jump a record through the run: its object must hold the same sections as
// the first, all but the note that records the command line. A fatal message ends an
// input, not the process; it must end all runs alike.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/OrbaAssembler.h"
#include "isa/FSimpleRun.h"
#include "isa/InstructionMatcherShapes.h"
#include "util/InputGate.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunState.h"
#include "ScratchFolder.h"
#include "StoppingRun.h"

namespace {

constexpr const char* kTarget = "assembly";
// Enough for sources that repeat a block a few hundred times; a larger expansion is
// the preprocessor's matter, fuzzed on its own.
constexpr size_t kMaxLines = 20000;

// The factory's options hook is the first point inside a run's own state, before the
// run makes its line list and reads anything: there the run gets its bounds, the
// reading confined to the scratch folder and, for the second run, records throughout.
class FuzzFactory : public TriCoreFactory {
 public:
  explicit FuzzFactory(bool jumpsAsRecords) : jumpsAsRecords_(jumpsAsRecords) {}
  OrbaOptions* createOptions(int argc, char** argv) override {
    OrbaOptions* options = TriCoreFactory::createOptions(argc, argv);
    delete runState().errorHandler;
    runState().errorHandler = new StoppingErrorHandler();
    runState().lineState = new BoundedLineState(kMaxLines);
    setInputPathFilter(scratch::inside);
    isa::directJumpLayout().enabled = !jumpsAsRecords_;
    leanEntries().enabled = !jumpsAsRecords_;
    return options;
  }

 private:
  bool jumpsAsRecords_;
};

struct Outcome {
  bool stopped = false;
  int status = 0;
  std::string object, list, errors;
  bool operator==(const Outcome&) const = default;
};

void check(bool holds) {
  if (!holds) __builtin_trap();
}

// Every file of a run is in the scratch folder, named alike in both runs.
std::string file(const char* name) { return scratch::path(kTarget, name); }

std::string readFile(const std::string& name) {
  std::string bytes;
  std::FILE* stream = std::fopen(name.c_str(), "rb");
  if (!stream) return "(none)";
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) bytes.append(buffer, got);
  std::fclose(stream);
  return bytes;
}

void writeFile(const char* name, const void* data, size_t size) {
  std::FILE* stream = std::fopen(name, "wb");
  check(stream != nullptr);
  check(std::fwrite(data, 1, size, stream) == size);
  check(std::fclose(stream) == 0);
}

void setUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  static const char include[] =
      "X .EQU 1\n"
      " .IF X\n"
      " .DEFINE INC \"2\"\n"
      " .ENDIF\n"
      "twice .MACRO r\n"
      " add r,#1\n"
      " add r,#1\n"
      " .ENDM\n"
      "inc_top: nop\n"
      " twice d1\n"
      " jne d1,d2,inc_top\n";
  writeFile(file("a.inc").c_str(), include, sizeof include - 1);
}

uint32_t readWord(const std::string& bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t index = width; index-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes[at + index]);
  return value;
}

// The sections of an ELF32 object in their order, each with its header fields and
// contents, but for the note: what two runs with other command lines must share.
// Empty when the file is not a whole object.
std::string sectionsButNote(const std::string& object) {
  if (object.size() < 52 || object.compare(0, 4, "\x7f" "ELF") != 0) return std::string();
  const uint32_t tableOffset = readWord(object, 32, 4);
  const uint32_t count = readWord(object, 48, 2);
  const uint32_t namesIndex = readWord(object, 50, 2);
  check(readWord(object, 46, 2) == 40 && uint64_t{tableOffset} + 40ull * count <= object.size() && namesIndex < count);
  auto field = [&](uint32_t section, uint32_t at) { return readWord(object, tableOffset + 40 * section + at, 4); };
  const uint32_t namesAt = field(namesIndex, 16);
  std::string shared;
  for (uint32_t section = 0; section < count; ++section) {
    const uint32_t nameAt = namesAt + field(section, 0);
    check(nameAt < object.size());
    const std::string name = object.c_str() + nameAt;
    if (name == ".note") continue;
    shared += name;
    shared.push_back('\0');
    const uint32_t type = field(section, 4), offset = field(section, 16), size = field(section, 20);
    for (uint32_t at : {4u, 8u, 12u, 20u, 24u, 28u, 32u, 36u}) shared.append(object, tableOffset + 40 * section + at, 4);
    if (type != 8 /* SHT_NOBITS */ && section != namesIndex) {
      check(uint64_t{offset} + size <= object.size());
      shared.append(object, offset, size);
    }
  }
  return shared;
}

Outcome assemble(uint8_t settings, bool jumpsAsRecords) {
  static const char* const cores[] = {"--core=tc1.3", "--core=tc1.3.1", "--core=tc1.6", "--core=tc1.6.x"};
  std::vector<std::string> words{"vekt", "-o", file("t.o"), "--error-file=" + file("t.ers"), "--error-limit=0"};
  if (settings & 0x01) words.push_back("-l" + file("t.lst"));
  if (settings & 0x02) words.push_back("-g");
  if (settings & 0x04) words.push_back("-OS");
  words.push_back(cores[(settings >> 3) & 3]);
  if (settings & 0x20) words.push_back("--emit-locals");
  words.push_back(file("t.asm"));
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  for (const char* name : {"t.o", "t.lst", "t.ers"}) std::remove(file(name).c_str());
  Outcome outcome;
  {
    FuzzFactory factory(jumpsAsRecords);
    TriCoreAssembler assembler(static_cast<int>(words.size()), argv.data(), &factory);
    try {
      outcome.status = assembler.run();
    } catch (const FatalStop&) {
      outcome.stopped = true;
    }
  }
  outcome.object = readFile(file("t.o"));
  outcome.list = readFile(file("t.lst"));
  outcome.errors = readFile(file("t.ers"));
  return outcome;
}

}  // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  setUpOnce();
  writeFile(file("t.asm").c_str(), data + 1, size - 1);
  const Outcome lean = assemble(data[0], false);
  const Outcome records = assemble(data[0], true);
  if (!(lean == records)) {
    std::fprintf(stderr, "lean runs and records disagree:%s%s%s%s%s\n", lean.stopped != records.stopped ? " stop" : "",
                 lean.status != records.status ? " status" : "", lean.object != records.object ? " object" : "",
                 lean.list != records.list ? " list" : "", lean.errors != records.errors ? " errors" : "");
    __builtin_trap();
  }
  const Outcome listToggled = assemble(data[0] ^ 0x01, false);
  if (lean.stopped != listToggled.stopped || lean.status != listToggled.status ||
      sectionsButNote(lean.object) != sectionsButNote(listToggled.object)) {
    std::fprintf(stderr, "a run with and a run without a list file disagree:%s%s%s\n",
                 lean.stopped != listToggled.stopped ? " stop" : "", lean.status != listToggled.status ? " status" : "",
                 sectionsButNote(lean.object) != sectionsButNote(listToggled.object) ? " object" : "");
    __builtin_trap();
  }
  // A run that ends without errors leaves an object that starts with the ELF magic.
  if (!lean.stopped && lean.status == 0) check(lean.object.compare(0, 4, "\x7f" "ELF") == 0);
  return 0;
}
