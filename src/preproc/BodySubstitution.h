// Turns the stored body of a macro or repeat block into the text of one expansion:
// parameters become argument values, the operators %, ?, ^ and \ are applied,
// double-quoted strings come out single-quoted, and macro-local labels get the
// expansion's own suffix.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class MppExpand;

class BodySubstitution {
 public:
  // The integer value of a symbol for %NAME and ?NAME; false when the name has no
  // integer value now (the operator and the name then stay as written).
  using SymbolValue = bool (*)(std::string_view name, int64_t* value);

  struct Settings {
    bool caseSensitive = true;             // how parameter names compare
    const char* commentString = ";";       // null or empty: no comments
    SymbolValue symbolValue = nullptr;     // null: no symbol has a value
  };

  // Bounds the text of one expansion: a macro that passes its argument on doubled
  // would otherwise fill the memory long before the nesting bound stops it.
  static constexpr size_t kMaxExpansionLength = size_t{4} << 20;

  // The expansion text of the body: a line "label:" first when a label is given.
  // The result lives in this object until the next call. A text that would pass
  // limit (at most kMaxExpansionLength) is only the body's closing line
  // (truncated() says so), so that the expansion ends at once.
  const std::string& expand(std::string_view body, const MppExpand& expansion,
                            const char* label, const Settings& settings,
                            size_t limit = kMaxExpansionLength);

  bool truncated() const { return truncated_; }
  static const char* truncatedText();

  // The name a macro-local label takes in the expansion numbered serial.
  static void appendLocalLabel(std::string& out, std::string_view name, uint32_t serial);

 private:
  void substituteArguments(std::string_view body, const MppExpand& expansion,
                           const Settings& settings, size_t limit);
  void applyOperators(const MppExpand& expansion, const char* label, const Settings& settings);

  // Both are reused by every call, so that an expansion allocates only to grow them.
  std::string arguments_;  // the body with the argument values in place
  std::string result_;
  std::string name_;  // a name of the body, NUL-terminated for the lookups
  bool truncated_ = false;
};
