// The whole assembler over arbitrary source text, as a program run goes: the macro
// preprocessor (with an include file "a.inc" beside the source), the hand-off of lines
// to the parser, layout, and the object, list and error files. The first byte picks
// options (bit 0 a list file, bit 1 -g, bit 2 -OS, bits 3-4 the core, bit 5
// --emit-locals); the rest is the source.
//
// Each input is assembled twice: once as the program does, where fixed instructions
// go to lean runs that let go of their lines and a jump back to a label of the run it
// joins is written as an entry of that run at the parse, and once with every line
// kept, every instruction a node, every jump a record laid out and emitted on its
// own, and every statement matched in full rather than worked out from the outcome
// kept for an earlier statement of its constant shape. The two must agree byte for
// byte in every file they write, and
// in their exit status. A third run toggles the list file, which keeps every line
// and every jump a record through the run: its object must hold the same sections as
// the first, all but the note that records the command line, byte for byte: a macro
// call's line row does not depend on the list file. A fatal message ends an input,
// not the process; it must end all runs alike.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
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
// reading confined to the scratch folder and, for the second run, records throughout
// and no constant shapes.
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
    isa::constantShapes().enabled = !jumpsAsRecords_;
    return options;
  }

 private:
  bool jumpsAsRecords_;
};

struct Outcome {
  bool stopped = false;
  int status = 0;
  std::string object, list, errors;
  bool operator==(const Outcome& other) const {
    return stopped == other.stopped && status == other.status && object == other.object && list == other.list &&
           errors == other.errors;
  }
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

void writeFile(const std::string& name, const void* data, size_t size) {
  check(scratch::writeFile(name, data, size));
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
  writeFile(file("a.inc"), include, sizeof include - 1);
}

uint32_t readWord(const std::string& bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t index = width; index-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes[at + index]);
  return value;
}

// One section of an ELF32 object: its name, its header fields but the name and the
// file offset (which the sections before it decide), and its contents.
struct ObjectSection {
  std::string name;
  std::string fields;
  std::string contents;
};

// The sections of an ELF32 object in their order, but for the note: what two runs
// with other command lines must share. Empty when the file is not a whole object.
std::vector<ObjectSection> sectionsButNote(const std::string& object) {
  std::vector<ObjectSection> sections;
  if (object.size() < 52 || object.compare(0, 4, "\x7f" "ELF") != 0) return sections;
  const uint32_t tableOffset = readWord(object, 32, 4);
  const uint32_t count = readWord(object, 48, 2);
  const uint32_t namesIndex = readWord(object, 50, 2);
  check(readWord(object, 46, 2) == 40 && uint64_t{tableOffset} + 40ull * count <= object.size() && namesIndex < count);
  auto field = [&](uint32_t section, uint32_t at) { return readWord(object, tableOffset + 40 * section + at, 4); };
  const uint32_t namesAt = field(namesIndex, 16);
  for (uint32_t section = 0; section < count; ++section) {
    const uint32_t nameAt = namesAt + field(section, 0);
    check(nameAt < object.size());
    ObjectSection entry;
    entry.name = object.c_str() + nameAt;
    if (entry.name == ".note") continue;
    const uint32_t type = field(section, 4), offset = field(section, 16), size = field(section, 20);
    for (uint32_t at : {4u, 8u, 12u, 20u, 24u, 28u, 32u, 36u}) entry.fields.append(object, tableOffset + 40 * section + at, 4);
    if (type != 8 /* SHT_NOBITS */ && section != namesIndex) {
      check(uint64_t{offset} + size <= object.size());
      entry.contents.assign(object, offset, size);
    }
    sections.push_back(std::move(entry));
  }
  return sections;
}

// One row of a line-number program: its sequence, its address from the sequence's
// start (the start itself is a relocation), file and line; an end row closes a
// sequence and has only an address.
struct LineRow {
  uint32_t sequence = 0;
  uint64_t address = 0;
  uint64_t file = 1;
  int64_t line = 1;
  bool end = false;
  bool operator==(const LineRow&) const = default;
};

// The headers of the units of a .debug_line section (without their lengths, which the
// rows decide) and the rows of their programs; false when the bytes are no whole
// line-number program.
bool decodeLineRows(const std::string& bytes, std::string& headers, std::vector<LineRow>& rows) {
  size_t at = 0;
  auto byte = [&](uint8_t& value) {
    if (at >= bytes.size()) return false;
    value = static_cast<uint8_t>(bytes[at++]);
    return true;
  };
  auto leb = [&](uint64_t& value, bool isSigned) {
    value = 0;
    uint8_t part = 0;
    for (unsigned shift = 0;; shift += 7) {
      if (shift > 63 || !byte(part)) return false;
      value |= uint64_t{part & 0x7Fu} << shift;
      if (!(part & 0x80)) {
        if (isSigned && (part & 0x40) && shift + 7 < 64) value |= ~uint64_t{0} << (shift + 7);
        return true;
      }
    }
  };
  uint32_t sequence = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 10) return false;
    const uint64_t unitEnd = uint64_t{at} + 4 + readWord(bytes, at, 4);
    const uint64_t headerEnd = uint64_t{at} + 10 + readWord(bytes, at + 6, 4);
    if (unitEnd > bytes.size() || headerEnd > unitEnd) return false;
    headers.append(bytes, at + 4, headerEnd - at - 4);
    at = headerEnd;
    LineRow state;
    state.sequence = sequence;
    while (at < unitEnd) {
      uint8_t opcode = 0;
      uint64_t value = 0;
      if (!byte(opcode)) return false;
      switch (opcode) {
        case 0: {  // extended
          uint8_t extended = 0;
          if (!leb(value, false) || value == 0 || value > unitEnd - at || !byte(extended)) return false;
          at += value - 1;
          if (extended == 1) {
            // Where the sequence ends; the line it ends on is that of its last row.
            state.end = true;
            state.file = 0;
            state.line = 0;
            rows.push_back(state);
            state = LineRow();
            state.sequence = ++sequence;
          }
          break;
        }
        case 1: rows.push_back(state); break;
        case 2: if (!leb(value, false)) return false; state.address += value; break;
        case 3: if (!leb(value, true)) return false; state.line += static_cast<int64_t>(value); break;
        case 4: if (!leb(value, false)) return false; state.file = value; break;
        case 7: break;
        default: return false;  // no other opcode is ever written
      }
    }
  }
  return at == bytes.size();
}

// Whether the object of a run without a list file and that of the run with one hold
// the same sections.
bool sameButNote(const Outcome& without, const Outcome& with) {
  const std::vector<ObjectSection> plain = sectionsButNote(without.object);
  const std::vector<ObjectSection> listed = sectionsButNote(with.object);
  if (plain.size() != listed.size()) return false;
  for (size_t index = 0; index < plain.size(); ++index) {
    const ObjectSection& left = plain[index];
    const ObjectSection& right = listed[index];
    if (left.name != right.name) return false;
    if (left.name == ".debug_line") {
      // Each is a whole line-number program.
      std::string headers;
      std::vector<LineRow> rows;
      check(decodeLineRows(left.contents, headers, rows));
      check(decodeLineRows(right.contents, headers, rows));
    }
    if (left.fields != right.fields || left.contents != right.contents) return false;
  }
  return true;
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
  writeFile(file("t.asm"), data + 1, size - 1);
  const Outcome lean = assemble(data[0], false);
  const Outcome records = assemble(data[0], true);
  if (!(lean == records)) {
    std::fprintf(stderr, "lean runs and records disagree:%s%s%s%s%s\n", lean.stopped != records.stopped ? " stop" : "",
                 lean.status != records.status ? " status" : "", lean.object != records.object ? " object" : "",
                 lean.list != records.list ? " list" : "", lean.errors != records.errors ? " errors" : "");
    __builtin_trap();
  }
  const Outcome listToggled = assemble(data[0] ^ 0x01, false);
  const bool listed = data[0] & 0x01;
  const bool objectsAgree = listed ? sameButNote(listToggled, lean) : sameButNote(lean, listToggled);
  if (lean.stopped != listToggled.stopped || lean.status != listToggled.status || !objectsAgree) {
    std::fprintf(stderr, "a run with and a run without a list file disagree:%s%s%s\n",
                 lean.stopped != listToggled.stopped ? " stop" : "", lean.status != listToggled.status ? " status" : "",
                 !objectsAgree ? " object" : "");
    __builtin_trap();
  }
  // A run that ends without errors leaves an object that starts with the ELF magic.
  if (!lean.stopped && lean.status == 0) check(lean.object.compare(0, 4, "\x7f" "ELF") == 0);
  return 0;
}
