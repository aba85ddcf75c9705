// The line-number program: one unit per compile unit, one sequence per described
// section. Only standard opcodes are written, so line_base and line_range only
// fill the header.
#include "output/DwarfAdmin.h"
#include "util/OrbaState.h"

namespace {

constexpr uint8_t kCopy = 1;
constexpr uint8_t kAdvancePc = 2;
constexpr uint8_t kAdvanceLine = 3;
constexpr uint8_t kSetFile = 4;
constexpr uint8_t kSetBasicBlock = 7;
constexpr uint8_t kEndSequence = 1;  // extended

}  // namespace

void LineProgramState::startSequence(DebugSink& sink, int32_t declarationFile, int32_t declarationLine) {
  sink.byte(kSetBasicBlock);
  if (declarationLine != 1) {
    sink.byte(kAdvanceLine);
    sink.sleb(static_cast<int64_t>(declarationLine) - 1);
    line = declarationLine;
  }
  if (declarationFile != 1) {
    sink.byte(kSetFile);
    sink.uleb(static_cast<uint32_t>(declarationFile));
    file = declarationFile;
  }
  sink.byte(kCopy);
}

void LineProgramState::row(DebugSink& sink, int32_t rowFile, int32_t rowLine, uint32_t size, bool skipped) {
  if (skipped) {
    pendingAdvance += size;
    return;
  }
  bool due = false;
  if (rowFile != file) {
    sink.byte(kSetFile);
    sink.uleb(static_cast<uint32_t>(rowFile));
    file = rowFile;
    due = true;
  }
  if (rowLine != line) {
    sink.byte(kAdvanceLine);
    sink.sleb(static_cast<int64_t>(rowLine) - line);
    line = rowLine;
    due = true;
  }
  if (pendingAdvance != 0) {
    sink.byte(kAdvancePc);
    sink.uleb(pendingAdvance);
    due = true;
  }
  pendingAdvance = size;
  if (due) sink.byte(kCopy);
}

void LineProgramState::endSequence(DebugSink& sink) {
  if (pendingAdvance != 0) {
    sink.byte(kAdvancePc);
    sink.uleb(pendingAdvance);
  }
  sink.byte(0);
  sink.byte(1);
  sink.byte(kEndSequence);
}

void DwarfAdmin::writeLineProgramHeader(SectionSink& line, Symbol* programStart, Symbol* programEnd) {
  Symbol* afterLength = line.newLabel();
  Symbol* afterHeaderLength = line.newLabel();
  Symbol* headerEnd = line.newLabel();
  line.place(programStart);
  line.difference(programEnd, afterLength);
  line.place(afterLength);
  line.half(2);  // the unit's own version stays 2 for DWARF 3 too
  line.difference(headerEnd, afterHeaderLength);
  line.place(afterHeaderLength);
  // minimum_instruction_length, default_is_stmt, line_base -4, line_range,
  // opcode_base, the nine standard opcode lengths, no include directories.
  line.bytes({1, 1, 0xFC, 9, 10, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0});
  for (int32_t id = 0;; ++id) {
    const char* name = sourceFileName(id);
    if (!name) break;
    line.text(name);
    line.bytes({0, 0, 0});  // directory index, modification time, length
  }
  line.byte(0);
  line.place(headerEnd);
}
