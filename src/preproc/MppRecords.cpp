#include "preproc/MppRecords.h"

#include <cctype>
#include <cstring>

#include "util/OrbaState.h"
#include "util/RunSettings.h"

VEKT_POOLED_CLASS_IMPL(MppConstruct, "MppConstruct")
VEKT_POOLED_CLASS_IMPL(MppDup, "MppDup")
VEKT_POOLED_CLASS_IMPL(MppDupa, "MppDupa")
VEKT_POOLED_CLASS_IMPL(MppDupc, "MppDupc")
VEKT_POOLED_CLASS_IMPL(MppDupf, "MppDupf")
VEKT_POOLED_CLASS_IMPL(MppMacro, "MppMacro")
VEKT_POOLED_CLASS_IMPL(MppMacroArgument, "MppMacroArgument")
VEKT_POOLED_CLASS_IMPL(MppExpand, "MppExpand")
VEKT_POOLED_CLASS_IMPL(MppIfState, "MppIfState")
VEKT_POOLED_CLASS_IMPL(MppDefine, "MppDefine")

namespace {

int compareFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int left = std::toupper(static_cast<unsigned char>(*a));
    int right = std::toupper(static_cast<unsigned char>(*b));
    if (left != right || left == 0) return left - right;
  }
}

bool namesMatch(const char* a, const char* b, bool exact) {
  if (a == b) return true;
  return exact ? std::strcmp(a, b) == 0 : compareFolded(a, b) == 0;
}

}  // namespace

bool MppNameLess::operator()(const char* a, const char* b) const {
  if (!a || !b) return !a && b;
  if (orbaOptions()->caseSensitive) return std::strcmp(a, b) < 0;
  return compareFolded(a, b) < 0;
}

void MppConstruct::appendBodyLine(const char* text, size_t length) {
  body.append(text, length);
  if (body.empty() || body.back() != '\n') body.push_back('\n');
}

MppDup::MppDup(const char* label, int64_t count) : count(count) { this->label = label; }

MppDupa::MppDupa(const char* label, const char* symbol, const std::vector<const char*>& arguments)
    : symbol(symbol),
      arguments(arguments),
      argumentCount(static_cast<uint32_t>(arguments.size())) {
  this->label = label;
}

MppDupc::MppDupc(const char* label, const char* symbol, const char* text)
    : symbol(symbol), text(text), length(text ? static_cast<uint32_t>(std::strlen(text)) : 0) {
  this->label = label;
}

MppDupf::MppDupf(const char* label, const char* symbol, int64_t current, int64_t end,
                 int64_t step)
    : symbol(symbol), current(current), end(end), step(step) {
  this->label = label;
}

MppMacro::MppMacro(const char* name, const std::vector<const char*>& formals)
    : name(name), formals(formals) {}

MppExpand::~MppExpand() {
  for (MppMacroArgument* argument : arguments) delete argument;
}

void MppExpand::addArgument(const char* name, const char* value) {
  arguments.push_back(new MppMacroArgument(name, value));
  argumentCount = static_cast<uint32_t>(arguments.size());
}

const MppMacroArgument* MppExpand::findArgumentRecord(const char* name, bool exact) const {
  if (!name) return nullptr;
  for (const MppMacroArgument* argument : arguments)
    if (argument->name && namesMatch(argument->name, name, exact)) return argument;
  return nullptr;
}

const char* MppExpand::findArgument(const char* name, bool exact) const {
  const MppMacroArgument* argument = findArgumentRecord(name, exact);
  return argument ? argument->value : nullptr;
}
