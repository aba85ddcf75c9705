#include "driver/DiagOutput.h"

#include <cstring>
#include <strings.h>

#include "util/MessageCatalog.h"

namespace {

enum class Format { text, html, rtf };

constexpr size_t kTextLineLength = 78;
constexpr size_t kMaxItemInError = 39;

struct Renderer {
  Format format = Format::text;
  std::string out;
  bool renderedOne = false;
  bool paragraphOpen = false;
  std::string word;
  size_t column = 0;

  void flushWord() {
    if (word.empty()) return;
    if (column == 0) {
      out += word;
      column = word.size();
    } else if (column + 1 + word.size() <= kTextLineLength) {
      out += ' ';
      out += word;
      column += 1 + word.size();
    } else {
      out += '\n';
      out += word;
      column = word.size();
    }
    word.clear();
  }

  void openParagraph() {
    paragraphOpen = true;
    if (format == Format::text) out += '\n';
    if (format == Format::html) out += "<p>";
    if (format == Format::rtf) out += "\\par \\par {";
  }

  void closeParagraph() {
    if (format == Format::text) flushWord();
    if (paragraphOpen) {
      if (format == Format::text) out += '\n';
      if (format == Format::html) out += "</p>\n";
      if (format == Format::rtf) out += "}\n";
      paragraphOpen = false;
    }
    column = 0;
  }

  void escaped(char c) {
    if (format == Format::html) {
      switch (c) {
        case '<': out += "&lt;"; return;
        case '>': out += "&gt;"; return;
        case '&': out += "&amp;"; return;
        case '"': out += "&quot;"; return;
        default: out += c; return;
      }
    }
    if (format == Format::rtf && (c == '\\' || c == '{' || c == '}')) out += '\\';
    out += c;
  }

  void preformatted(char c, bool& lineOpen) {
    if (format == Format::text) {
      out += c;
      return;
    }
    if (format == Format::html) {
      escaped(c);
      return;
    }
    if (!lineOpen) {
      out += "\\par {  ";
      lineOpen = true;
    }
    if (c == '\n') {
      out += '}';
      lineOpen = false;
    } else if (c == '\t') {
      out += "\\tab ";
    } else {
      escaped(c);
    }
  }

  void render(const char* explanation) {
    if (renderedOne) {
      if (format == Format::text) out += "\n\n";
      if (format == Format::rtf) out += "\n\\par\\par{}\n";
    }
    renderedOne = true;
    if (format == Format::html) out += "\n<div class=diag>\n";

    bool inTitle = true;
    bool titleCodeClosed = false;
    bool codeSeen = false;
    bool preformattedMode = false;
    bool preLineOpen = false;
    bool lastWasBlank = false;
    for (const char* p = explanation; *p; ++p) {
      char c = *p;
      if (preformattedMode) {
        if (c == '\x02') {
          preformattedMode = false;
          if (format == Format::text) {
            word.clear();
            column = 0;
          }
          if (format == Format::html) out += "</pre>\n";
          if (format == Format::rtf) out += "\\f0 \n";
        } else {
          preformatted(c, preLineOpen);
        }
        continue;
      }
      bool blank = c == ' ' || c == '\t';
      if (c == '\n' || c == '\x01') {
        closeParagraph();
      } else if (!blank && !inTitle && !paragraphOpen) {
        openParagraph();
      }
      if (!blank) lastWasBlank = false;
      switch (c) {
        case '\x03':
          if (format == Format::html) out += inTitle && !codeSeen ? "<h4><code>" : "<code>";
          if (format == Format::rtf) out += "\\f1 ";
          codeSeen = true;
          break;
        case '\x04': {
          bool closesTitle = inTitle && !titleCodeClosed;
          if (format == Format::html) out += closesTitle ? "</code></h4>\n" : "</code>";
          if (format == Format::rtf) out += closesTitle ? "\\f0 \n" : "\\f0 ";
          if (inTitle) titleCodeClosed = true;
          break;
        }
        case '\x10':
          if (format == Format::text) word += '<';
          if (format == Format::html) out += "<i>";
          if (format == Format::rtf) out += "\\i ";
          break;
        case '\x11':
          if (format == Format::text) word += '>';
          if (format == Format::html) out += "</i>";
          if (format == Format::rtf) out += "\\i0 ";
          break;
        case '\x05':
          if (format == Format::html) out += "<i>";
          if (format == Format::rtf) out += "\\i ";
          break;
        case '\x06':
          if (format == Format::html) out += "</i>";
          if (format == Format::rtf) out += "\\i0 ";
          break;
        case '\x0E':
          if (format == Format::html) out += "<b>";
          if (format == Format::rtf) out += "\\b ";
          break;
        case '\x0F':
          if (format == Format::html) out += "</b>";
          if (format == Format::rtf) out += "\\b0 ";
          break;
        case '\x12':
          if (format == Format::text)
            word += '@';
          else
            out += '@';
          break;
        case '\x01':
          if (format == Format::text) out += '\n';
          if (format == Format::html) out += "<pre>\n";
          if (format == Format::rtf) out += "\\par \\f1\n";
          preformattedMode = true;
          preLineOpen = false;
          break;
        case '\n':
          if (inTitle && titleCodeClosed) {
            if (format == Format::text) out += '\n';
            inTitle = false;
          }
          break;
        case ' ':
        case '\t':
          if (lastWasBlank) break;
          lastWasBlank = true;
          if (format == Format::text)
            flushWord();
          else
            out += ' ';
          break;
        default:
          if (format == Format::text)
            word += c;
          else
            escaped(c);
          break;
      }
    }
    closeParagraph();
    if (format == Format::html) out += "</div>\n";
  }
};

bool allDigits(const std::string& item) {
  if (item.empty()) return false;
  for (char c : item)
    if (c < '0' || c > '9') return false;
  return true;
}

uint32_t clampedNumber(const std::string& digits) {
  uint32_t value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 999) return 999;
  }
  return value;
}

// The number of the enabled message whose code ("E208") the item names.
bool numberOfCode(const std::string& item, uint32_t* number) {
  for (int32_t id = 1; id <= messages::count(); ++id) {
    const MessageRecord& record = messages::record(id);
    if (!record.enabled || !record.explanation) continue;
    const char* title = record.explanation;
    if (*title == '\x03') ++title;
    const char* colon = std::strchr(title, ':');
    if (!colon || static_cast<size_t>(colon - title) != item.size()) continue;
    if (strncasecmp(title, item.c_str(), item.size()) == 0) {
      *number = record.number;
      return true;
    }
  }
  return false;
}

bool boundNumber(const std::string& bound, uint32_t fallback, uint32_t* number) {
  if (bound.empty()) {
    *number = fallback;
    return true;
  }
  if (allDigits(bound)) {
    *number = clampedNumber(bound);
    return true;
  }
  return numberOfCode(bound, number);
}

bool selectItem(const std::string& item, DiagCallback callback, void* context,
                std::string* unknownItem) {
  if (item.empty()) return true;
  size_t dash = item.find('-');
  if (dash == std::string::npos) {
    uint32_t number = 0;
    bool known = allDigits(item) ? (number = clampedNumber(item), true) : numberOfCode(item, &number);
    int32_t id = known ? messages::indexOfNumber(number) : 0;
    if (!id) {
      *unknownItem = item;
      return false;
    }
    callback(id, context);
    return true;
  }
  std::string low = item.substr(0, dash);
  std::string high = item.substr(dash + 1);
  uint32_t from = 0, to = 0;
  if (!boundNumber(low, 0, &from)) {
    *unknownItem = low;
    return false;
  }
  if (!boundNumber(high, 999, &to)) {
    *unknownItem = high;
    return false;
  }
  for (uint32_t number = from; number <= to; ++number)
    if (int32_t id = messages::indexOfNumber(number)) callback(id, context);
  return true;
}

void renderMessage(int32_t id, void* context) {
  const char* explanation = messages::explanation(id);
  if (explanation) static_cast<Renderer*>(context)->render(explanation);
}

}  // namespace

bool diag_select(const std::string& list, DiagCallback callback, void* context,
                 std::string* unknownItem) {
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                    : comma - start);
    if (!selectItem(item, callback, context, unknownItem)) return false;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

std::string diag_describe(const char* argument, std::string* errorText) {
  errorText->clear();
  Renderer renderer;
  std::string list = argument ? argument : "";
  size_t colon = list.find(':');
  if (colon != std::string::npos) {
    std::string name = list.substr(0, colon);
    static const struct {
      const char* name;
      Format format;
    } kFormats[] = {{"text", Format::text}, {"html", Format::html}, {"rtf", Format::rtf}};
    bool found = false;
    for (const auto& candidate : kFormats) {
      if (name.size() <= std::strlen(candidate.name) &&
          strncasecmp(name.c_str(), candidate.name, name.size()) == 0) {
        renderer.format = candidate.format;
        found = true;
        break;
      }
    }
    if (!found) {
      *errorText = "unsupported output format";
      return std::string();
    }
    list = list.substr(colon + 1);
  }

  if (renderer.format == Format::html)
    renderer.out +=
        "<html>\n<head>\n<style>\n<!--\n"
        ".diag { background: #ddd; border: solid thin black; margin: 6px; padding: 6px; }\n"
        "body  { background: #aaa; margin: 0px; }\n"
        "code  { color: #00f; }\n"
        "i     { color: #f00; }\n"
        "pre   { color: #080; margin-left: 1em; }\n"
        "-->\n</style>\n</head>\n<body>\n";
  if (renderer.format == Format::rtf)
    renderer.out +=
        "{\\rtf1\\ansi\\deff0\n{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}\n"
        "{\\pard \\fs20\n";

  if (strcasecmp(list.c_str(), "all") == 0) list = "0-999";
  std::string unknownItem;
  if (!diag_select(list, renderMessage, &renderer, &unknownItem)) {
    *errorText = "unknown diagnostic: \"" + unknownItem.substr(0, kMaxItemInError) + "\"";
  }

  if (renderer.format == Format::html) renderer.out += "\n</body>\n</html>\n";
  if (renderer.format == Format::rtf) renderer.out += "}}\n";
  return renderer.out;
}
