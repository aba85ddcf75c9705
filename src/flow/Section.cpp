#include "flow/Section.h"

#include <cinttypes>
#include <vector>
#include <cstdio>
#include <ostream>

#include "expr/OrbaExpression.h"
#include "expr/TESymbol.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"
#include "flow/FlowWalker.h"
#include "flow/SectionAdmin.h"
#include "flow/SectionFinish.h"
#include "flow/SectionType.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"
#include "util/assertion.h"
#include "util/RunState.h"

VEKT_POOLED_CLASS_IMPL(Section, "Section")

namespace {

// Run-wide counters: every section of the run gets the next number, every section
// without a name the next "__sect_" suffix.
struct SectionCounters {
  uint32_t sectionCounter = 0;
  uint32_t namelessSectionCounter = 0;
};
SectionCounters& sectionCounters() { return runPart<SectionCounters>(); }

const char* namelessSectionName() {
  char name[32];
  std::snprintf(name, sizeof name, "__sect_%04x", sectionCounters().namelessSectionCounter++);
  return stringBuffer()->intern(name);
}

// Kinds that are not contents: a label followed by one of them still stands right
// before the next data or instruction.
bool keepsLastLabel(uint8_t kind) {
  switch (kind) {
    case 4:
    case 5:
    case FlowNode::kCalls:
    case FlowNode::kEquSet:
    case FlowNode::kExtern:
    case 19:
    case FlowNode::kMisraC:
    case FlowNode::kName:
    case 26:
    case 28:
    case FlowNode::kCompilerName:
    case FlowNode::kCompilerVers:
    case FlowNode::kCompilerInvoc:
      return true;
    default:
      return false;
  }
}

}  // namespace

Section::Section(LineInfo* line, const char* name) : line(line), name_(name) { initialize(name); }

Section::Section(LineInfo* line) : line(line), name_(nullptr) { initialize(namelessSectionName()); }

// The section deletes its nodes at the tear-down so that the containers a node owns
// are released; the nodes go back to their pools.
Section::~Section() {
  delete discarded_;
  delete discardedLabel_;
  for (FlowNode* node = flow_.first(); node;) {
    FlowNode* next = node->nextNode();
    delete node;
    node = next;
  }
  delete walker;
  if (ownsLine) delete line;
}

void Section::initialize(const char* name) {
  number = ++sectionCounters().sectionCounter;
  name_ = name;
  displayName_ = nullptr;
  size = 0;
  locationCounter = 0;
  cycles = 0;
  laidOut = 0;
  hasAddress = 0;
  writing = 0;
  type = kNoType;
  maxAlignment = 0;
  mauBits = 8;
  userSection = 1;
  byteOrder = kLittleEndian;
  fillPattern = 0;
  fillCycles = 0;
  fillLength = 2;
  walker = nullptr;
  lastLabel_ = nullptr;

  char symbolName[32];
  std::snprintf(symbolName, sizeof symbolName, "_R[%" PRIu32 "]", number);
  SymbolTable* table = symbolTable();
  auto moduleScope = table->scopes.find(0);
  SymbolTable::LocalSymbolTable* scope =
      moduleScope != table->scopes.end() ? moduleScope->second : table->current;
  Symbol* symbol = scope ? scope->defineSymbol(stringBuffer()->intern(symbolName), line) : nullptr;
  if (symbol) {
    symbol->flags[0] |= Symbol::kInternal;
    symbol->flags[1] |= Symbol::kCountsAsReference;
    symbol->section = this;
    sectionSymbol = symbol;
    baseExpression_ = TESymbol::create(symbol);
  }
}

namespace {

// The lines let go of since the parse last asked: one or two a statement.
struct LinesLetGo {
  std::vector<LineInfo*> lines;
};

}  // namespace

void lineLetGo(LineInfo* line) { runPart<LinesLetGo>().lines.push_back(line); }

void takeLinesLetGo(std::vector<LineInfo*>& lines) {
  lines.clear();
  lines.swap(runPart<LinesLetGo>().lines);
}

void Section::addNode(FlowNode* node, bool atEnd) {
  LineInfo* nodeLine = node->line;
  if (this == placeholderSection() && node->hasAddress()) {
    errorHandler()->report(E_no_section_active, nodeLine);
    Section* fresh = orbaFactory()->createSectionFromName(nodeLine);
    applySectionAttributes(*fresh, {});
    sectionAdmin()->registerSection(fresh);
    if (nodeLine) {
      nodeLine->section = fresh;
      // The lines a generic instruction expands to follow their statement's line.
      if (nodeLine->flags[2] & lineflag::kGenericLine)
        for (LineInfo* next = nodeLine->next; next && next->variant() >= 0; next = next->next)
          next->section = fresh;
    }
    node->followToSection(*this, *fresh);
    fresh->addNode(node, atEnd);
    return;
  }

  // The nodes of a generic instruction's generated lines belong to its rewrite groups: the
  // generic is the last node of the flow when they arrive, or the target named for them.
  const bool generatedLine = atEnd && nodeLine && nodeLine->variant() >= 0;
  if (generatedLine && rewriteTarget) {
    rewriteTarget->addRewrite(node);
    return;
  }
  if (generatedLine && flow_.last() && flow_.last()->kind == FlowNode::kGeneric) {
    static_cast<FGeneric*>(flow_.last())->addRewrite(node);
    return;
  }

  if (atEnd) {
    // A discarded label stays while it is the last label: the parse may still give
    // its symbol a type.
    if (discarded_ && discarded_ == lastLabel_) {
      delete discardedLabel_;
      discardedLabel_ = lastLabel_;
    } else {
      // A fixed-size instruction's line that no label names is referred to by nothing
      // once its node goes: the parse may let go of it.
      LineInfo* before = discarded_ ? discarded_->line : nullptr;
      if (before && discarded_->kind == FlowNode::kSimple && !(before->flags[2] & lineflag::kDefinesLabel))
        lineLetGo(before);
      delete discarded_;
    }
    discarded_ = nullptr;
  }
  if (atEnd && (node->isInstruction() || node->kind == FlowNode::kLabel) && !orbaOptions()->flowReadAfterParse()) {
    // Nothing after the parse reads instructions or labels in a run that only checks
    // the source.
    discarded_ = node;
  } else if (atEnd) {
    flow_.append(node);
  } else {
    flow_.prepend(node);
  }

  if (node->kind == FlowNode::kLabel)
    lastLabel_ = static_cast<FLabel*>(node);
  else if (!keepsLastLabel(node->kind))
    lastLabel_ = nullptr;
  if (discardedLabel_ && discardedLabel_ != lastLabel_) {
    delete discardedLabel_;
    discardedLabel_ = nullptr;
  }
}

void Section::takeLastLabel(FLabel* label) {
  VEKT_ASSERT(flow_.last() == label);
  flow_.remove(label);
  if (lastLabel_ == label) lastLabel_ = nullptr;
}

void Section::setAddress(OrbaExpression* expression) {
  OrbaExpression* simplified = expression ? expression->evaluate() : nullptr;
  OrbaExpression* address = simplified && !simplified->isError() ? simplified : expression;
  if (!sectionSymbol) return;
  sectionSymbol->valueExpression = address;
  noteSymbolValueChange();
}

void Section::finish() { finishLinkOnceName(*this); }

void Section::resolveAbsoluteAddress() {
  if (!hasAddress || !baseExpression_) return;
  OrbaExpression* base = baseExpression_->evaluate();
  // A string, a float or a relocatable value is no address either.
  if (!base || base->isError() || base->getKind() != EK_integer) {
    errorHandler()->report(E_section_address_not_absolute, line, getName() ? getName() : "");
    return;
  }
  int64_t address = base->getInteger();
  if (addressRanges.empty()) addressRanges.emplace_back(0, 0xFFFFFFFF);
  bool allowed = false;
  for (const auto& [low, high] : addressRanges) allowed = allowed || (low <= address && address <= high);
  if (!allowed)
    errorHandler()->report(E_address_out_of_range, line, address,
                           static_cast<uint64_t>(addressRanges.front().first),
                           static_cast<uint64_t>(addressRanges.front().second));
  if (address > 0 && alignment > 1) {
    int64_t power = 1;
    while (power < alignment) power <<= 1;
    if (address % power != 0)
      errorHandler()->report(W_absolute_section_misaligned, line, static_cast<int>(static_cast<int32_t>(address)),
                             static_cast<int>(static_cast<int32_t>(power)));
  }
}

bool Section::advanceLocation(int64_t units, const LineInfo* at) {
  auto location = static_cast<uint64_t>(static_cast<uint32_t>(locationCounter));
  if (!fitsInSection(location, units)) {
    errorHandler()->report(E_range_error, at);
    return false;
  }
  locationCounter = static_cast<int32_t>(static_cast<uint32_t>(location + static_cast<uint64_t>(units)));
  return true;
}

void Section::reportTooLarge(const LineInfo* line, uint64_t size) const {
  char text[256];
  std::snprintf(text, sizeof text, "section \"%s\" too large: 0x%" PRIX64 " bytes, at most 0x%08" PRIX64,
                getName() ? getName() : "", size, kSectionUnitLimit - 1);
  errorHandler()->report(E_error, line, text);
}

int32_t Section::currentLocation() const {
  if (!writing && walker) return walker->offset;
  return locationCounter;
}

int64_t Section::addressOf(int64_t offset) const {
  if (!hasAddress || !baseExpression_) return offset;
  OrbaExpression* base = baseExpression_->evaluate();
  if (!base || base->isError() || base->getKind() != EK_integer) return offset;
  return offset + base->getInteger();
}

FlowWalker* Section::flowWalker() {
  if (!walker) {
    walker = new FlowWalker(this, &flow_);
    walker->reset();
  }
  return walker;
}

int Section::printSummaryHeader(std::ostream& out) const {
  char title[96];
  int length = std::snprintf(title, sizeof title, "%-30.30s    %-8.8s    %-6.6s    %-10.10s    ", "Name",
                             "Size", "Cycles", "Address");
  out << "\nSection summary:\n\n" << title;
  return length;
}

bool Section::printSummaryLine(std::ostream& out) const {
  if (flags.isDebug()) return false;
  char field[64];
  const char* shown = getDisplayName();
  if (!shown) shown = "";
  if (std::char_traits<char>::length(shown) > 30)
    std::snprintf(field, sizeof field, "%-27.27s...", shown);
  else
    std::snprintf(field, sizeof field, "%-30.30s", shown);
  out << field << "    ";
  std::snprintf(field, sizeof field, "0x%06lx", static_cast<unsigned long>(size));
  out << field << "    ";
  if (cycles != 0)
    std::snprintf(field, sizeof field, "%06lu", static_cast<unsigned long>(static_cast<uint32_t>(cycles)));
  else
    std::snprintf(field, sizeof field, "%-6.6s", "-");
  out << field << "    ";
  if (hasAddress) {
    OrbaExpression* base = baseExpression_ ? baseExpression_->evaluate() : nullptr;
    if (!base || base->isError() || base->getKind() != EK_integer)
      std::snprintf(field, sizeof field, "%s%s", "0x", "XXXXXXXX");
    else
      std::snprintf(field, sizeof field, "%s%08lx", "0x", static_cast<unsigned long>(base->getInteger()));
  } else {
    std::snprintf(field, sizeof field, "%-10.10s", "-");
  }
  out << field << "    ";
  return true;
}

void Section::FlowIter::first() { position_ = section_.flow_.first(); }

void Section::FlowIter::next() {
  if (position_) position_ = position_->nextNode();
}

bool Section::BidirectionalFlowIterator::first() {
  position_ = section_.flow_.first();
  done_ = position_ == nullptr;
  return true;
}

void Section::BidirectionalFlowIterator::last() {
  position_ = section_.flow_.last();
  done_ = position_ == nullptr;
}

void Section::BidirectionalFlowIterator::next() {
  if (done_) return;
  position_ = position_->nextNode();
  done_ = position_ == nullptr;
}

void Section::BidirectionalFlowIterator::prev() {
  if (!position_) {
    // At the list end: step back onto the last node.
    position_ = section_.flow_.last();
    done_ = position_ == nullptr;
    return;
  }
  if (position_ == section_.flow_.first()) {
    done_ = true;
    return;
  }
  position_ = position_->previousNode();
  done_ = false;
}
