// The option summary (--help) and the extended option list (--help=options):
// every visible option with its sub-options in a fixed column layout whose
// descriptions wrap so that no line passes 79 characters.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "driver/c-opt.h"

using namespace opt;

namespace {

constexpr size_t kMaxDescriptionColumn = 34;
constexpr size_t kLineEnd = 78;

bool isFlagLetter(uint32_t id) {
  return opt_record(id).type == otBOOL && opt_record(opt_record(id).parent).type == otFLAGS;
}

bool isVisible(uint32_t id) { return opt_attr(id, oaHID) == nullptr; }

bool isTopLevel(uint32_t id) {
  uint32_t parent = opt_record(id).parent;
  return parent == OPT || parent == ARG;
}

size_t shortFormWidth(uint32_t id) {
  return isFlagLetter(id) ? 3 : std::strlen(opt_record(id).shortForm);
}

void appendOptionArgument(std::string& head, uint32_t id) {
  const OptionRecord& r = opt_record(id);
  if (r.type != otSTRING && r.type != otFLAGS && r.type != otINTEGER && r.type != otOPTFILE)
    return;
  bool optional = opt_attr(id, oaOPT) != nullptr;
  if (optional) head += "[";
  const char* separator = *r.longForm ? opt_attr(id, oaSEPL) : opt_attr(id, oaSEPS);
  if (separator) head += separator;
  head += r.argText;
  const char* multiple = opt_attr(id, oaMUL);
  if (multiple && *multiple) {
    head += multiple;
    head += "...";
  }
  if (optional) head += "]";
}

// Short form (a flag letter as d/D), padded to the width, then the long form
// and the argument placeholder.
std::string formatHead(uint32_t id, size_t width) {
  const OptionRecord& r = opt_record(id);
  std::string head = r.shortForm;
  if (isFlagLetter(id)) {
    if (head.empty()) {
      head = "   ";
    } else {
      head += '/';
      head += static_cast<char>(std::toupper(static_cast<unsigned char>(r.shortForm[0])));
    }
  }
  if (head.size() < width) head.append(width - head.size(), ' ');
  head += ' ';
  if (isFlagLetter(id)) head += "+/-";
  head += r.longForm;
  appendOptionArgument(head, id);
  return head;
}

std::string description(uint32_t id) {
  const OptionRecord& r = opt_record(id);
  std::string text;
  if (r.type == otALIAS) {
    text = "alias for ";
    text += opt_name(id);
    if (*r.summary) {
      text += ' ';
      text += r.summary;
    }
  } else {
    text = r.summary;
  }
  const char* def = opt_attr(id, oaDEF);
  if (def && r.type != otBOOL) {
    text += " (default: ";
    text += def;
    text += ")";
  }
  return text;
}

// Length of the next line's piece of the description: break at a blank when the
// following word fits, else cut at the room, preferring just after a comma.
size_t pieceLength(const std::string& text, size_t room) {
  if (text.size() <= room) return text.size();
  size_t length = room;
  size_t afterComma = 0;
  bool foundBlank = false;
  for (size_t at = room; at >= 1; --at) {
    if (text[at] == ' ') {
      size_t wordEnd = text.find(' ', at + 1);
      if (wordEnd == std::string::npos) wordEnd = text.size();
      length = (wordEnd - at - 1 <= room) ? at : room;
      foundBlank = true;
      break;
    }
    if (text[at] == ',' && at < room && !afterComma) afterComma = at + 1;
  }
  if (!foundBlank) length = room;
  if (length == room && afterComma) length = afterComma;
  return length;
}

struct Columns {
  size_t topShort = 0;    // W1
  size_t childShort = 0;  // W2
  size_t description = 0; // W3
};

Columns computeColumns() {
  Columns columns;
  for (uint32_t id = 1; id < kSlotCount; ++id) {
    if (!opt_record(id).id || !isVisible(id)) continue;
    size_t width = shortFormWidth(id);
    if (isTopLevel(id))
      columns.topShort = std::max(columns.topShort, width);
    else
      columns.childShort = std::max(columns.childShort, width);
  }
  for (uint32_t id = opt_first_child(OPT); id; id = opt_next_sibling(id))
    columns.description =
        std::max(columns.description, formatHead(id, columns.topShort).size());
  columns.description = std::min(columns.description, kMaxDescriptionColumn);
  return columns;
}

void printOption(FILE* stream, uint32_t id, size_t indent, size_t lead, size_t headWidth,
                 size_t childHeadWidth, size_t column) {
  if (!isVisible(id)) return;
  std::string head = formatHead(id, headWidth);
  std::string text = description(id);
  size_t room = kLineEnd - indent - column;
  while (!head.empty() || !text.empty()) {
    std::fprintf(stream, "%*s%-*s", static_cast<int>(indent + lead), "",
                 static_cast<int>(column - lead), head.c_str());
    if (head.size() > column) {
      std::fputs("\n", stream);
      head.clear();
      continue;
    }
    head.clear();
    size_t length = pieceLength(text, room);
    std::fprintf(stream, " %.*s\n", static_cast<int>(length), text.c_str());
    text.erase(0, length);
    if (!text.empty() && text[0] == ' ') text.erase(0, 1);
  }
  bool flagLineWritten = false;
  for (uint32_t child = opt_first_child(id); child; child = opt_next_sibling(child)) {
    if (isFlagLetter(child) && !flagLineWritten) {
      std::fprintf(stream, "%*s lowercase/+ enables, uppercase/- disables:\n",
                   static_cast<int>(indent + column), "");
      flagLineWritten = true;
    }
    printOption(stream, child, indent + 2, headWidth + 1, childHeadWidth, childHeadWidth, column);
  }
}

void printArgumentNote(FILE* stream) {
  std::fputs("Long options, starting with --, may be abbreviated.  The argument separator\n"
             "character '=' is only used for long options, and should be omitted when the\n"
             "option argument is specified separately.\n",
             stream);
}

}  // namespace

void opt_print_summary(FILE* stream) {
  std::fputs("Summary of options:\n", stream);
  Columns columns = computeColumns();
  for (uint32_t top : {OPT, ARG})
    for (uint32_t id = opt_first_child(top); id; id = opt_next_sibling(id))
      printOption(stream, id, 0, 0, columns.topShort, columns.childShort, columns.description);
  std::fputs("\n", stream);
  printArgumentNote(stream);
}

void opt_print_list(FILE* stream) {
  std::fputs("\nList of options\n===============\n\n", stream);
  printArgumentNote(stream);
  std::fputs("\n", stream);
  Columns columns = computeColumns();
  for (uint32_t top : {OPT, ARG}) {
    for (uint32_t id = opt_first_child(top); id; id = opt_next_sibling(id)) {
      if (!isVisible(id)) continue;
      printOption(stream, id, 0, 0, columns.topShort, columns.childShort, columns.description);
      const char* help = opt_record(id).help;
      if (*help) std::fputs("\n", stream);
      std::fprintf(stream, "%s\n", help);
      for (uint32_t child = opt_first_child(id); child; child = opt_next_sibling(child))
        if (isVisible(child) && *opt_record(child).help)
          std::fprintf(stream, "%s\n", opt_record(child).help);
    }
  }
}
