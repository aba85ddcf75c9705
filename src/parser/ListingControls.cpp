// Controls of the list file and the diagnostics: $LIST, $PAGE, $TITLE, $STITLE,
// $PRCTL, $DEBUG, $IDENT, $WARNING and $OBJECT. Each change goes into a copy of the
// line's control state, which the lines after it inherit; a control that fails
// leaves the line's state as it was.
#include <cctype>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "expr/OrbaExpression.h"
#include "parser/Controls.h"
#include "parser/DirectiveOperands.h"
#include "parser/Directives.h"
#include "parser/LineFlags.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/MessageCatalog.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

struct ListLetter {
  char letter;
  ControlState::ListFlag flag;
  bool onWhenNotGiven;
};
// The letters $LIST accepts; the other list-format letters are the options' alone.
constexpr ListLetter kListLetters[] = {
    {'c', ControlState::kListControl, true},         {'d', ControlState::kListSection, false},
    {'e', ControlState::kListSymbol, false},         {'g', ControlState::kListGenericExpansion, false},
    {'l', ControlState::kListLine, true},            {'m', ControlState::kListMacro, true},
    {'n', ControlState::kListEmptyLine, false},      {'p', ControlState::kListConditional, true},
    {'q', ControlState::kListEquate, false},         {'s', ControlState::kListHll, true},
    {'w', ControlState::kListWrapLines, false},      {'x', ControlState::kListMacroExpansion, false},
    {'z', ControlState::kListDefineExpansion, false},
};
constexpr int kListLetterCount = static_cast<int>(sizeof kListLetters / sizeof kListLetters[0]);

int findListLetter(char letter) {
  for (int i = 0; i < kListLetterCount; ++i)
    if (kListLetters[i].letter == letter) return i;
  return -1;
}

// A lower-case letter (anything equal to its lower-case form) says on.
bool letterSaysOn(char c) { return std::tolower(static_cast<unsigned char>(c)) == static_cast<unsigned char>(c); }
char lowerLetter(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// The next token as a quoted literal's raw text, interned; null for any other token.
const char* scanLetters(Scanner& scanner, int32_t token) {
  return token == kTokString ? scanner.internToken() : nullptr;
}

int32_t saturated(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// One or more expressions separated by commas; false after the diagnostic of the
// first one that does not parse.
bool readExpressionList(Scanner& scanner, const LineInfo* line, std::vector<OrbaExpression*>& items) {
  for (;;) {
    OrbaExpression* item = scanExpression(scanner, line);
    if (!item) return false;
    items.push_back(item);
    if (scanner.peek() != kTokComma) return true;
    scanner.scan();
  }
}

}  // namespace

ListLetters listFlagsFromLetters(std::string_view letters, uint32_t flags) {
  ListLetters result;
  int8_t given[kListLetterCount];
  for (int8_t& value : given) value = -1;
  for (char c : letters) {
    int index = findListLetter(lowerLetter(c));
    if (index < 0) {
      result.invalid = true;
      return result;
    }
    // The first mention of a letter counts; a repeat is only a fault.
    if (given[index] >= 0) {
      ++result.repeats;
      continue;
    }
    given[index] = letterSaysOn(c) ? 1 : 0;
  }
  for (int i = 0; i < kListLetterCount; ++i) {
    bool on = given[i] >= 0 ? given[i] == 1 : kListLetters[i].onWhenNotGiven;
    if (on)
      flags |= kListLetters[i].flag;
    else
      flags &= ~static_cast<uint32_t>(kListLetters[i].flag);
  }
  result.flags = flags;
  return result;
}

DebugLetters debugLettersOf(std::string_view letters) {
  DebugLetters result;
  for (char c : letters) {
    int32_t* slot = nullptr;
    switch (lowerLetter(c)) {
      case 'a':
        slot = &result.asmLines;
        break;
      case 'l':
        slot = &result.localSymbols;
        break;
      default:
        break;
    }
    if (!slot || *slot >= 0) {
      result.invalid = true;
      return result;
    }
    *slot = letterSaysOn(c) ? 1 : 0;
  }
  return result;
}

bool listControl(OrbaParser& parser, Statement& statement) {
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  int32_t token = scanner.scan();
  const char* letters = scanLetters(scanner, token);
  if (token != kTokOn && token != kTokOff && !letters) {
    errorHandler()->report(E_expected_token, line, "<string>");
    return false;
  }
  // Without a list file nothing reads the list settings.
  if (!orbaOptions()->listFileWanted) return true;

  ControlState* state = copyLineControlState(line);
  if (letters) {
    ListLetters scanned = listFlagsFromLetters(letters, state->listFlags);
    for (int32_t i = 0; i < scanned.repeats; ++i)
      errorHandler()->report(E_invalid_flag_combination, line, letters);
    if (scanned.invalid) {
      errorHandler()->report(E_invalid_flag_combination, line, letters);
      delete state;
      return false;
    }
    state->listFlags = scanned.flags;
  } else {
    // Each OFF needs its own ON. The counter stops at its limits rather than wrap
    // round and turn the listing the other way.
    int16_t& counter = state->listCounter;
    if (token == kTokOn && counter < std::numeric_limits<int16_t>::max()) ++counter;
    if (token == kTokOff && counter > std::numeric_limits<int16_t>::min()) --counter;
  }
  giveLineControlState(line, state);
  markControlLine(line);
  return true;
}

bool pageControl(OrbaParser& parser, Statement& statement) {
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  if (scanner.peek() == kTokEndOfLine) {
    // A page break; the list writer shows the line even where control lines are hidden.
    line->flags[2] |= lineflag::kControlListedAnyway;
    markControlLine(line);
    return true;
  }
  // Width, length, left, top and bottom margin; an empty argument keeps its value.
  constexpr int kArguments = 5;
  OrbaExpression* arguments[kArguments] = {};
  arguments[0] = scanExpression(scanner, line);
  if (!arguments[0]) return false;
  for (int i = 1; i < kArguments && scanner.peek() == kTokComma; ++i) {
    scanner.scan();
    int32_t next = scanner.peek();
    if (next == kTokComma || next == kTokEndOfLine) continue;
    arguments[i] = scanExpression(scanner, line);
    if (!arguments[i]) return false;
  }
  int32_t values[kArguments];
  for (int i = 0; i < kArguments; ++i) values[i] = saturated(evalAbsoluteInteger(arguments[i], line, "$PAGE"));

  ControlState* state = copyLineControlState(line);
  if (const char* fault = state->setPageLayout(values[0], values[1], values[3], values[4], values[2]))
    errorHandler()->report(E_page_directive_error, line, "$PAGE", fault);
  giveLineControlState(line, state);
  markControlLine(line);
  return true;
}

bool titleControl(OrbaParser& parser, Statement& statement) {
  LineInfo* line = statement.line;
  const char* text = scanStringLiteral(parser.scanner(), line);
  if (!text) return false;
  bool subtitle = statement.keyword == kTokStitle;
  // The first title of the source heads every page that no later one covers, also
  // the pages in front of it.
  const char*& first = subtitle ? ControlState::firstSubtitle() : ControlState::firstTitle();
  if (!first) {
    first = text;
  } else {
    ControlState* state = copyLineControlState(line);
    (subtitle ? state->subtitle : state->title) = text;
    giveLineControlState(line, state);
  }
  markControlLine(line);
  return true;
}

bool printerControl(OrbaParser& parser, Statement& statement) {
  LineInfo* line = statement.line;
  std::vector<OrbaExpression*> items;
  if (!readExpressionList(parser.scanner(), line, items)) return false;
  std::string bytes;
  for (OrbaExpression* item : items) {
    OrbaExpression* value = item->evaluate();
    if (value && !value->isError() && value->getKind() == EK_string) {
      bytes.append(value->getString(), value->getStringLength());
      continue;
    }
    int64_t number = evalAbsoluteInteger(item, line, "$PRCTL");
    if (number != -1) bytes.push_back(static_cast<char>(number & 0xFF));
  }
  uint32_t count = static_cast<uint32_t>(bytes.size());
  if (line->setPrinterControl(reinterpret_cast<const uint8_t*>(bytes.data()), count) < count)
    errorHandler()->report(W_string_value_truncated, line, static_cast<int>(LineInfo::kMaxPrinterControl));
  markControlLine(line);
  return true;
}

bool debugControl(OrbaParser& parser, Statement& statement) {
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  int32_t token = scanner.scan();
  const char* letters = scanLetters(scanner, token);
  DebugLetters wanted;
  if (token == kTokOn || token == kTokOff) {
    wanted.localSymbols = token == kTokOn ? 1 : 0;
  } else if (letters) {
    wanted = debugLettersOf(letters);
    if (wanted.invalid) {
      errorHandler()->report(E_invalid_flag_combination, line, letters);
      return false;
    }
  } else {
    errorHandler()->report(E_expected_token, line, "<string>");
    return false;
  }
  RunSettings* options = orbaOptions();
  ControlState* state = copyLineControlState(line);
  if (wanted.localSymbols >= 0) {
    state->localSymbolDebug = wanted.localSymbols == 1;
    // The object output needs to know whether any line asked for them.
    if (state->localSymbolDebug) options->localDebugSymbols = true;
  }
  if (wanted.asmLines >= 0) {
    state->debugKind = wanted.asmLines;
    if (wanted.asmLines == 1) options->asmDebugInfo = true;
  }
  giveLineControlState(line, state);
  markControlLine(line);
  return true;
}

bool identControl(OrbaParser& parser, Statement& statement) {
  LineInfo* line = statement.line;
  int32_t token = parser.scanner().scan();
  if (token != kTokLocalWord && token != kTokGlobalWord) {
    errorHandler()->report(E_expected_token, line, "GLOBAL");
    return false;
  }
  ControlState* state = copyLineControlState(line);
  state->localByDefault = token == kTokLocalWord;
  giveLineControlState(line, state);
  markControlLine(line);
  return true;
}

bool warningControl(OrbaParser& parser, Statement& statement) {
  Scanner& scanner = parser.scanner();
  LineInfo* line = statement.line;
  if (!expectToken(scanner, kTokOff, "OFF", line)) return false;
  OrbaExpression* number = nullptr;
  if (scanner.peek() != kTokEndOfLine) {
    number = scanExpression(scanner, line);
    if (!number) return false;
  }
  ControlState* state = copyLineControlState(line);
  if (!number) {
    state->allWarningsOff = true;
  } else {
    int64_t value = evalAbsoluteInteger(number, line, "$WARNING");
    // A number that no message has suppresses nothing and draws no message.
    if (value >= 0 && value <= std::numeric_limits<uint32_t>::max())
      if (int32_t id = messages::indexOfNumber(static_cast<uint32_t>(value))) state->suppressWarning(id);
  }
  giveLineControlState(line, state);
  markControlLine(line);
  return true;
}

bool objectControl(OrbaParser& parser, Statement& statement) {
  int32_t token = parser.scanner().scan();
  if (token == kTokString || token == kTokOff) return true;
  errorHandler()->report(E_expected_token, statement.line, "OFF");
  return false;
}
