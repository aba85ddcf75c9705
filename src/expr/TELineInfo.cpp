#include "expr/TELineInfo.h"

#include <ostream>
#include <unordered_map>

#include "util/OrbaState.h"
#include "util/LineInfo.h"

#include "expr/TEError.h"

namespace {

std::unordered_map<const LineInfo*, TELineInfo*>& internedLines() {
  static auto* table = new std::unordered_map<const LineInfo*, TELineInfo*>();
  return *table;
}

}  // namespace

void TELineInfo::forgetInterned() { internedLines().clear(); }

TELineInfo* TELineInfo::create(const LineInfo* line) {
  auto& table = internedLines();
  auto found = table.find(line);
  if (found != table.end()) return found->second;
  auto* node = new TELineInfo(line);
  if (node) table.emplace(line, node);
  return node;
}

OrbaExpression* TELineInfo::evaluate() { return TEError::make(ERR_cannotEvaluate); }

void TELineInfo::print(std::ostream& out, unsigned) const {
  out << "LineInfo[" << line_->lineNumberSigned() << ',';
  if (const char* name = sourceFileName(static_cast<int32_t>(line_->sourceFile))) out << name;
  out << ']';
}
