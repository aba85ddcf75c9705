#include "preproc/BodySubstitution.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "preproc/MppRecords.h"

namespace {

enum class Token : uint8_t {
  kEnd,
  kNewline,
  kDoubleQuote,
  kSingleQuote,
  kPercent,
  kQuestion,
  kCaret,
  kBackslash,
  kIdentifier,
  kCharacter,  // any other single byte
};

constexpr bool isLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// An at sign starts a name but does not continue one; a digit only continues one.
constexpr std::array<bool, 256> kNameStart = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 128; ++c) table[c] = isLetter(c) || c == '_' || c == '.' || c == '@';
  return table;
}();
constexpr std::array<bool, 256> kNamePart = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 128; ++c)
    table[c] = isLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '.';
  return table;
}();

// One token per call over a text that ends at its size or at a NUL byte.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  Token next() {
    start_ = cursor_;
    if (cursor_ >= text_.size() || text_[cursor_] == '\0') return Token::kEnd;
    auto c = static_cast<unsigned char>(text_[cursor_++]);
    switch (c) {
      case '\n': return Token::kNewline;
      case '"': return Token::kDoubleQuote;
      case '\'': return Token::kSingleQuote;
      case '%': return Token::kPercent;
      case '?': return Token::kQuestion;
      case '^': return Token::kCaret;
      case '\\': return Token::kBackslash;
      default: break;
    }
    if (!kNameStart[c]) return Token::kCharacter;
    while (cursor_ < text_.size() && kNamePart[static_cast<unsigned char>(text_[cursor_])])
      ++cursor_;
    return Token::kIdentifier;
  }

  std::string_view token() const { return text_.substr(start_, cursor_ - start_); }
  char tokenChar() const { return text_[start_]; }
  // The character after the token, or NUL at the end.
  char peek() const { return cursor_ < text_.size() ? text_[cursor_] : '\0'; }
  void skip() { ++cursor_; }

  // When a comment starts at the token, appends it up to (not including) the end of
  // its line and moves there.
  bool copyComment(const char* commentString, std::string& out) {
    if (!commentString || !*commentString || tokenChar() != *commentString) return false;
    if (text_.substr(start_).substr(0, std::strlen(commentString)) != commentString) return false;
    size_t newline = text_.find('\n', start_);
    size_t nul = text_.find('\0', start_);
    size_t stop = std::min({newline, nul, text_.size()});
    out.append(text_.substr(start_, stop - start_));
    cursor_ = stop;
    return true;
  }

 private:
  std::string_view text_;
  size_t start_ = 0;
  size_t cursor_ = 0;
};

}  // namespace

const std::string& BodySubstitution::expand(std::string_view body, const MppExpand& expansion,
                                            const char* label, const Settings& settings,
                                            size_t limit) {
  truncated_ = false;
  limit = std::min(limit, kMaxExpansionLength);
  substituteArguments(body, expansion, settings, limit);
  if (arguments_.size() > limit) {
    truncated_ = true;
    arguments_.clear();
    arguments_.shrink_to_fit();
    std::string_view closing = body;
    if (!closing.empty() && closing.back() == '\n') closing.remove_suffix(1);
    size_t lineStart = closing.rfind('\n');
    closing = body.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
    result_.assign(closing);
    return result_;
  }
  applyOperators(expansion, label, settings);
  return result_;
}

const char* BodySubstitution::truncatedText() {
  static_assert(kMaxExpansionLength == 4194304, "the text below names the bound");
  return "macro expansion longer than 4194304 characters skipped";
}

void BodySubstitution::appendLocalLabel(std::string& out, std::string_view name,
                                        uint32_t serial) {
  char suffix[32];
  int length = std::snprintf(suffix, sizeof suffix, "__M_L%.6" PRIu32, serial);
  out.append(name);
  out.append(suffix, static_cast<size_t>(length));
}

void BodySubstitution::substituteArguments(std::string_view body, const MppExpand& expansion,
                                           const Settings& settings, size_t limit) {
  arguments_.clear();
  Scanner scanner(body);
  bool inDouble = false;
  bool inSingle = false;
  for (Token token = scanner.next(); token != Token::kEnd; token = scanner.next()) {
    switch (token) {
      case Token::kDoubleQuote:
        if (!inSingle) inDouble = !inDouble;
        arguments_ += '"';
        break;
      case Token::kSingleQuote:
        if (!inDouble) inSingle = !inSingle;
        arguments_ += '\'';
        break;
      case Token::kNewline:
        arguments_ += '\n';
        inDouble = inSingle = false;
        break;
      case Token::kIdentifier: {
        // Parameters are replaced inside double quotes too, never inside single ones.
        // A parameter without a value (omitted, or not given) stays as written.
        const char* value = nullptr;
        if (!inSingle && !expansion.arguments.empty()) {
          name_.assign(scanner.token());
          value = expansion.findArgument(name_.c_str(), settings.caseSensitive);
        }
        if (value)
          arguments_ += value;
        else
          arguments_ += scanner.token();
        // Only values make the text grow past the body: the bound is checked here.
        if (arguments_.size() > limit) return;
        break;
      }
      default:
        if (inDouble || inSingle || !scanner.copyComment(settings.commentString, arguments_))
          arguments_ += scanner.tokenChar();
        break;
    }
  }
}

void BodySubstitution::applyOperators(const MppExpand& expansion, const char* label,
                                      const Settings& settings) {
  result_.clear();
  if (label) {
    result_ += label;
    result_ += ":\n";
  }
  const MppMacro* macro = expansion.construct && expansion.construct->kind() == kMppMacroKind
                              ? static_cast<const MppMacro*>(expansion.construct)
                              : nullptr;
  Scanner scanner(arguments_);
  char pending = 0;  // '%', '?' or '^' waiting for what follows it
  bool inDouble = false;
  bool inSingle = false;
  auto flush = [&]() {
    if (pending) result_ += pending;
    pending = 0;
  };
  for (Token token = scanner.next(); token != Token::kEnd; token = scanner.next()) {
    switch (token) {
      case Token::kNewline:
        flush();
        result_ += '\n';
        inDouble = inSingle = false;
        break;
      case Token::kBackslash:
        flush();
        if (inSingle) {
          result_ += '\\';
        } else if (scanner.peek() == '"') {
          result_ += '"';
          inDouble = !inDouble;
          scanner.skip();
        } else if (scanner.peek() == '\\') {
          result_ += '\\';
          scanner.skip();
        }
        // Otherwise the backslash only joins the texts on its two sides.
        break;
      case Token::kPercent:
      case Token::kQuestion:
      case Token::kCaret: {
        char op = scanner.tokenChar();
        if (pending == op) {
          result_ += op;  // doubled, the operator stands for itself
          pending = 0;
        } else {
          pending = op;
        }
        break;
      }
      case Token::kSingleQuote:
        flush();
        result_ += '\'';
        if (!inDouble) inSingle = !inSingle;
        break;
      case Token::kDoubleQuote:
        flush();
        if (inSingle) {
          result_ += '"';
        } else {
          result_ += '\'';
          inDouble = !inDouble;
        }
        break;
      case Token::kIdentifier: {
        std::string_view name = scanner.token();
        if (inSingle) {
          flush();
          result_ += name;
        } else if (pending == '^') {
          result_ += name;
        } else if (pending) {
          int64_t value = 0;
          if (settings.symbolValue && settings.symbolValue(name, &value)) {
            char digits[32];
            int length = pending == '%' ? std::snprintf(digits, sizeof digits, "%" PRIX64,
                                                        static_cast<uint64_t>(value))
                                        : std::snprintf(digits, sizeof digits, "%" PRId64, value);
            result_.append(digits, static_cast<size_t>(length));
          } else {
            result_ += pending;
            result_ += name;
          }
        } else if (macro && !macro->localNames.empty() &&
                   macro->localNames.count(name_.assign(name).c_str())) {
          appendLocalLabel(result_, name, static_cast<uint32_t>(expansion.number));
        } else {
          result_ += name;
        }
        if (!inSingle) pending = 0;
        break;
      }
      default:
        flush();
        if (inDouble || inSingle || !scanner.copyComment(settings.commentString, result_))
          result_ += scanner.tokenChar();
        break;
    }
  }
  flush();
}
