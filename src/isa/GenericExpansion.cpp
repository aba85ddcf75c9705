#include "isa/GenericExpansion.h"

#include <cstring>
#include <memory>
#include <vector>

#include "expr/OrbaExpression.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "flow/TempLabels.h"
#include "isa/IPAttribute.h"
#include "isa/OperandEvaluation.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/InlineVector.h"
#include "util/RunState.h"

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

// The text of an operand value: a name or a text as it is, anything else printed.
void appendOperand(std::string& piece, const OrbaExpression* value) {
  if (!value) return;
  if (value->getKind() == EK_string)
    piece.append(value->getString(), value->getStringLength());
  else
    piece += exprToString(value);
}


// Whether a generated line holds an instruction, not only a label: every instruction takes
// at least one halfword, which bounds an expansion's size from below.
bool holdsInstruction(const std::string& text) {
  size_t at = text.find_first_not_of(" \t");
  if (at == std::string::npos) return false;
  size_t colon = text.find(':', at);
  size_t blank = text.find_first_of(" \t\n", at);
  if (colon != std::string::npos && (blank == std::string::npos || colon < blank)) at = colon + 1;
  at = text.find_first_not_of(" \t", at);
  return at != std::string::npos && text[at] != '\n';
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
                      LineInfo* anchor, int16_t variant, BuildContext& context) {
  // Reused by every expansion of the run: a generated line is a few dozen characters.
  ExpansionText& text = runPart<ExpansionText>();
  std::string& lineText = text.lineText;
  std::string& piece = text.piece;
  TempLabelMap labels;
  LineEmitter lines(anchor, variant, entry.flag != 0, context);
  lineText.clear();
  for (const TemplateItem* item = entry.items; item && item->kind != TemplateItem::kEnd; ++item) {
    piece.clear();
    switch (item->kind) {
      case TemplateItem::kText:
        makeTempLabelName(piece, item->text, labels);
        break;
      case TemplateItem::kCharacter:
        piece += static_cast<char>(item->value);
        break;
      case TemplateItem::kOperand:
        if (item->value < operandCount) appendOperand(piece, operands[item->value]);
        break;
      default:
        break;
    }
    // The piece goes in by runs: each line end hands the line over.
    size_t from = 0;
    for (size_t end; (end = piece.find('\n', from)) != std::string::npos; from = end + 1) {
      lineText.append(piece, from, end + 1 - from);
      lines.emit(lineText);
      lineText.clear();
    }
    lineText.append(piece, from, std::string::npos);
  }
  if (!lineText.empty()) {
    lineText += '\n';
    lines.emit(lineText);
    lineText.clear();
  }
  markSourceNamedLabels(labels);
  return lines.last();
}

}  // namespace

void makeTempLabelName(std::string& piece, const char* text, TempLabelMap& labels) {
  for (const char* c = text; *c; ++c) {
    if (c[0] == '~' && c[1] >= '0' && c[1] <= '9') {
      const int digit = c[1] - '0';
      const char*& name = labels.names[digit];
      if (!name) {
        static_assert(sizeof labels.text[0] >= kTempLabelNameRoom);
        writeTempLabelName(labels.text[digit]);
        name = labels.text[digit];
      }
      piece += name;
      ++c;
      continue;
    }
    piece += *c;
  }
}

bool expansionLinesWanted() {
  return orbaOptions()->flowReadAfterParse();
}

bool isGeneratedLabelName(const char* name) {
  if (!name || name[0] != '_' || name[1] != '_' || (name[2] != 'T' && name[2] != 't')) return false;
  const char* digits = name + 3;
  if (*digits < '0' || *digits > '9') return false;
  while (*digits >= '0' && *digits <= '9') ++digits;
  return *digits == '\0';
}

bool refuseGeneratedLabelName(const char* name, const LineInfo* line) {
  if ((line && line->variant() >= 0) || !isGeneratedLabelName(name)) return false;
  std::string text = std::string("\"") + name + "\" is reserved for labels the assembler generates";
  errorHandler()->report(E_error, line, text.c_str());
  return true;
}

void expandInstructionLine(const MatchAlternative& alternative, const MatchPath& path, BuildContext& context,
                           LineInfo* line) {
  const GenericDescription* generic = alternative.generic;
  if (!generic || !line) return;
  auto attributes = std::make_unique<IPAttribute>();
  OrbaExpression* operandRoom[kOperandRoom] = {};
  std::unique_ptr<OrbaExpression*[]> operandHeap;
  OrbaExpression** operands = generic->operandCount ? operandRoom : nullptr;
  if (generic->operandCount > kOperandRoom) {
    operandHeap.reset(new OrbaExpression*[generic->operandCount]());
    operands = operandHeap.get();
  }

  const char* commentPrefix = line->controlState ? line->controlState->commentPrefix : nullptr;
  uint32_t length = trimmedMatchLength(context, commentPrefix);
  // The walk answers whether this form is a jump; the hardware forms have answered already.
  bool jump = context.isJump;
  context.failed = false;
  uint32_t c = path.count;
  OperandWalk walk{nullptr, path.states, c, context.match->text, length, operands,
                   context, attributes.get(), IPAttribute::kOperandList, nullptr, line, attributes->nodeSet()};
  evaluateOperandEncodings(walk, alternative.elements, alternative.elementCount);
  context.isJump = jump || context.isJump;
  if (context.failed) return;
  // An operand that cannot be written back generates nothing; the hardware forms report
  // what is wrong with it.
  for (uint32_t i = 0; i < generic->operandCount; ++i)
    if (operands[i] && !writableAsText(operands[i])) return;
  if (attributes->addNewAttributeList(generic->spec, IPAttribute::kDescriptionList, line, operands))
    context.isJump = true;
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
}

}  // namespace isa
