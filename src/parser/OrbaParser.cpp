#include "parser/OrbaParser.h"

#include <cstring>
#include <vector>

#include "flow/FLabel.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "isa/GenericExpansion.h"
#include "parser/Directives.h"
#include "parser/FMacroCall.h"
#include "parser/InstructionStatement.h"
#include "parser/LineFlags.h"
#include "parser/LineStream.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"
#include "util/RunState.h"

namespace {

struct ParseLine {
  LineInfo* parseLineNow = nullptr;
};
ParseLine& parseLineState() { return runPart<ParseLine>(); }

// The line whose position a message about the source as a whole takes: the last
// line that came from the source, not the end marker behind it; null for a source
// without lines.
LineInfo* lastSourceLine(LineState* lines) {
  for (LineInfo* line = lines->last(); line; line = line->previous)
    if (line->text) return line;
  return nullptr;
}

bool isWordShaped(int32_t code) {
  return (code >= kTokDirectiveFirst && code <= kTokMnemonic) || (code >= kTokAt && code <= kTokIdentifier);
}

bool isDirective(int32_t code) { return code >= kTokDirectiveFirst && code <= kTokDirectiveLast; }

bool definesByLabel(int32_t code) { return code == kTokAlias || code == kTokEqu || code == kTokSet; }

// Whether the token after a word that ends at `p` may be a colon or a directive (".EQU",
// ".SET", ".ALIAS"): only then can the word be a label.
bool mayNameLabel(const char* p) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  return *p == ':' || *p == '.';
}

}  // namespace

LineInfo* currentParseLine() { return parseLineState().parseLineNow; }

namespace {

constexpr uint8_t kGeneratedLine = lineflag::kGenericLine | lineflag::kGenericMark | lineflag::kGeneratedListable |
                                   lineflag::kGenericAlternative;

// A macro call or repeat block is a node of the flow wherever something reads its
// place: the line program, whose row for the call is the only one the expanded code
// falls under, whenever line information is on; and the list file, for the address
// it shows, where the line is listed. Without either, a call costs nothing.
bool makesCallNode(const LineInfo& line) {
  return (line.flags[0] & lineflag::kMacroCall) && (orbaOptions()->asmDebugInfo || isListed(line));
}

}  // namespace

LineRelease::LineRelease(LineStream* stream, LineInfo* head) : stream_(stream), head_(head) {}

void LineRelease::passed(LineInfo* line) {
  // A line that nothing refers to any more since this statement (Section.h) goes like
  // one that was not assembled: this one once it is considered, an earlier one,
  // considered already, now. Without a stream the lines stay.
  takeLinesLetGo(letGo_);
  if (!stream_) return;
  if (line->text.present()) {
    // The last line with text is where a missing END is reported.
    LineInfo* before = lastText_;
    lastText_ = line;
    if (before) consider(before);
  }
  for (LineInfo* unused : letGo_) {
    if (unused == line)
      leanOnly_ = line;
    else
      release(unused);
  }
  if (line != lastText_) consider(line);
  if (waiting_.empty()) return;
  if (!stream_->preprocessorHoldsLines()) {
    std::vector<LineInfo*> ready;
    ready.swap(waiting_);
    for (LineInfo* waiting : ready) letGo(waiting);
  } else if (waiting_.size() >= recheckWaiting_) {
    // The lines held are those of a few open levels: asked again each time the list
    // has doubled, the waiting lines cost a constant share of the work.
    std::vector<LineInfo*> ready;
    size_t kept = 0;
    for (LineInfo* waiting : waiting_) {
      if (stream_->preprocessorHoldsLine(*waiting))
        waiting_[kept++] = waiting;
      else
        ready.push_back(waiting);
    }
    waiting_.resize(kept);
    recheckWaiting_ = 2 * kept + kRecheckWaiting;
    for (LineInfo* waiting : ready) letGo(waiting);
  }
}

void LineRelease::consider(LineInfo* line) {
  if ((line->flags[2] & kGeneratedLine) || line->variant() >= 0) {
    // The generic machinery keeps the line, not its text: the text would hold the chunk
    // of every text placed beside it.
    if (line != lastText_) line->text.clear();
    return;
  }
  if (line == head_) return;
  if (line == leanOnly_) {
    leanOnly_ = nullptr;
  } else if (line->flags[0] & lineflag::kAssemble) {
    // The statement is done: its nodes and symbols keep the line, not its text.
    if (line != lastText_) line->text.clear();
    return;
  }
  release(line);
}

void LineRelease::release(LineInfo* line) {
  if (line == head_) return;
  // A line the preprocessor may come back to waits until it no longer may.
  if (stream_->preprocessorHoldsLine(*line))
    waiting_.push_back(line);
  else
    letGo(line);
}

void LineRelease::letGo(LineInfo* line) {
  if (line == lastText_ || line->ownsControlState() || errorHandler()->hasRecordAt(line)) return;
  // The node of a macro call keeps its line (line information, once on, stays on).
  if (makesCallNode(*line)) return;
  // A macro call with a label in the first column: the preprocessor's symbol of the
  // label names the line. (Every other line with a label that the preprocessor defines
  // is assembled.)
  const char* text = line->text;
  if ((line->flags[0] & (lineflag::kMacroCall | lineflag::kMacroDefinition)) == lineflag::kMacroCall && text &&
      *text != '\0' && *text != ' ' && *text != '\t' && *text != '\n')
    return;
  lineState()->removeLine(line);
}

OrbaParser::OrbaParser() = default;
OrbaParser::~OrbaParser() = default;

void OrbaParser::parse() { parse(nullptr); }

void OrbaParser::parse(LineStream* stream) {
  // The first titles head the list of this source only.
  ControlState::firstTitle() = nullptr;
  ControlState::firstSubtitle() = nullptr;
  SectionAdmin* admin = sectionAdmin();
  LineState* lines = lineState();
  OrbaFactory* factory = orbaFactory();
  // The next line of the walk: with a stream, once the preprocessor has settled it.
  auto lineAfter = [&](LineInfo* line) -> LineInfo* {
    if (stream) return stream->lineAfter(line);
    return line ? line->next.get() : lines->first();
  };
  LineInfo* head = lineAfter(nullptr);
  if (!head) {
    if (stream) stream->finish();
    return;
  }

  ControlState* state = factory->createControlState();
  // The state the preprocessor gave the line goes with the preprocessor: the parse's
  // own first state is the head's, also when its settings are the same.
  if (!head->ownsControlState()) head->controlState = nullptr;
  giveLineControlState(head, state);
  Section* placeholder = factory->createSectionFromName(head);
  head->section = placeholder;
  placeholder->userSection = 0;
  runState().placeholderSection = placeholder;
  admin->registerSection(placeholder);

  Section* current = placeholder;
  LineInfo* stop = nullptr;
  LineInfo*& parsing = parseLineState().parseLineNow;
  // Without a list file, nothing reads a line after its statement unless it holds on
  // to it: a node, a symbol, a diagnostic or the generic machinery (see letGoOf).
  LineRelease release(stream && stream->letsGoOfLines() ? stream : nullptr, head);
  for (LineInfo* line = head; line;) {
    line->setControlStateAndSection(state, current);
    if (makesCallNode(*line))
      current->addNode(new FMacroCall(line, orbaOptions()->asmDebugInfo, isListed(*line)), true);
    if (line->flags[0] & lineflag::kAssemble) {
      parsing = line;
      parseLine(admin, &current, line);
      current = line->section;
      state = line->controlState;
      parsing = nullptr;
    }
    if (line->flags[3] & lineflag::kEndReached) {
      stop = line;
      break;
    }
    LineInfo* next = lineAfter(line);
    release.passed(line);
    line = next;
  }
  // The preprocessor's diagnostics all come before the checks of the source's end.
  if (stream) stream->finish();
  LineInfo* lastText = release.lastTextLine();

  // Sections have no end directive, so an open section at the end is no fault.
  if (stop) {
    checkTextAfterEnd(stop);
    for (LineInfo* line = stop->next; line; line = line->next) line->section = placeholder;
  } else if (orbaOptions()->requireEnd) {
    if (LineInfo* last = release.active() ? lastText : lastSourceLine(lines))
      errorHandler()->report(E_missing_end, last, "END");
  }
  lines->last()->flags[2] |= lineflag::kLastLine;
}

void OrbaParser::parseExpansionLines(LineInfo* first, LineInfo* last) {
  SectionAdmin* admin = sectionAdmin();
  LineInfo*& parsing = parseLineState().parseLineNow;
  LineInfo* outer = parsing;
  for (LineInfo* line = first; line; line = line->next) {
    Section* current = line->section;
    parsing = line;
    parseLine(admin, &current, line);
    if (line == last) break;
  }
  parsing = outer;
}

bool OrbaParser::parseLine(SectionAdmin* /*admin*/, Section** current, LineInfo* line) {
  *current = line->section;
  line->flags[2] &= static_cast<uint8_t>(~lineflag::kSectionSwitch);
  const char* prefix = line->controlState ? line->controlState->commentPrefix : ";";
  Scanner& scan = scanner_;
  scan.reset(line->text, line, prefix);

  Statement statement;
  statement.line = line;
  statement.current = current;

  const char* position = scan.textStart;  // where the statement word begins
  int32_t token = scan.scan();
  if (token == kTokEndOfLine) return true;
  if (token == kTokOther && scan.commentAt(scan.tokenStart)) {
    line->flags[0] |= lineflag::kCommentOnly;
    return true;
  }

  bool hasLabel = false;
  if (token == kTokString) {
    // A quoted name is a label wherever it stands.
    statement.label = scan.internToken();
    position = scan.cursor;
    token = scan.scan();
    hasLabel = true;
  } else if (isWordShaped(token) || token == kTokNumber) {
    bool colonless = scan.blankRuns == 0 && token != kTokNumber;
    const char* wordStart = scan.tokenStart;
    const char* wordEnd = scan.cursor;
    // After a blank, a mnemonic names a label only before a colon or a directive that
    // defines by its label: when no ":" or "." follows, the look-ahead need not scan the
    // first operand, which the matcher reads from the text again.
    int32_t next = token == kTokMnemonic && !colonless && !mayNameLabel(wordEnd) ? kTokOther : scan.peek();
    if (next == kTokColon) {
      scan.scan();
      statement.label = stringBuffer()->internRange(wordStart, wordEnd);
      statement.labelColon = true;
      position = scan.cursor;
      token = scan.scan();
      hasLabel = true;
    } else if ((colonless || definesByLabel(next)) && !isDirective(token)) {
      statement.label = stringBuffer()->internRange(wordStart, wordEnd);
      position = scan.cursor;
      token = scan.scan();
      hasLabel = true;
    } else if (token == kTokIdentifier || token == kTokNumber) {
      return unsupportedStatement(line, stringBuffer()->internRange(wordStart, wordEnd));
    }
  }

  if (hasLabel) {
    if (!definesByLabel(token) && !defineLabel(*current, line, statement.label, token)) return false;
    // A label before any section opened the default section for the rest of the line.
    *current = line->section;
    if (token == kTokEndOfLine || (token == kTokOther && scan.commentAt(scan.tokenStart))) return true;
  }

  if (token == kTokOther && static_cast<unsigned char>(*scan.tokenStart) >= 0x80) {
    // Bytes above ASCII pass the line reader for strings and comments; as a label or
    // mnemonic they are named like any other byte that cannot stand there.
    errorHandler()->report(E_invalid_input_character, line,
                           static_cast<int>(static_cast<unsigned char>(*scan.tokenStart)));
    return false;
  }
  statement.keyword = token;
  if (KeywordHandler handler = keywordHandler(token)) {
    if (instructions_) {
      if (token == kTokGlobal || token == kTokExtern || token == kTokLocal || token == kTokWeak)
        instructions_->symbolBindingChanged();
      else
        instructions_->settingsMayHaveChanged(token);
    }
    if (!handler(*this, statement)) return false;
    return statementEnd(line);
  }

  // The matcher reads the statement word from the text itself.
  uint32_t consumed = 0;
  if (!instructionStatement(position, line, &consumed)) return false;
  scan.cursor = position + consumed;
  scan.peekPosition = nullptr;
  return statementEnd(line);
}

bool OrbaParser::statementEnd(LineInfo* line) {
  int32_t token = scanner_.scan();
  if (token == kTokEndOfLine || (token == kTokOther && scanner_.commentAt(scanner_.tokenStart))) return true;
  errorHandler()->report(E_no_end_of_line, line);
  return false;
}

bool OrbaParser::defineLabel(Section* section, LineInfo* line, const char* name, int32_t /*nextToken*/) {
  SymbolTable* table = symbolTable();
  if (!table->current) return false;
  if (isa::refuseGeneratedLabelName(name, line)) return false;
  // The statement's label is interned already.
  Symbol* symbol = table->current->defineSymbol(name, line, true);
  if (!symbol) return false;
  symbol->section = section;
  // A label's unit words are its section's type, or 1 for a section without one.
  uint32_t unit = section->type != Section::kNoType ? static_cast<uint32_t>(section->type) : 1;
  symbol->memoryClass = static_cast<int32_t>(unit);
  symbol->unit = unit;
  if (section->flags.isDebug()) {
    symbol->flags[0] |= Symbol::kBinding0;
    symbol->flags[2] &= static_cast<uint8_t>(~Symbol::kRelocatable);
  }
  if ((section->flags.bytes[1] & 0x80) && !symbol->isLocal() && !symbol->isExternal())
    symbol->flags[0] |= Symbol::kGlobal;
  section->addNode(new FLabel(line, symbol), true);
  line->flags[2] |= lineflag::kDefinesLabel;
  return true;
}

void OrbaParser::checkTextAfterEnd(LineInfo* endLine) {
  const char* prefix = endLine->controlState ? endLine->controlState->commentPrefix : ";";
  Scanner rest;
  for (LineInfo* line = endLine->next; line; line = line->next) {
    rest.reset(line->text, line, prefix);
    for (const char* p = rest.textStart; *p && !rest.commentAt(p); ++p) {
      if (*p == ' ' || (*p >= '\t' && *p <= '\r')) continue;
      errorHandler()->report(W_text_after_end, line, "END");
      return;
    }
  }
}

bool OrbaParser::unsupportedStatement(LineInfo* line, const char* word) {
  errorHandler()->report(E_illegal_directive, line, word ? word : "");
  return false;
}

bool OrbaParser::instructionStatement(const char* position, LineInfo* line, uint32_t* consumed) {
  if (!instructions_) instructions_ = std::make_unique<InstructionStatements>();
  return instructions_->parse(position, line, consumed);
}
