#include "preproc/MacroArguments.h"

#include <cstring>
#include <string>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

// The C library's white space, newline included.
constexpr bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool isSpaceInLine(char c) { return c != '\n' && isSpace(c); }

bool commentStarts(const char* cursor, const char* commentString) {
  return commentString && *commentString && *cursor == *commentString &&
         std::strncmp(cursor, commentString, std::strlen(commentString)) == 0;
}

}  // namespace

void splitMacroArguments(const char*& cursor, const char* commentString,
                         std::vector<const char*>& items, const LineInfo* line) {
  items.clear();
  const char* at = cursor;
  while (isSpace(*at)) ++at;
  if (*at == '\0' || commentStarts(at, commentString)) {
    cursor = at;
    return;
  }
  StringBuffer* strings = stringBuffer();
  bool lastWasQuoted = false;
  std::string quoted;  // a quoted item may drop a doubled quote, so it is copied
  // Each turn reads one item and stops or moves past its comma; the end of the text
  // ends both the item and the list.
  for (;;) {
    lastWasQuoted = *at == '"' || *at == '\'';
    if (lastWasQuoted) {
      char quote = *at++;
      quoted.clear();
      if (at[0] == quote && at[1] == quote) {
        quoted += quote;
        at += 2;
      }
      while (*at != quote && *at != '\n' && *at != '\0') quoted += *at++;
      if (*at == quote)
        ++at;
      else
        errorHandler()->report(E_unterminated_string_literal, line);
      items.push_back(strings->intern(quoted.c_str()));
    } else {
      while (isSpaceInLine(*at)) ++at;
      const char* start = at;
      while (*at != ',' && *at != '\n' && *at != '\0' && !commentStarts(at, commentString)) ++at;
      const char* stop = at;
      while (stop > start && isSpace(stop[-1])) --stop;
      items.push_back(stop > start ? strings->internRange(start, stop) : nullptr);
    }
    while (isSpaceInLine(*at)) ++at;
    if (*at != ',') break;
    ++at;
  }
  while (*at == ' ' || *at == '\t') ++at;
  if (*at != '\0' && *at != '\n' && !commentStarts(at, commentString))
    errorHandler()->report(E_no_end_of_line, line);
  cursor = at;
}
