#include "driver/c-opt.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "util/InputGate.h"
#include "util/OutputFile.h"
#include "util/assertion.h"
#include "util/RunState.h"

using namespace opt;

namespace {

// The type an alias has while its own expansion is parsed, so that it cannot
// match itself.
constexpr uint32_t kAliasExpanding = 7;

// A file that names itself would otherwise be read until the stack runs out.
constexpr int kMaxOptionFileDepth = 16;
// Option files are a few lines of words; the bound keeps an endless standard input
// from taking the memory.
constexpr size_t kMaxOptionFileSize = size_t{16} << 20;

constexpr char kFlagWords[] = "OPT HID ABB MUL DEF SEPSSEPLNOCCNOCLNOCSFUNC";

}  // namespace

// The parse of the command line and option files, kept for the opt_get queries.
namespace opt {

struct Slot {
  const OptionRecord* record = nullptr;
  uint32_t type = 0;
  const char* attr[oaCount] = {};
  uint32_t firstChild = 0;
  uint32_t lastChild = 0;
  uint32_t nextSibling = 0;
  uint32_t count = 0;
  intptr_t value = 0;
  // MUL records only; entries at and beyond count are stale.
  std::vector<intptr_t> values;
};

const OptionRecord kEmptyRecord = {0, 0, "", "", "", "", otSTRING, "", "", ""};

struct ParseState {
  Slot slots[kSlotCount];
  std::vector<const char*> saved;
  uint32_t savedCount = 0;
  uint32_t pending = 0;
  int aliasDepth = 0;
  int fileDepth = 0;
  const char* error = nullptr;
};

}  // namespace opt

opt::ParseState& optionParseState() { return runPart<opt::ParseState>(); }

namespace {

// Whether a failed check throws (for callers that recover) instead of ending the program.
struct AssertMode {
  bool assertThrows = false;
};

// One copy per distinct text; node-based, so the copies never move.
struct RunStringPool {
  std::unordered_set<std::string> pool;
};
std::unordered_set<std::string>& stringPool() { return runPart<RunStringPool>().pool; }

const char* intern(std::string_view text) {
  return stringPool().emplace(text).first->c_str();
}

void optCheck(bool condition, const char* expression, int line) {
  if (condition) return;
  if (runPart<AssertMode>().assertThrows) throw optAssertException{"c-opt.c", line};
  vektAssertFailed(expression, "c-opt.c", line, "c-opt");
}

Slot& slot(uint32_t id) {
  VEKT_ASSERT(id < kSlotCount);
  return optionParseState().slots[id];
}

const OptionRecord& record(uint32_t id) {
  const OptionRecord* r = slot(id).record;
  return r ? *r : kEmptyRecord;
}

bool has(uint32_t id, OptionAttribute attribute) { return slot(id).attr[attribute] != nullptr; }

bool takesArgument(uint32_t type) {
  return type == otSTRING || type == otFLAGS || type == otINTEGER || type == otOPTFILE;
}

void opt_error(std::initializer_list<std::string_view> pieces) {
  if (optionParseState().error) return;
  std::string text;
  for (std::string_view piece : pieces) text += piece;
  optionParseState().error = intern(text);
}

// Reads the flag string of a record into its attributes.
void prepareFlags(Slot& s) {
  const char* p = s.record->flags;
  while (*p) {
    if (*p == ',') {
      ++p;
      continue;
    }
    size_t length = 0;
    while (length < 4 && p[length]) ++length;
    if (length == 4 && !std::isalpha(static_cast<unsigned char>(p[3]))) length = 3;
    int index = -1;
    for (int i = 0; i < static_cast<int>(oaCount); ++i) {
      const char* word = kFlagWords + 4 * i;
      size_t wordLength = word[3] == ' ' ? 3 : 4;
      if (wordLength == length && std::strncmp(word, p, length) == 0) index = i;
    }
    optCheck(index >= 0, "p", 246);
    p += length;
    if (*p == '(') {
      const char* close = std::strchr(p, ')');
      optCheck(close != nullptr, "p", 246);
      s.attr[index] = intern(std::string_view(p + 1, close - p - 1));
      p = close + 1;
    } else {
      s.attr[index] = intern("");
    }
  }
}

void prepare() {
  for (Slot& s : optionParseState().slots) s = Slot();
  optionParseState().slots[0].record = &kEmptyRecord;
  for (uint32_t i = 0; i < kOptionRecordCount; ++i) {
    const OptionRecord& r = kOptionRecords[i];
    VEKT_ASSERT(r.id > 0 && r.id < kSlotCount && !optionParseState().slots[r.id].record);
    optionParseState().slots[r.id].record = &r;
  }
  for (uint32_t id = 1; id < kSlotCount; ++id) {
    Slot& s = optionParseState().slots[id];
    if (!s.record) continue;
    s.type = s.record->type;
    prepareFlags(s);
    uint32_t parent = s.record->parent;
    if (parent != ERR && parent != ARG && parent != INT && !s.attr[oaABB])
      s.attr[oaABB] = intern(s.attr[oaHID] ? "00" : "01");
    if (!s.attr[oaSEPS]) s.attr[oaSEPS] = intern("");
    if (!s.attr[oaSEPL]) s.attr[oaSEPL] = intern("=");
    Slot& p = optionParseState().slots[parent];
    if (p.lastChild)
      optionParseState().slots[p.lastChild].nextSibling = id;
    else
      p.firstChild = id;
    p.lastChild = id;
  }
}

// Exclusive siblings: under a single-valued parent, storing one child clears the others.
void clearSiblings(uint32_t id) {
  uint32_t parent = record(id).parent;
  if (has(parent, oaMUL)) return;
  for (uint32_t c = slot(parent).firstChild; c; c = slot(c).nextSibling) {
    uint32_t type = slot(c).type;
    if (type == otBOOL || type == otSTRING || type == otFLAGS || type == otINTEGER)
      slot(c).value = 0;
  }
}

void storeValue(uint32_t id, intptr_t value, bool keepInValues) {
  Slot& s = slot(id);
  if (keepInValues && s.attr[oaMUL]) {
    if (s.values.size() <= s.count) s.values.resize(s.count + 1);
    s.values[s.count] = value;
  }
  ++s.count;
  s.value = value;
}

bool boolFromText(const char* text) {
  if (*text == 'F' || *text == 'f') return false;
  if (*text == 'T' || *text == 't') return true;
  return std::strtoul(text, nullptr, 0) != 0;
}

bool opt_match(uint32_t parent, const char* text, int mode);
void handleArgument(uint32_t id, const char* argument);

void opt_parseValue(uint32_t id, const char* text) {
  Slot& s = slot(id);
  switch (s.type) {
    case otSTRING:
    case otFLAGS:
      if (s.firstChild && (*text || !s.attr[oaOPT])) {
        if (!opt_match(id, text, 0))
          opt_error({"option \"", opt_name(id), "\": invalid sub-option \"", text, "\""});
      } else {
        opt_setString(id, text);
      }
      break;
    case otINTEGER: {
      if (!*text) {
        opt_setInt(id, -1);
        break;
      }
      // The option's range is checked here, so that an oversized or negative
      // count is reported instead of wrapping around.
      errno = 0;
      char* end = nullptr;
      long long number = std::strtoll(text, &end, 0);
      if (end == text || *end || errno == ERANGE || number > INT32_MAX ||
          number < optionIntegerMinimum(id)) {
        opt_error({"option \"", opt_name(id), "\": invalid number \"", text, "\""});
        break;
      }
      opt_setInt(id, static_cast<int32_t>(number));
      break;
    }
    case otOPTFILE: {
      opt_setString(id, text);
      opt_readOptionFile(text);
      break;
    }
    default:
      break;
  }
}

// An argument of a MUL(sep) option may hold several values; flag arguments are
// further cut into single letters and +/- words.
void handleArgument(uint32_t id, const char* argument) {
  Slot& s = slot(id);
  const char* separator = s.attr[oaMUL];
  if (!separator || !*separator) {
    opt_parseValue(id, argument);
    return;
  }
  std::string_view rest(argument);
  size_t separatorLength = std::strlen(separator);
  while (true) {
    size_t cut = rest.find(separator);
    std::string piece(rest.substr(0, cut));
    if (s.type == otFLAGS && piece.size() > 1) {
      size_t at = 0;
      while (at < piece.size()) {
        size_t length = (piece[at] == '+' || piece[at] == '-') ? piece.size() - at : 1;
        opt_parseValue(id, piece.substr(at, length).c_str());
        at += length;
      }
    } else {
      opt_parseValue(id, piece.c_str());
    }
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + separatorLength);
  }
}

void act(uint32_t parent, uint32_t id, const char* text, const char* rest, const char* separator) {
  Slot& s = slot(id);
  if (!(optionParseState().aliasDepth > 0 && parent == OPT)) opt_setString(parent, text);
  switch (s.type) {
    case otBOOL: {
      int value = 1;
      if (slot(parent).type == otFLAGS &&
          (std::isupper(static_cast<unsigned char>(text[0])) || text[0] == '-'))
        value = 0;
      opt_setBool(id, value);
      break;
    }
    case otOPTFILE:
      if (optionParseState().savedCount > 0) --optionParseState().savedCount;
      [[fallthrough]];
    case otSTRING:
    case otFLAGS:
    case otINTEGER:
      if (!*rest && !s.attr[oaOPT])
        optionParseState().pending = id;
      else
        handleArgument(id, *rest ? rest + std::strlen(separator) : rest);
      break;
    case otALIAS: {
      ++optionParseState().aliasDepth;
      uint32_t savedMark = optionParseState().savedCount;
      s.type = kAliasExpanding;
      opt_parseArg(opt_name(id));
      s.type = otALIAS;
      --optionParseState().aliasDepth;
      optionParseState().savedCount = savedMark;
      break;
    }
    default:
      break;
  }
}

// Scores every form of every child; exact names beat abbreviations, and equal
// best scores are ambiguous (the later record is taken).
bool opt_match(uint32_t parent, const char* text, int mode) {
  int best = -1, second = -1, third = -1;
  const char* bestForm = nullptr;
  const char* secondForm = nullptr;
  uint32_t bestId = 0;
  const char* bestRest = nullptr;
  const char* bestSeparator = nullptr;
  bool underFlags = slot(parent).type == otFLAGS;
  char letter[2] = {0, 0};

  for (uint32_t id = slot(parent).firstChild; id; id = slot(id).nextSibling) {
    const Slot& c = slot(id);
    for (int formIndex = 1; formIndex >= 0; --formIndex) {
      const char* form = formIndex ? c.record->longForm : c.record->shortForm;
      const char* separator = formIndex ? c.attr[oaSEPL] : c.attr[oaSEPS];
      const char* compared = text;
      if (underFlags && c.type == otBOOL) {
        if (formIndex == 1) {
          if (text[0] != '+' && text[0] != '-') continue;
          compared = text + 1;
        } else {
          if (!std::isalpha(static_cast<unsigned char>(text[0]))) continue;
          letter[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
          compared = letter;
        }
      }
      if (!*form || c.type == kAliasExpanding) continue;
      const char* abbreviation = c.attr[oaABB];
      bool abbreviable = abbreviation && std::strlen(abbreviation) > static_cast<size_t>(formIndex) &&
                         abbreviation[formIndex] == '1';
      if (mode == 1 && (abbreviable || c.type != otBOOL)) continue;

      size_t formLength = std::strlen(form);
      size_t common = 0;
      bool notOnlyDashes = false;
      while (compared[common] && compared[common] == form[common]) {
        if (compared[common] != '-') notOnlyDashes = true;
        ++common;
      }
      size_t matched;
      int score;
      if (abbreviable && notOnlyDashes && common < formLength) {
        matched = common;
        score = static_cast<int>(4 * common);
      } else {
        matched = formLength;
        score = static_cast<int>(4 * formLength + 2);
      }
      if (!c.attr[oaOPT]) ++score;
      if (score < best) continue;
      if (std::strncmp(compared, form, matched) != 0) continue;
      const char* rest = compared + matched;
      bool argumentFollows =
          (takesArgument(c.type) || (c.type == otALIAS && c.attr[oaOPT])) &&
          std::strncmp(rest, separator, std::strlen(separator)) == 0;
      if (*rest && !argumentFollows) continue;
      third = second;
      second = best;
      secondForm = bestForm;
      best = score;
      bestForm = form;
      bestId = id;
      bestRest = rest;
      bestSeparator = separator;
    }
  }
  if (!bestId) return false;
  if (best == second)
    opt_error({"argument \"", text, "\" is ambiguous (\"", bestForm, "\", \"", secondForm, "\"",
               third == best ? ", ..." : "", ")"});
  // The rest points into the letter buffer for a flag letter; it is empty then.
  act(parent, bestId, text, bestRest, bestSeparator);
  return true;
}

// opt_match plus grouped one-letter booleans: -ck is -c and -k. Walks the word
// instead of recursing, so that a long group cannot exhaust the stack.
bool opt_matchGrouped(uint32_t parent, const char* word) {
  if (opt_match(parent, word, 0)) return true;
  std::string text(word);
  size_t start = 0;
  bool first = true;
  while (true) {
    if (!first && opt_match(parent, text.c_str() + start, 0)) return true;
    const char* current = text.c_str() + start;
    bool groupable = current[0] == '-' && current[1] && current[1] != '-' && current[2];
    char head[3] = {'-', groupable ? current[1] : '\0', '\0'};
    if (!groupable || !opt_match(parent, head, 1)) {
      if (first) return false;
      opt_setString(ERR, current);
      return true;
    }
    first = false;
    start += 1;
    text[start] = '-';
  }
}

void readWords(const std::string& text) {
  std::string word;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      if (!quote)
        while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
      continue;
    }
    if (quote) {
      if (c == quote)
        quote = 0;
      else
        word += c;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      if (!word.empty()) opt_parseArg(word.c_str());
      word.clear();
      continue;
    }
    word += c;
  }
  if (quote) {
    opt_error({"missing quote in option string"});
    return;
  }
  if (!word.empty()) opt_parseArg(word.c_str());
}

}  // namespace

void opt_readOptionFile(const char* name) {
  if (optionParseState().fileDepth >= kMaxOptionFileDepth) {
    opt_error({"option files nested too deeply at \"", name, "\""});
    return;
  }
  bool fromStdin = std::strcmp(name, "-") == 0;
  FILE* file = fromStdin ? stdin : inputPathAllowed(name) ? std::fopen(name, "rb") : nullptr;
  if (!file) {
    opt_error({"cannot open option file \"", name, "\""});
    return;
  }
  // A directory or device would read as nothing or as no end.
  struct stat status;
  if (!fromStdin && (::fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode))) {
    std::fclose(file);
    opt_error({"option file \"", name, "\" is not a regular file"});
    return;
  }
  guardInputFile(fileno(file));
  std::string text;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (text.size() + got > kMaxOptionFileSize) {
      if (!fromStdin) std::fclose(file);
      opt_error({"option file \"", name, "\" longer than ", std::to_string(kMaxOptionFileSize),
                 " bytes"});
      return;
    }
    text.append(chunk, got);
  }
  bool failed = std::ferror(file) != 0;
  if (!fromStdin) std::fclose(file);
  if (failed) {
    opt_error({"cannot read option file \"", name, "\""});
    return;
  }

  // A zero byte ends the text; a carriage return before a line end belongs to
  // the line end, as when the file was written on another system.
  text.resize(std::strlen(text.c_str()));
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];

  ++optionParseState().fileDepth;
  readWords(lines);
  --optionParseState().fileDepth;
}

void opt_parseArg(const char* word) {
  if (word) {
    if (optionParseState().saved.size() <= optionParseState().savedCount) optionParseState().saved.resize(optionParseState().savedCount + 1);
    optionParseState().saved[optionParseState().savedCount++] = intern(word);
  }
  if (optionParseState().pending) {
    uint32_t id = optionParseState().pending;
    optionParseState().pending = 0;
    if (!word) {
      opt_error({"option \"", opt_name(id), "\": argument required"});
      return;
    }
    if (slot(id).type == otOPTFILE && optionParseState().savedCount > 0) --optionParseState().savedCount;
    opt_setString(record(id).parent, word);
    handleArgument(id, word);
    return;
  }
  if (!word) return;
  // A lone "-" is the standard input as the input file, not an unknown option.
  if (word[0] == '-' && word[1] == '\0') {
    opt_setString(ARG, word);
    return;
  }
  if (opt_match(ARG, word, 0)) return;
  if (opt_matchGrouped(OPT, word)) return;
  if (opt_match(ERR, word, 0)) return;
  opt_setString(ARG, word);
}

namespace {

// A DEF text is parsed like a command-line argument of the record; the counts it
// leaves are reset, so that only what the user gave counts.
void opt_applyDefaults(uint32_t id) {
  Slot& s = slot(id);
  const char* def = s.attr[oaDEF];
  if (def) {
    switch (s.type) {
      case otSTRING:
      case otFLAGS:
        s.value = reinterpret_cast<intptr_t>(def);
        if (s.firstChild) {
          handleArgument(id, def);
          s.count = 0;
        }
        break;
      case otBOOL:
        s.value = boolFromText(def) ? 1 : 0;
        break;
      case otINTEGER:
        s.value = static_cast<int32_t>(std::strtoul(def, nullptr, 0));
        break;
      default:
        break;
    }
  }
  for (uint32_t c = s.firstChild; c; c = slot(c).nextSibling) {
    opt_applyDefaults(c);
    slot(c).count = 0;
  }
}

}  // namespace

const char* opt_parse(int argc, char** argv) {
  opt_release();
  prepare();
  opt_applyDefaults(OPT);
  opt_applyDefaults(INT);
  for (Slot& s : optionParseState().slots) s.count = 0;
  for (int i = 1; i < argc; ++i) opt_parseArg(argv[i]);
  opt_parseArg(nullptr);
  return optionParseState().error;
}

void opt_release() {
  for (Slot& s : optionParseState().slots) {
    s.count = 0;
    s.value = 0;
    s.values.clear();
    s.values.shrink_to_fit();
  }
  optionParseState().saved.clear();
  optionParseState().saved.shrink_to_fit();
  optionParseState().savedCount = 0;
  optionParseState().pending = 0;
  optionParseState().aliasDepth = 0;
  optionParseState().fileDepth = 0;
  optionParseState().error = nullptr;
  stringPool().clear();
}

void installOptAssertHandler(bool throwing) { runPart<AssertMode>().assertThrows = throwing; }

const char* opt_error_text() { return optionParseState().error; }

uint32_t opt_count(uint32_t id) { return slot(id).count; }

intptr_t opt_get_value(uint32_t id) { return slot(id).value; }

const char* opt_get_string(uint32_t id) {
  return reinterpret_cast<const char*>(slot(id).value);
}

bool opt_get_bool(uint32_t id) {
  optCheck(slot(id).type == otBOOL, "option[o].type == otBOOL", 1452);
  return slot(id).value != 0;
}

const char* opt_get_string_at(uint32_t id, uint32_t index) {
  optCheck(has(id, oaMUL), "option[o].attr[oaMUL]", 1475);
  optCheck(index < slot(id).count, "index < (uint_t) option[o].count", 1476);
  return reinterpret_cast<const char*>(slot(id).values[index]);
}

int32_t opt_get_int_at(uint32_t id, uint32_t index) {
  optCheck(has(id, oaMUL), "option[o].attr[oaMUL]", 1550);
  optCheck(index < slot(id).count, "index < (uint_t) option[o].count", 1551);
  return static_cast<int32_t>(slot(id).values[index]);
}

const char* opt_get_arg(uint32_t index) {
  optCheck(index < slot(ARG).count, "index < (uint_t) option[ARG].count", 1433);
  return reinterpret_cast<const char*>(slot(ARG).values[index]);
}

uint32_t opt_saved_argc() { return optionParseState().savedCount; }

const char* opt_saved_arg(uint32_t index) {
  optCheck(index < optionParseState().savedCount, "index < (uint_t) saved_argc", 1684);
  return optionParseState().saved[index];
}

const char* opt_name(uint32_t id) {
  std::string name;
  std::vector<uint32_t> chain;
  for (uint32_t r = id; r; r = record(r).parent) chain.push_back(r);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const OptionRecord& r = record(*it);
    const Slot& s = slot(*it);
    if (r.type == otALIAS) {
      name += r.argText;
    } else if (*r.shortForm) {
      name += r.shortForm;
      if (r.type != otBOOL && s.attr[oaSEPS]) name += s.attr[oaSEPS];
    } else if (*r.longForm) {
      name += r.longForm;
      if (r.type != otBOOL && s.attr[oaSEPL]) name += s.attr[oaSEPL];
    }
  }
  return intern(name);
}

void opt_setBool(uint32_t id, int value) {
  optCheck(slot(id).type == otBOOL, "op->type == otBOOL", 1715);
  clearSiblings(id);
  storeValue(id, value ? 1 : 0, false);
}

void opt_setInt(uint32_t id, int32_t value) {
  optCheck(slot(id).type == otINTEGER, "op->type == otINTEGER", 1793);
  clearSiblings(id);
  storeValue(id, value, true);
}

void opt_setString(uint32_t id, const char* text) {
  uint32_t type = slot(id).type;
  optCheck(type == otSTRING || type == otFLAGS || type == otOPTFILE,
           "op->type == otSTRING || op->type == otFLAGS || op->type == otOPTFILE", 1750);
  clearSiblings(id);
  storeValue(id, text ? reinterpret_cast<intptr_t>(intern(text)) : 0, true);
}

const OptionRecord& opt_record(uint32_t id) { return record(id); }

const char* opt_attr(uint32_t id, OptionAttribute attribute) { return slot(id).attr[attribute]; }

uint32_t opt_first_child(uint32_t id) { return slot(id).firstChild; }

uint32_t opt_next_sibling(uint32_t id) { return slot(id).nextSibling; }
