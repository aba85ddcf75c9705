// The directive scanner of the macro preprocessor: one forward pass over the line
// with a class table lookup per byte; only a string may back up, to the end of
// the longest string it matched.
#include <algorithm>
#include <array>
#include <string_view>

#include "preproc/InputBuffer.h"
#include "preproc/MacroPreprocessor.h"
#include "preproc/MppToken.h"
#include "util/assertion.h"

namespace {

enum ByteClass : uint8_t {
  kOther,  // a token of its own (code 1); also every byte from 0x7B up
  kEnd,
  kBlank,
  kLineFeed,
  kReturn,
  kControl,
  kHash,
  kComma,
  kColon,
  kBackslash,
  kQuote,
  kNameStart,  // letters, '_', '.', '@'
};

constexpr bool isLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool isDigit(int c) { return c >= '0' && c <= '9'; }

constexpr std::array<uint8_t, 256> kStartClass = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 1; c < 0x20; ++c) table[c] = kControl;
  table[0] = kEnd;
  table['\t'] = table['\v'] = table['\f'] = table[' '] = kBlank;
  table['\n'] = kLineFeed;
  table['\r'] = kReturn;
  table['#'] = kHash;
  table[','] = kComma;
  table[':'] = kColon;
  table['\\'] = kBackslash;
  table['\''] = kQuote;
  for (int c = 0; c < 0x7B; ++c)
    if (isLetter(c)) table[c] = kNameStart;
  table['_'] = table['.'] = table['@'] = kNameStart;
  return table;
}();

// Letters, digits, '_' and '.': an at sign starts a name but does not continue one.
constexpr std::array<bool, 256> kNamePart = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x7B; ++c) table[c] = isLetter(c) || isDigit(c) || c == '_' || c == '.';
  return table;
}();

constexpr bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

struct Keyword {
  std::string_view name;  // upper case
  int32_t code;
};

// The directive keywords and the reserved directive names of the statement parser,
// sorted for the binary search.
constexpr Keyword kKeywords[] = {
    {".ACCUM", kMppReserved},
    {".ALIAS", kMppReserved},
    {".ALIGN", kMppReserved},
    {".ASCII", kMppReserved},
    {".ASCIIZ", kMppReserved},
    {".BYTE", kMppReserved},
    {".CALLS", kMppReserved},
    {".COMMENT", kMppComment},
    {".COMMENT_PREFIX", kMppCommentPrefix},
    {".COMPILER_INVOCATION", kMppReserved},
    {".COMPILER_NAME", kMppReserved},
    {".COMPILER_VERSION", kMppReserved},
    {".DEFINE", kMppDefine},
    {".DOUBLE", kMppReserved},
    {".DUP", kMppDup},
    {".DUPA", kMppDupa},
    {".DUPC", kMppDupc},
    {".DUPF", kMppDupf},
    {".ELIF", kMppElif},
    {".ELSE", kMppElse},
    {".END", kMppEnd},
    {".ENDIF", kMppEndif},
    {".ENDM", kMppEndm},
    {".EQU", kMppEqu},
    {".EXITM", kMppExitm},
    {".EXTERN", kMppReserved},
    {".FAIL", kMppReserved},
    {".FLOAT", kMppReserved},
    {".FRACT", kMppReserved},
    {".GLOBAL", kMppReserved},
    {".HALF", kMppReserved},
    {".IF", kMppIf},
    {".INCLUDE", kMppInclude},
    {".LOAD", kMppReserved},
    {".LOCAL", kMppReserved},
    {".MACRO", kMppMacro},
    {".MESSAGE", kMppReserved},
    {".MISRAC", kMppReserved},
    {".NAME", kMppReserved},
    {".ORG", kMppReserved},
    {".PMACRO", kMppPmacro},
    {".PREVIOUS", kMppReserved},
    {".RADIX", kMppRadix},
    {".SDECL", kMppReserved},
    {".SECT", kMppReserved},
    {".SET", kMppSet},
    {".SFRACT", kMppReserved},
    {".SIZE", kMppReserved},
    {".SPACE", kMppReserved},
    {".TYPE", kMppReserved},
    {".UNDEF", kMppUndef},
    {".WARNING", kMppReserved},
    {".WEAK", kMppReserved},
    {".WORD", kMppReserved},
};

constexpr bool keywordsSorted() {
  for (size_t i = 1; i < std::size(kKeywords); ++i)
    if (!(kKeywords[i - 1].name < kKeywords[i].name)) return false;
  return true;
}
static_assert(keywordsSorted(), "the keyword table must be sorted for the binary search");

constexpr size_t kLongestKeyword = [] {
  size_t longest = 0;
  for (const Keyword& keyword : kKeywords) longest = std::max(longest, keyword.name.size());
  return longest;
}();

int32_t nameCode(const char* from, size_t length) {
  // Every keyword starts with a full stop; other names need no look-up.
  if (*from != '.' || length > kLongestKeyword) return kMppIdentifier;
  char upper[kLongestKeyword];
  for (size_t i = 0; i < length; ++i) {
    char c = from[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  std::string_view name(upper, length);
  const Keyword* end = std::end(kKeywords);
  const Keyword* found = std::lower_bound(
      std::begin(kKeywords), end, name,
      [](const Keyword& keyword, std::string_view key) { return keyword.name < key; });
  return found != end && found->name == name ? found->code : kMppIdentifier;
}

bool isSimpleEscape(char c) {
  switch (c) {
    case '"': case '\'': case '?': case '\\':
    case 'a': case 'b': case 'f': case 'n': case 'r': case 't': case 'v':
      return true;
    default:
      return c >= '0' && c <= '7';
  }
}

bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int32_t scanSingleQuoted(InputBuffer::InputSource& source, const char* quote) {
  // The longest string wins: after a closing quote that another quote follows,
  // the two may be a doubled quote inside a longer string. Where the scan fails,
  // the last closing quote found ends the string. Each turn moves on; the NUL
  // that ends the line stops the scan.
  const char* scan = quote + 1;
  const char* closing = nullptr;
  source.scanMarker = scan;
  for (;;) {
    char c = *scan;
    if (c == '\'') {
      closing = scan;
      source.scanMarker = scan + 1;
      if (scan[1] != '\'') break;
      scan += 2;
    } else if (c == '\0' || c == '\n') {
      break;
    } else if (c == '\\') {
      if (isSimpleEscape(scan[1])) {
        scan += 2;
      } else if ((scan[1] == 'x' || scan[1] == 'X') && isHexDigit(scan[2])) {
        scan += 3;
      } else {
        break;
      }
    } else {
      ++scan;
    }
  }
  if (!closing) {
    source.cursor = quote + 1;
    return kMppCharacter;
  }
  source.tokenStart = quote + 1;
  source.tokenEnd = closing;
  source.cursor = closing + 1;
  return kMppString;
}

}  // namespace

int32_t MacroPreprocessor::scanToken(InputBuffer& input) {
  InputBuffer::InputSource* source = input.top();
  VEKT_ASSERT(source);
  const char* at = source->cursor;
  for (;;) {
    source->tokenStart = at;
    switch (kStartClass[static_cast<uint8_t>(*at)]) {
      case kEnd:
        source->cursor = at + 1;
        return kMppEndOfText;
      case kBlank:
        while (isBlank(*at)) ++at;
        ++source->blankRuns;
        continue;
      case kLineFeed:
        source->cursor = at + 1;
        input.countNewline(source);
        return kMppNewline;
      case kReturn:
        source->cursor = at + (at[1] == '\n' ? 2 : 1);
        input.countNewline(source);
        return kMppNewline;
      case kControl:
        if (static_cast<uint8_t>(*at) == InputBuffer::kCtrlZ &&
            source->kind == InputBuffer::kFileSource) {
          ++at;
          continue;
        }
        source->cursor = at + 1;
        return kMppControl;
      case kHash:
        source->cursor = at + 1;
        return kMppHash;
      case kComma:
        source->cursor = at + 1;
        return kMppComma;
      case kColon:
        source->cursor = at + 1;
        return kMppColon;
      case kBackslash:
        source->cursor = at + 1;
        return kMppBackslash;
      case kQuote:
        return scanSingleQuoted(*source, at);
      case kNameStart: {
        const char* end = at + 1;
        while (kNamePart[static_cast<uint8_t>(*end)]) ++end;
        source->cursor = end;
        return nameCode(at, static_cast<size_t>(end - at));
      }
      default:
        source->cursor = at + 1;
        return kMppCharacter;
    }
  }
}

int32_t MacroPreprocessor::keywordCode(const char* name, size_t length) {
  return length == 0 ? kMppIdentifier : nameCode(name, length);
}

const char* MacroPreprocessor::plainLineEnd(const char* at, int32_t& blankRuns) const {
  // Only bytes of character tokens (and a hash after the first token) may start a
  // comment or a statement; a quote, a continuation, a control byte, a carriage
  // return, a name that may be defined or a first token with a rule of its own sends
  // the line to the token loop.
  const char* prefix = commentPrefix();
  const char* separator = statementSeparator();
  const auto commentByte = static_cast<uint8_t>(prefix ? *prefix : 0);
  const auto separatorByte = static_cast<uint8_t>(separator ? *separator : 0);
  bool firstToken = true;
  // Each turn takes a token or a run of blanks; the NUL after the line ends it.
  for (;;) {
    const auto c = static_cast<uint8_t>(*at);
    switch (kStartClass[c]) {
      case kLineFeed:
        return at;
      case kBlank:
        while (isBlank(*at)) ++at;
        ++blankRuns;
        continue;
      case kNameStart: {
        if (mayBeDefined(static_cast<char>(c))) return nullptr;
        const char* end = at + 1;
        while (kNamePart[static_cast<uint8_t>(*end)]) ++end;
        if (firstToken) {
          int32_t code = nameCode(at, static_cast<size_t>(end - at));
          if (code == kMppComment || code == kMppDefine || code == kMppPmacro || code == kMppUndef)
            return nullptr;
        }
        firstToken = false;
        at = end;
        continue;
      }
      case kHash:
        // A hash is a comment only where the prefix makes it one, and it starts a
        // line marker only as the first token.
        if (firstToken || commentByte == '#') return nullptr;
        ++at;
        continue;
      case kComma:
      case kColon:
        firstToken = false;
        ++at;
        continue;
      case kOther:
        if (c == '"' || (commentByte && c == commentByte) || (separatorByte && c == separatorByte))
          return nullptr;
        firstToken = false;
        ++at;
        continue;
      default:
        return nullptr;
    }
  }
}

bool MacroPreprocessor::plainStatement(const char* text, size_t length) const {
  const char* end = text + length;
  auto classAt = [end](const char* at) {
    return at < end ? kStartClass[static_cast<uint8_t>(*at)] : static_cast<uint8_t>(kEnd);
  };
  auto nameEnd = [end](const char* at) {
    ++at;
    while (at < end && kNamePart[static_cast<uint8_t>(*at)]) ++at;
    return at;
  };
  // In the first column a name is a label.
  if (classAt(text) != kBlank) return false;
  const char* at = text;
  while (at < end && isBlank(*at)) ++at;
  if (classAt(at) != kNameStart || mayBeMacro(*at)) return false;
  const char* wordEnd = nameEnd(at);
  int32_t first = nameCode(at, static_cast<size_t>(wordEnd - at));
  if (first != kMppIdentifier && first != kMppReserved) return false;
  at = wordEnd;
  while (at < end && isBlank(*at)) ++at;
  switch (classAt(at)) {
    case kColon:
      return false;
    case kNameStart: {
      int32_t next = nameCode(at, static_cast<size_t>(nameEnd(at) - at));
      return next != kMppEqu && next != kMppMacro && next != kMppSet;
    }
    default:
      return true;
  }
}

int32_t MacroPreprocessor::nextToken(InputBuffer& input) {
  InputBuffer::InputSource* source = input.top();
  VEKT_ASSERT(source);
  source->tokenStart = nullptr;
  source->tokenEnd = nullptr;
  return scanToken(input);
}

int32_t MacroPreprocessor::peekToken(InputBuffer& input) {
  InputBuffer::InputSource* source = input.top();
  VEKT_ASSERT(source);
  // A newline looked at is not yet read: it must not count twice.
  const char* cursor = source->cursor;
  int32_t line = source->line;
  int32_t highestLine = input.highestLine;
  int32_t code = nextToken(input);
  source->cursor = cursor;
  source->line = line;
  input.highestLine = highestLine;
  return code;
}

const char* MacroPreprocessor::tokenName(int32_t code) {
  switch (code) {
    case kMppCharacter: return "character";
    case kMppIdentifier: return "identifier";
    case kMppReserved: return "reserved identifier";
    case kMppString: return "string";
    case kMppColon: return ":";
    case kMppHash: return "#";
    case kMppComma: return ",";
    case kMppBackslash: return "\\";
    case kMppNewline: return "newline";
    case kMppControl: return "control character";
    case kMppEndOfText: return "EOFILE";
    default: break;
  }
  for (const Keyword& keyword : kKeywords)
    if (keyword.code == code && code != kMppReserved) return keyword.name.data();
  return "**UNKNOWN**";
}
