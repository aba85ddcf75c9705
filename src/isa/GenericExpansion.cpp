#include "isa/GenericExpansion.h"

#include <array>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEString.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "flow/TempLabels.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionMatcher.h"
#include "isa/InstructionMatcherShapes.h"
#include "isa/OperandEvaluation.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/InlineVector.h"
#include "util/RunState.h"
#include "util/StringBuffer.h"

namespace isa {

namespace {

// A packed expansion line: the variant number in two bytes, low first, one byte with the
// template flag, then the text up to and including its line end.
constexpr uint32_t kPackedHeader = 3;

}  // namespace

LineInfo* insertExpansionLine(LineInfo* anchor, const char* text, int16_t variant, bool templateLine) {
  LineInfo* made = lineState()->insertLineAfter(anchor, text, static_cast<int32_t>(anchor->sourceFile),
                                                static_cast<int32_t>(anchor->lineNumber), 0);
  made->copySourceRange(*anchor);
  made->setVariant(variant);
  made->flags[0] |= lineflag::kAssemble;
  if (templateLine)
    made->flags[2] |= lineflag::kGenericAlternative;
  else
    made->flags[2] &= static_cast<uint8_t>(~lineflag::kGenericAlternative);
  return made;
}

void markHardwareAlternative(LineInfo* line) {
  line->flags[2] = static_cast<uint8_t>((line->flags[2] & ~lineflag::kGenericLine) | lineflag::kGenericAlternative);
  line->setVariant(0);
}

LineInfo* insertExpansionLines(LineInfo* anchor, const char* packed, size_t length) {
  std::string text;
  size_t at = 0;
  while (at + kPackedHeader <= length) {
    auto variant = static_cast<int16_t>(static_cast<unsigned char>(packed[at]) |
                                        (static_cast<unsigned char>(packed[at + 1]) << 8));
    bool templateLine = packed[at + 2] == '1';
    at += kPackedHeader;
    const void* end = std::memchr(packed + at, '\n', length - at);
    size_t stop = end ? static_cast<size_t>(static_cast<const char*>(end) - packed) + 1 : length;
    text.assign(packed + at, stop - at);
    anchor = insertExpansionLine(anchor, text.c_str(), variant, templateLine);
    at = stop;
  }
  return anchor;
}

namespace {

// The print mode of generated lines: source text, without the values of symbols.
constexpr unsigned kPrintSource = 3u & ~kPrintSymbolValues;

// Forms name a few operands; a longer operand array goes to the heap.
constexpr uint32_t kOperandRoom = 16;

bool listsCpu(const uint32_t* cpus, int32_t cpu) {
  for (const uint32_t* id = cpus; *id != 0; ++id)
    if (static_cast<int32_t>(*id) == cpu) return true;
  return false;
}

// An entry without a CPU list, or run without a selected CPU, is for every CPU.
bool entryIsForThisCpu(const ExpansionTemplate& entry) {
  if (!entry.cpus) return true;
  const RunSettings* options = orbaOptions();
  return !options->cpuName || listsCpu(entry.cpus, options->cpuId);
}

// An entry's condition admits it when it comes out an error, which layout reports on the
// lines, or a non-zero integer.
bool conditionAdmits(OrbaExpression* condition) {
  if (!condition) return true;
  OrbaExpression* value = condition->evaluate();
  if (!value) return false;
  if (value->isError()) return true;
  return value->getKind() == EK_integer && value->getInteger() != 0;
}

// Whether a string prints as the literal that gives it back: its bytes go between quotes
// as they are.
bool printsAsLiteral(const OrbaExpression* string) {
  const char* bytes = string->getString();
  for (uint32_t i = 0; i < string->getStringLength(); ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\' || (c < 0x20 && c != '\t')) return false;
  }
  return true;
}

// Whether the operand can be written into a generated line: a name or a text as written is,
// and an expression whose print is source text again: none of its nodes is an error, and
// every string in it prints as its literal (a line end in one would end the line).
bool writableAsText(OrbaExpression* value) {
  if (value->getKind() == EK_string) return true;
  // Nearly every operand is a register, a number or a name: a leaf needs no walk.
  if (!value->hasOperands()) return !value->isError();
  InlineVector<OrbaExpression*, 16> pending{value};
  while (!pending.empty()) {
    OrbaExpression* node = pending.back();
    pending.pop_back();
    if (!node) continue;
    if (node->isError() || (node->getKind() == EK_string && !printsAsLiteral(node))) return false;
    if (!node->hasOperands()) continue;
    for (int32_t i = 0; i < node->getArgumentCount(); ++i) pending.push_back(node->getArgument(i));
  }
  return true;
}

// The text of an operand value: a name or a text as it is, anything else printed as
// source text, its symbols by their names. A symbol's value printed after it would not
// read back as an operand, and the name stands for the value anyway. A symbol without a
// value expression prints as its name alone, which nearly every jump target is: it skips
// the print stream.
void appendOperand(std::string& piece, const OrbaExpression* value) {
  if (!value) return;
  const uint32_t kind = value->getKind();
  if (kind == EK_string) {
    piece.append(value->getString(), value->getStringLength());
    return;
  }
  if (kind == EK_symbol && !value->hasOperands()) {
    const Symbol* symbol = value->getSymbol();
    if (symbol && symbol->name && !symbol->valueExpression) {
      piece += symbol->name;
      return;
    }
  }
  piece += value->toString(kPrintSource);
}


// Whether a generated line holds an instruction, not only a label: every instruction takes
// at least one halfword, which bounds an expansion's size from below. A name that ends in
// a colon before any blank is a label.
bool holdsInstruction(const std::string& text) {
  const size_t size = text.size();
  size_t at = 0;
  while (at < size && (text[at] == ' ' || text[at] == '\t')) ++at;
  if (at == size) return false;
  size_t word = at;
  while (word < size && text[word] != ':' && text[word] != ' ' && text[word] != '\t' && text[word] != '\n') ++word;
  if (word < size && text[word] == ':') at = word + 1;
  while (at < size && (text[at] == ' ' || text[at] == '\t')) ++at;
  return at < size && text[at] != '\n';
}

// The lines of one template entry go in one after the other behind the instruction's line,
// each taking the instruction line's place in the source; or, for a statement that decides
// later whether it needs them, into its packed text.
class LineEmitter {
 public:
  LineEmitter(LineInfo* anchor, int16_t variant, bool templateLines, BuildContext& context)
      : anchor_(anchor), variant_(variant), templateLines_(templateLines), context_(context) {}

  void emit(const std::string& text) {
    if (context_.expansionText) {
      std::string& packed = *context_.expansionText;
      auto variant = static_cast<uint16_t>(variant_);
      packed += static_cast<char>(variant & 0xFF);
      packed += static_cast<char>(variant >> 8);
      packed += templateLines_ ? '1' : '0';
      packed += text;
      if (holdsInstruction(text)) ++context_.expansionInstructions;
      return;
    }
    anchor_ = insertExpansionLine(anchor_, text.c_str(), variant_, templateLines_);
  }
  LineInfo* last() const { return anchor_; }

 private:
  LineInfo* anchor_;
  int16_t variant_;
  bool templateLines_;
  BuildContext& context_;
};

// A label that the source names itself is marked as the expansion's, like a generated one.
// A symbol can hold a name just given out only when it was made under it before.
void markSourceNamedLabels(const TempLabelMap& labels) {
  if (!tempLabelNameTakenEarly()) return;
  SymbolTable::LocalSymbolTable* scope = symbolTable()->current;
  if (!scope) return;
  for (const char* name : labels.names) {
    if (!name) continue;
    Symbol* symbol = scope->lookup(name);
    if (!symbol) continue;
    symbol->flags[0] = static_cast<uint8_t>((symbol->flags[0] | Symbol::kBinding6) & ~Symbol::kGlobal);
    symbol->flags[1] |= Symbol::kLocal;
  }
}

struct ExpansionText {
  std::string lineText;
  std::string piece;
};

// Generates the lines of one entry after `anchor`; returns the last line made, or `anchor`.
LineInfo* expandEntry(const ExpansionTemplate& entry, OrbaExpression** operands, uint32_t operandCount,
                      LineInfo* anchor, int16_t variant, BuildContext& context, bool markLabels = true) {
  // Reused by every expansion of the run: a generated line is a few dozen characters.
  ExpansionText& text = runPart<ExpansionText>();
  std::string& lineText = text.lineText;
  std::string& piece = text.piece;
  TempLabelMap labels;
  LineEmitter lines(anchor, variant, entry.flag != 0, context);
  lineText.clear();
  for (const TemplateItem* item = entry.items; item && item->kind != TemplateItem::kEnd; ++item) {
    // Each piece goes straight onto the line; a line end in it hands the line over.
    size_t scan = lineText.size();
    switch (item->kind) {
      case TemplateItem::kText:
        makeTempLabelName(lineText, item->text, labels);
        break;
      case TemplateItem::kCharacter:
        lineText += static_cast<char>(item->value);
        break;
      case TemplateItem::kOperand:
        if (item->value < operandCount) appendOperand(lineText, operands[item->value]);
        break;
      default:
        break;
    }
    for (;;) {
      size_t end = scan;
      while (end < lineText.size() && lineText[end] != '\n') ++end;
      if (end == lineText.size()) break;
      if (end + 1 == lineText.size()) {
        lines.emit(lineText);
        lineText.clear();
        break;
      }
      // More follows the line end in the same piece: it starts the next line.
      piece.assign(lineText, end + 1, std::string::npos);
      lineText.resize(end + 1);
      lines.emit(lineText);
      lineText.swap(piece);
      scan = 0;
    }
  }
  if (!lineText.empty()) {
    lineText += '\n';
    lines.emit(lineText);
    lineText.clear();
  }
  if (markLabels) markSourceNamedLabels(labels);
  return lines.last();
}


// Generic jumps of the source that differ only in their target ("jne d1,d2,L1", "jne
// d1,d2,L2") come to the same conditions and the same lines but for the target's name,
// when the form's conditions read none of its expression operands and the target is a
// plain name that prints as written. The outcome of one full expansion is kept by the text
// before the target: the operands as the lines print them, the target's among them as a
// slot. The next statement of that text under the same control state, in the same section
// and under the same settings fills in its own name and generates the lines from the kept
// operands, with temporary labels of its own.
struct TargetOutcome {
  static constexpr uint32_t kTextRoom = 46;
  static constexpr uint32_t kMostStates = 24;
  static constexpr uint32_t kMostOperands = 8;
  uint64_t hash = 0;
  const MatchAlternative* alternative = nullptr;  // null when the slot is free
  const ControlState* state = nullptr;
  const Section* section = nullptr;
  uint32_t generation = 0;
  uint32_t textLength = 0;  // the text before the target
  uint32_t stateCount = 0;
  uint32_t operandCount = 0;
  uint32_t targetSlots = 0;  // bit i: operand i prints as the target's name
  bool jump = false;         // the form's walk or its list marked the statement a jump
  char text[kTextRoom] = {};
  uint16_t states[kMostStates] = {};
  // The other operands as interned texts, which print as the operands printed.
  OrbaExpression* operands[kMostOperands] = {};
};

constexpr size_t kTargetOutcomeSlots = 512;

struct TargetOutcomeTable {
  std::vector<TargetOutcome> slots;
};

uint64_t targetOutcomeHash(const MatchAlternative& alternative, const char* text, uint32_t length,
                           const LineInfo* line, uint32_t generation) {
  uint64_t hash = hashBytes(text, length);
  hash ^= reinterpret_cast<uintptr_t>(&alternative) * 0x9E3779B97F4A7C15ull;
  hash ^= reinterpret_cast<uintptr_t>(line->controlState.get()) * 0xC2B2AE3D27D4EB4Full;
  hash ^= reinterpret_cast<uintptr_t>(line->section.get()) * 0x165667B19E3779F9ull;
  hash ^= generation * 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 29);
}

// Where the statement stands for the memo: the text before its target and the parsed target.
struct TargetStatement {
  uint32_t from = 0;
  uint32_t length = 0;
  uint64_t hash = 0;
  // The parsed target: it prints as its name, which is the text.
  OrbaExpression* target = nullptr;
};

// Whether the statement may take or keep an outcome: its target is the last operand the
// walk parsed, a plain name without a value expression that prints as written.
bool findTargetStatement(const MatchAlternative& alternative, const MatchPath& path, BuildContext& context,
                         LineInfo* line, uint32_t length, TargetStatement& statement) {
  if (!context.targetOutcomes || !targetOutcomes().enabled || path.count == 0 ||
      path.count > TargetOutcome::kMostStates)
    return false;
  const char* text = context.match->text;
  uint32_t from = 0;
  if (length >= TargetOutcome::kTextRoom + 32 || !targetAtEnd(text, length, from) ||
      from > TargetOutcome::kTextRoom)
    return false;
  InstructionMatcher::ParsedExpression parsed;
  if (!findParsedOperand(context.matcher, path.states[path.count - 1], text, length, parsed)) return false;
  if (parsed.start != text + from || parsed.length != length - from || parsed.error || !parsed.expression)
    return false;
  auto* target = static_cast<OrbaExpression*>(parsed.expression);
  if (target->getKind() != EK_symbol || target->hasOperands() || target->isError()) return false;
  const Symbol* symbol = target->getSymbol();
  if (!symbol || !symbol->name || symbol->valueExpression || std::strlen(symbol->name) != length - from ||
      std::memcmp(symbol->name, text + from, length - from) != 0)
    return false;
  statement.from = from;
  statement.length = length;
  statement.target = target;
  statement.hash = targetOutcomeHash(alternative, text, from, line, context.settingsGeneration);
  return true;
}

TargetOutcome* targetOutcomeSlot(uint64_t hash) {
  std::vector<TargetOutcome>& slots = runPart<TargetOutcomeTable>().slots;
  if (slots.empty()) slots.resize(kTargetOutcomeSlots);
  return &slots[hash & (kTargetOutcomeSlots - 1)];
}

const TargetOutcome* findTargetOutcome(const MatchAlternative& alternative, const MatchPath& path,
                                       const BuildContext& context, const LineInfo* line,
                                       const TargetStatement& statement) {
  const TargetOutcome* kept = targetOutcomeSlot(statement.hash);
  if (kept->alternative != &alternative || kept->hash != statement.hash || kept->state != line->controlState ||
      kept->section != line->section || kept->generation != context.settingsGeneration ||
      kept->textLength != statement.from || std::memcmp(kept->text, context.match->text, statement.from) != 0 ||
      kept->stateCount != path.count || std::memcmp(kept->states, path.states, path.count * sizeof(uint16_t)) != 0)
    return nullptr;
  return kept;
}
}  // namespace

void makeTempLabelName(std::string& piece, const char* text, TempLabelMap& labels) {
  // The text between placeholders goes in by runs.
  const char* run = text;
  for (const char* c = text; *c; ++c) {
    if (c[0] != '~' || c[1] < '0' || c[1] > '9') continue;
    piece.append(run, static_cast<size_t>(c - run));
    const int digit = c[1] - '0';
    const char*& name = labels.names[digit];
    if (!name) {
      static_assert(sizeof labels.text[0] >= kTempLabelNameRoom);
      writeTempLabelName(labels.text[digit]);
      name = labels.text[digit];
    }
    piece += name;
    ++c;
    run = c + 1;
  }
  piece += run;
}

bool expansionLinesWanted() {
  return orbaOptions()->flowReadAfterParse();
}

bool isGeneratedLabelName(const char* name) { return isTempLabelName(name); }

bool refuseGeneratedLabelName(const char* name, const LineInfo* line) { return refuseTempLabelName(name, line); }

namespace {

// Keeps what the statement's full expansion came to for the next statement that differs
// from it only in its target; leaves the slot as it is when an operand prints anything but
// a text of the statement's own or the target's name.
void keepTargetOutcome(const MatchAlternative& alternative, const MatchPath& path, BuildContext& context,
                       const LineInfo* line, const TargetStatement& statement, OrbaExpression** operands,
                       uint32_t operandCount, bool jump) {
  if (operandCount > TargetOutcome::kMostOperands) return;
  const char* text = context.match->text;
  const std::string name(text + statement.from, statement.length - statement.from);
  // Only the target may print as its name: an operand before it that does would stay the
  // same for the next statement.
  if (std::string_view(text, statement.from).find(name) != std::string_view::npos) return;
  TargetOutcome made;
  std::string printed;
  for (uint32_t i = 0; i < operandCount; ++i) {
    OrbaExpression* value = operands[i];
    if (!value) continue;
    printed.clear();
    appendOperand(printed, value);
    if (printed == name) {
      made.targetSlots |= 1u << i;
      continue;
    }
    const uint32_t kind = value->getKind();
    if (printed.find(name) != std::string::npos || (kind != EK_string && kind != EK_integer)) return;
    made.operands[i] = TEString::intern(printed.data(), static_cast<uint32_t>(printed.size()));
  }
  if (made.targetSlots == 0) return;
  made.hash = statement.hash;
  made.alternative = &alternative;
  made.state = line->controlState;
  made.section = line->section;
  made.generation = context.settingsGeneration;
  made.textLength = statement.from;
  std::memcpy(made.text, text, statement.from);
  made.stateCount = path.count;
  std::memcpy(made.states, path.states, path.count * sizeof(uint16_t));
  made.operandCount = operandCount;
  made.jump = jump;
  TargetOutcome* slot = targetOutcomeSlot(statement.hash);
  *slot = made;
  context.targetOutcome = slot;
}

// The lines of the kept outcome with the statement's own target.
void takeTargetOutcome(const GenericDescription& generic, const TargetOutcome& kept, BuildContext& context,
                       LineInfo* line, const TargetStatement& statement, bool again = false) {
  context.failed = false;
  context.isJump = context.isJump || kept.jump;
  OrbaExpression* operands[TargetOutcome::kMostOperands];
  for (uint32_t i = 0; i < kept.operandCount; ++i)
    operands[i] = (kept.targetSlots >> i) & 1u ? statement.target : kept.operands[i];
  uint32_t variant = context.variantCount;
  if (context.found && variant == 0) variant = 1;
  LineInfo* anchor = line;
  const bool linesWanted = expansionLinesWanted();
  // The kept outcome was made with no entry that has a condition.
  for (const ExpansionTemplate* entry = generic.templates; entry && entry->marker != 0; ++entry) {
    if (!entryIsForThisCpu(*entry)) continue;
    context.expanded = true;
    if (linesWanted)
      anchor = expandEntry(*entry, operands, kept.operandCount, anchor, static_cast<int16_t>(variant), context,
                           !again);
    ++variant;
  }
  context.variantCount = variant;
  context.targetOutcome = &kept;
  if (!again) ++targetOutcomes().taken;
}

}  // namespace

bool jumpExpansionOf(const BuildContext& context, JumpExpansion& out) {
  const auto* kept = static_cast<const TargetOutcome*>(context.targetOutcome);
  if (!kept || !kept->alternative || !kept->alternative->generic || kept->operandCount > JumpExpansion::kMostOperands)
    return false;
  out.alternative = kept->alternative;
  out.operandCount = kept->operandCount;
  out.targetSlots = kept->targetSlots;
  out.jump = kept->jump;
  for (uint32_t i = 0; i < kept->operandCount; ++i) out.operands[i] = kept->operands[i];
  return true;
}

void expandJumpExpansion(const JumpExpansion& kept, BuildContext& context, LineInfo* line, OrbaExpression* target,
                         bool again) {
  TargetOutcome outcome;
  outcome.alternative = kept.alternative;
  outcome.operandCount = kept.operandCount;
  outcome.targetSlots = kept.targetSlots;
  outcome.jump = kept.jump;
  for (uint32_t i = 0; i < kept.operandCount; ++i) outcome.operands[i] = kept.operands[i];
  TargetStatement statement;
  statement.target = target;
  takeTargetOutcome(*kept.alternative->generic, outcome, context, line, statement, again);
  context.targetOutcome = nullptr;
}

void expandInstructionLine(const MatchAlternative& alternative, const MatchPath& path, BuildContext& context,
                           LineInfo* line) {
  const GenericDescription* generic = alternative.generic;
  if (!generic || !line) return;
  const char* commentPrefix = line->controlState ? line->controlState->commentPrefix : nullptr;
  uint32_t length = trimmedMatchLength(context, commentPrefix);
  TargetStatement statement;
  const bool targetKnown = findTargetStatement(alternative, path, context, line, length, statement);
  if (targetKnown)
    if (const TargetOutcome* kept = findTargetOutcome(alternative, path, context, line, statement)) {
      takeTargetOutcome(*generic, *kept, context, line, statement);
      return;
    }

  // Default-initialized: every member has its own initializer, and the room of the lists
  // need not be cleared first.
  std::unique_ptr<IPAttribute> attributes(new IPAttribute);
  OrbaExpression* operandRoom[kOperandRoom] = {};
  std::unique_ptr<OrbaExpression*[]> operandHeap;
  OrbaExpression** operands = generic->operandCount ? operandRoom : nullptr;
  if (generic->operandCount > kOperandRoom) {
    operandHeap.reset(new OrbaExpression*[generic->operandCount]());
    operands = operandHeap.get();
  }

  // The walk answers whether this form is a jump; the hardware forms have answered already.
  bool jump = context.isJump;
  context.failed = false;
  uint32_t c = path.count;
  OperandWalk walk{nullptr, path.states, c, context.match->text, length, operands,
                   context, attributes.get(), IPAttribute::kOperandList, nullptr, line, attributes->nodeSet()};
  evaluateOperandEncodings(walk, alternative.elements, alternative.elementCount);
  const bool walkJump = context.isJump;
  context.isJump = jump || context.isJump;
  if (context.failed) return;
  // An operand that cannot be written back generates nothing; the hardware forms report
  // what is wrong with it.
  for (uint32_t i = 0; i < generic->operandCount; ++i)
    if (operands[i] && !writableAsText(operands[i])) return;
  const bool listJump = attributes->addNewAttributeList(generic->spec, IPAttribute::kDescriptionList, line, operands);
  if (listJump) context.isJump = true;
  const char* message = nullptr;
  if (!attributes->findFirstUnsatisfiedCase(&message, false)) {
    if (message) context.whenMessage = message;
    return;
  }

  // Variant 0 belongs to the hardware forms of the line when there are any.
  uint32_t variant = context.variantCount;
  if (context.found && variant == 0) variant = 1;
  LineInfo* anchor = line;
  const bool linesWanted = expansionLinesWanted();

  for (const ExpansionTemplate* entry = generic->templates; entry && entry->marker != 0; ++entry) {
    OrbaExpression* condition =
        entry->condition ? entry->condition(line, operands, attributes->nodeSet()) : nullptr;
    if (!entryIsForThisCpu(*entry) || !conditionAdmits(condition)) continue;
    context.expanded = true;
    if (linesWanted)
      anchor = expandEntry(*entry, operands, generic->operandCount, anchor, static_cast<int16_t>(variant), context);
    ++variant;
  }
  context.variantCount = variant;
  if (targetKnown && expressionsLeaveGenericAlone(alternative))
    keepTargetOutcome(alternative, path, context, line, statement, operands, generic->operandCount,
                      walkJump || listJump);
}

namespace {

// By table: every jump's target is scanned for, a character at a time.
constexpr std::array<bool, 256> kTargetNameCharacters = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[static_cast<size_t>(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                    c == '_' || c == '.';
  return table;
}();

bool isTargetNameCharacter(char c) { return kTargetNameCharacters[static_cast<unsigned char>(c)]; }

}  // namespace

// The statement's target: a name at the end of the matched text, after a comma or a blank,
// that starts with a letter or an underscore. `from` receives where it starts.
bool targetAtEnd(const char* text, uint32_t length, uint32_t& from) {
  uint32_t start = length;
  while (start > 0 && isTargetNameCharacter(text[start - 1])) --start;
  if (start == length || start == 0) return false;
  const char first = text[start];
  if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z') || first == '_')) return false;
  const char before = text[start - 1];
  if (before != ',' && before != ' ' && before != '\t') return false;
  from = start;
  return true;
}


}  // namespace isa
