#include "expr/TELineInfo.h"

#include <ostream>

#include "util/OrbaState.h"
#include "util/LineInfo.h"

#include "expr/TEError.h"
#include "util/RunSettings.h"
#include "util/RunState.h"

namespace {

// The node of the line asked for last. The forms of one statement ask for their line
// one after the other, and nothing compares line nodes by address: a table of every
// line's node cost a cache miss per statement and a slot per line for nothing.
struct LastLineNode {
  const LineInfo* line = nullptr;
  TELineInfo* node = nullptr;
};

LastLineNode& lastLineNode() { return runPart<LastLineNode>(); }

}  // namespace

void TELineInfo::forgetInterned() { lastLineNode() = LastLineNode(); }

TELineInfo* TELineInfo::create(const LineInfo* line) {
  LastLineNode& last = lastLineNode();
  if (line == last.line && last.node) return last.node;
  // Only layout and the object file read a line node after its statement: in a run that
  // reads no flow after the parse, one node serves each statement in turn rather than
  // one per statement kept to the end.
  const RunSettings* options = runState().orbaOptions;
  if (last.node && options && !options->flowReadAfterParse()) {
    last.node->line_ = line;
    last.line = line;
    return last.node;
  }
  auto* node = new TELineInfo(line);
  if (node) last = {line, node};
  return node;
}

OrbaExpression* TELineInfo::evaluate() { return TEError::make(ERR_cannotEvaluate); }

void TELineInfo::print(std::ostream& out, unsigned) const {
  out << "LineInfo[" << line_->lineNumberSigned() << ',';
  if (const char* name = sourceFileName(static_cast<int32_t>(line_->sourceFile))) out << name;
  out << ']';
}
