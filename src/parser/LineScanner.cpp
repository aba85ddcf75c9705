#include "parser/LineScanner.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "util/OrbaState.h"
#include "util/StringBuffer.h"

namespace {

// Controls in code order (1 to 72), then directives (73 to 110).
const char* const kControlNames[] = {
    "$CASE",        "$CPU_TC013",   "$CPU_TC018",   "$CPU_TC021",   "$CPU_TC023",   "$CPU_TC024",
    "$CPU_TC030",   "$CPU_TC031",   "$CPU_TC033",   "$CPU_TC034",   "$CPU_TC048",   "$CPU_TC050",
    "$CPU_TC051",   "$CPU_TC060",   "$CPU_TC065",   "$CPU_TC068",   "$CPU_TC069",   "$CPU_TC070",
    "$CPU_TC071",   "$CPU_TC072",   "$CPU_TC074",   "$CPU_TC081",   "$CPU_TC082",   "$CPU_TC083",
    "$CPU_TC094",   "$CPU_TC095",   "$CPU_TC096",   "$CPU_TC104",   "$CPU_TC105",   "$CPU_TC106",
    "$CPU_TC108",   "$CPU_TC109",   "$CPU_TC116",   "$DEBUG",       "$DMU_TC001",   "$FPU",
    "$HW_ONLY",     "$IDENT",       "$LIST",        "$MMU",         "$NO_FPU",      "$OBJECT",
    "$PAGE",        "$PMI_TC003",   "$PMU_TC004",   "$PRCTL",       "$STITLE",      "$TC112_COR1",
    "$TC112_COR10", "$TC112_COR13", "$TC112_COR14", "$TC112_COR15", "$TC112_COR16", "$TC112_COR17",
    "$TC112_COR4",  "$TC112_COR6",  "$TC112_COR7",  "$TC113_CPU13", "$TC113_CPU15", "$TC113_CPU16",
    "$TC113_CPU9",  "$TC113_DMU1",  "$TC113_LFI2",  "$TC113_LFI3",  "$TC113_PMU1",  "$TC113_PMU3",
    "$TC13",        "$TC131",       "$TC16",        "$TC16X",       "$TITLE",       "$WARNING",
};
static_assert(sizeof kControlNames / sizeof kControlNames[0] == kTokControlLast);

const char* const kDirectiveNames[] = {
    ".ACCUM",  ".ALIAS", ".ALIGN",   ".ASCII",    ".ASCIIZ", ".BYTE",   ".CALLS",
    ".COMPILER_INVOCATION", ".COMPILER_NAME",     ".COMPILER_VERSION",  ".DOUBLE",
    ".END",    ".EQU",   ".EXTERN",  ".FAIL",     ".FLOAT",  ".FRACT",  ".GLOBAL",
    ".HALF",   ".LOAD",  ".LOCAL",   ".MESSAGE",  ".MISRAC", ".NAME",   ".ORG",
    ".PREVIOUS",         ".RADIX",   ".SDECL",    ".SECT",   ".SET",    ".SFRACT",
    ".SIZE",   ".SPACE", ".TYPE",    ".WARNING",  ".WEAK",   ".WORD",   ".comment_prefix",
};
static_assert(sizeof kDirectiveNames / sizeof kDirectiveNames[0] ==
              kTokDirectiveLast - kTokDirectiveFirst + 1);

const char* const kWords[] = {"AT", "GLOBAL", "LOCAL", "OFF", "ON", "RESET"};

// The instruction base names; each may have a 16-bit and a 32-bit variant, spelled
// with "16" or "32" before the last "." of the name (or at its end).
constexpr uint8_t k16 = 1;
constexpr uint8_t k32 = 2;
struct BaseMnemonic {
  const char* name;
  uint8_t variants;
};
const BaseMnemonic kBaseMnemonics[] = {
    {"abs", k32}, {"abs.b", k32}, {"abs.h", k32}, {"absdif", k32}, {"absdif.b", k32},
    {"absdif.h", k32}, {"absdifs", k32}, {"absdifs.h", k32}, {"abss", k32}, {"abss.h", k32},
    {"add", k16|k32}, {"add.a", k16|k32}, {"add.b", k32}, {"add.f", k32}, {"add.h", k32},
    {"addc", k32}, {"addi", k32}, {"addih", k32}, {"addih.a", k32}, {"adds", k16|k32},
    {"adds.h", k32}, {"adds.hu", k32}, {"adds.u", k32}, {"addsc.a", k16|k32}, {"addsc.at", k32},
    {"addx", k32}, {"and", k16|k32}, {"and.and.t", k32}, {"and.andn.t", k32}, {"and.eq", k32},
    {"and.ge", k32}, {"and.ge.u", k32}, {"and.lt", k32}, {"and.lt.u", k32}, {"and.ne", k32},
    {"and.nor.t", k32}, {"and.or.t", k32}, {"and.t", k32}, {"andn", k32}, {"andn.t", k32},
    {"bisr", k16|k32}, {"bmerge", k32}, {"bsplit", k32}, {"cachea.i", k32}, {"cachea.w", k32},
    {"cachea.wi", k32}, {"cachei.i", k32}, {"cachei.w", k32}, {"cachei.wi", k32},
    {"cadd", k16|k32}, {"caddn", k16|k32}, {"call", k16|k32}, {"calla", k32}, {"callg", k32},
    {"calli", k32}, {"clo", k32}, {"clo.h", k32}, {"cls", k32}, {"cls.h", k32}, {"clz", k32},
    {"clz.h", k32}, {"cmov", k16}, {"cmovn", k16}, {"cmp.f", k32}, {"cmpswap.w", k32},
    {"crc32", 0}, {"csub", k32}, {"csubn", k32}, {"debug", k16|k32}, {"dextr", k32},
    {"disable", k32}, {"div", k32}, {"div.f", k32}, {"div.u", k32}, {"dsync", k32}, {"dvadj", k32},
    {"dvinit", k32}, {"dvinit.b", k32}, {"dvinit.bu", k32}, {"dvinit.h", k32}, {"dvinit.hu", k32},
    {"dvinit.u", k32}, {"dvstep", k32}, {"dvstep.u", k32}, {"enable", k32}, {"eq", k16|k32},
    {"eq.a", k32}, {"eq.b", k32}, {"eq.h", k32}, {"eq.w", k32}, {"eqany.b", k32}, {"eqany.h", k32},
    {"eqz.a", k32}, {"extr", k32}, {"extr.u", k32}, {"fcall", k32}, {"fcalla", k32},
    {"fcallg", k32}, {"fcalli", k32}, {"fret", k16|k32}, {"ftoi", k32}, {"ftoiz", k32},
    {"ftoq31", k32}, {"ftoq31z", k32}, {"ftou", k32}, {"ftouz", k32}, {"ge", k32}, {"ge.a", k32},
    {"ge.u", k32}, {"imask", k32}, {"ins.t", k32}, {"insert", k32}, {"insn.t", k32},
    {"isync", k32}, {"itof", k32}, {"ixmax", k32}, {"ixmax.u", k32}, {"ixmin", k32},
    {"ixmin.u", k32}, {"j", k16|k32}, {"ja", k32}, {"jeq", k16|k32}, {"jeq.a", k32}, {"jg", k32},
    {"jge", k16|k32}, {"jge.u", k32}, {"jgez", k16}, {"jgtz", k16}, {"ji", k16|k32}, {"jl", k32},
    {"jla", k32}, {"jlez", k16}, {"jlg", k32}, {"jli", k32}, {"jlt", k16|k32}, {"jlt.u", k32},
    {"jltz", k16}, {"jne", k16|k32}, {"jne.a", k32}, {"jned", k32}, {"jnei", k32}, {"jnz", k16},
    {"jnz.a", k16|k32}, {"jnz.t", k16|k32}, {"jz", k16}, {"jz.a", k16|k32}, {"jz.t", k16|k32},
    {"ld.a", k16|k32}, {"ld.b", k32}, {"ld.bu", k16|k32}, {"ld.d", k32}, {"ld.da", k32},
    {"ld.h", k16|k32}, {"ld.hu", k32}, {"ld.q", k32}, {"ld.w", k16|k32}, {"ldlcx", k32},
    {"ldmst", k32}, {"lducx", k32}, {"lea", k32}, {"loop", k16|k32}, {"loopu", k32},
    {"lt", k16|k32}, {"lt.a", k32}, {"lt.b", k32}, {"lt.bu", k32}, {"lt.h", k32}, {"lt.hu", k32},
    {"lt.u", k32}, {"lt.w", k32}, {"lt.wu", k32}, {"madd", k32}, {"madd.f", k32}, {"madd.h", k32},
    {"madd.q", k32}, {"madd.u", k32}, {"maddm.h", k32}, {"maddms.h", k32}, {"maddr.h", k32},
    {"maddr.q", k32}, {"maddrs.h", k32}, {"maddrs.q", k32}, {"madds", k32}, {"madds.h", k32},
    {"madds.q", k32}, {"madds.u", k32}, {"maddsu.h", k32}, {"maddsum.h", k32}, {"maddsums.h", k32},
    {"maddsur.h", k32}, {"maddsurs.h", k32}, {"maddsus.h", k32}, {"max", k32}, {"max.b", k32},
    {"max.bu", k32}, {"max.h", k32}, {"max.hu", k32}, {"max.u", k32}, {"mfcr", k32}, {"min", k32},
    {"min.b", k32}, {"min.bu", k32}, {"min.h", k32}, {"min.hu", k32}, {"min.u", k32},
    {"mov", k16|k32}, {"mov.a", k16|k32}, {"mov.aa", k16|k32}, {"mov.d", k16|k32}, {"mov.u", k32},
    {"movh", k32}, {"movh.a", k32}, {"msub", k32}, {"msub.f", k32}, {"msub.h", k32},
    {"msub.q", k32}, {"msub.u", k32}, {"msubad.h", k32}, {"msubadm.h", k32}, {"msubadms.h", k32},
    {"msubadr.h", k32}, {"msubadrs.h", k32}, {"msubads.h", k32}, {"msubm.h", k32},
    {"msubms.h", k32}, {"msubr.h", k32}, {"msubr.q", k32}, {"msubrs.h", k32}, {"msubrs.q", k32},
    {"msubs", k32}, {"msubs.h", k32}, {"msubs.q", k32}, {"msubs.u", k32}, {"mtcr", k32},
    {"mul", k16|k32}, {"mul.f", k32}, {"mul.h", k32}, {"mul.q", k32}, {"mul.u", k32},
    {"mulm.h", k32}, {"mulms.h", k32}, {"mulr.h", k32}, {"mulr.q", k32}, {"muls", k32},
    {"muls.u", k32}, {"nand", k32}, {"nand.t", k32}, {"ne", k32}, {"ne.a", k32}, {"nez.a", k32},
    {"nop", k16|k32}, {"nor", k16|k32}, {"nor.t", k32}, {"not", 0}, {"or", k16|k32},
    {"or.and.t", k32}, {"or.andn.t", k32}, {"or.eq", k32}, {"or.ge", k32}, {"or.ge.u", k32},
    {"or.lt", k32}, {"or.lt.u", k32}, {"or.ne", k32}, {"or.nor.t", k32}, {"or.or.t", k32},
    {"or.t", k32}, {"orn", k32}, {"orn.t", k32}, {"pack", k32}, {"parity", k32}, {"q31tof", k32},
    {"qseed.f", k32}, {"restore", k32}, {"ret", k16|k32}, {"rfe", k16|k32}, {"rfm", k32},
    {"rot", k32}, {"rslcx", k32}, {"rstv", k32}, {"rsub", k16|k32}, {"rsubs", k32},
    {"rsubs.u", k32}, {"sat.b", k16|k32}, {"sat.bu", k16|k32}, {"sat.h", k16|k32},
    {"sat.hu", k16|k32}, {"sel", k32}, {"seln", k32}, {"sh", k16|k32}, {"sh.and.t", k32},
    {"sh.andn.t", k32}, {"sh.eq", k32}, {"sh.ge", k32}, {"sh.ge.u", k32}, {"sh.h", k32},
    {"sh.lt", k32}, {"sh.lt.u", k32}, {"sh.nand.t", k32}, {"sh.ne", k32}, {"sh.nor.t", k32},
    {"sh.or.t", k32}, {"sh.orn.t", k32}, {"sh.xnor.t", k32}, {"sh.xor.t", k32}, {"sha", k16|k32},
    {"sha.h", k32}, {"shas", k32}, {"st.a", k16|k32}, {"st.b", k16|k32}, {"st.d", k32},
    {"st.da", k32}, {"st.h", k16|k32}, {"st.q", k32}, {"st.t", k32}, {"st.w", k16|k32},
    {"stlcx", k32}, {"stucx", k32}, {"sub", k16|k32}, {"sub.a", k16|k32}, {"sub.b", k32},
    {"sub.f", k32}, {"sub.h", k32}, {"subc", k32}, {"subs", k16|k32}, {"subs.h", k32},
    {"subs.hu", k32}, {"subs.u", k32}, {"subx", k32}, {"svlcx", k32}, {"swap.w", k32},
    {"swapmsk.w", k32}, {"syscall", k32}, {"tlbdemap", k32}, {"tlbflush.a", k32},
    {"tlbflush.b", k32}, {"tlbmap", k32}, {"tlbprobe.a", k32}, {"tlbprobe.i", k32},
    {"trapsv", k32}, {"trapv", k32}, {"unpack", k32}, {"updfl", k32}, {"utof", k32}, {"wait", k32},
    {"xnor", k32}, {"xnor.t", k32}, {"xor", k16|k32}, {"xor.eq", k32}, {"xor.ge", k32},
    {"xor.ge.u", k32}, {"xor.lt", k32}, {"xor.lt.u", k32}, {"xor.ne", k32}, {"xor.t", k32},
};

// Keywords compare without regard to case: the table keeps them in upper case and a
// word is folded into a small buffer before the look-up. Nothing is allocated per
// look-up; the table is built once.
class KeywordTable {
 public:
  static constexpr uint32_t kMaxLength = 24;

  KeywordTable() {
    slots_.resize(kSlots);
    for (int32_t code = kTokDirectiveFirst; code <= kTokDirectiveLast; ++code)
      add(kDirectiveNames[code - kTokDirectiveFirst], code);
    for (size_t i = 0; i < sizeof kWords / sizeof kWords[0]; ++i)
      add(kWords[i], kTokAt + static_cast<int32_t>(i));
    for (const BaseMnemonic& base : kBaseMnemonics) {
      add(base.name, kTokMnemonic);
      if (base.variants & k16) add(variant(base.name, "16").c_str(), kTokMnemonic);
      if (base.variants & k32) add(variant(base.name, "32").c_str(), kTokMnemonic);
    }
  }

  int32_t find(const char* word, uint32_t length) const {
    if (length == 0 || length > kMaxLength) return kTokIdentifier;
    // Every statement word comes here: it is folded and hashed in one pass.
    char folded[kMaxLength] = {};
    uint32_t value = kHashSeed;
    for (uint32_t i = 0; i < length; ++i) {
      folded[i] = upper(word[i]);
      value = (value ^ static_cast<uint8_t>(folded[i])) * kHashFactor;
    }
    const uint32_t hashed = finishHash(value);
    // Most words that are no keyword (labels, names) stop at the filter, which stays in
    // the cache where the slots do not.
    if (!inFilter(hashed)) return kTokIdentifier;
    for (uint32_t slot = hashed & (kSlots - 1);; slot = (slot + 1) & (kSlots - 1)) {
      const Slot& entry = slots_[slot];
      if (entry.code == 0) return kTokIdentifier;
      // Both texts are padded with zeros: the whole of each compares at once.
      if (entry.length == length && std::memcmp(entry.text, folded, kMaxLength) == 0) return entry.code;
    }
  }

  uint32_t mnemonics() const { return mnemonicCount_; }

 private:
  static constexpr uint32_t kSlots = 2048;  // a power of two, over twice the keyword count
  // One bit for each value of the hash bits above those that choose the slot: set for
  // the keywords' values, about one in twenty.
  static constexpr uint32_t kFilterBits = 16384;
  static uint32_t filterBit(uint32_t hashed) { return (hashed >> 11) & (kFilterBits - 1); }
  bool inFilter(uint32_t hashed) const {
    const uint32_t bit = filterBit(hashed);
    return (filter_[bit / 64] >> (bit % 64)) & 1;
  }
  struct Slot {
    char text[kMaxLength] = {};
    uint32_t length = 0;
    int32_t code = 0;
  };

  static char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

  static constexpr uint32_t kHashSeed = 2166136261u;
  static constexpr uint32_t kHashFactor = 16777619u;
  static uint32_t finishHash(uint32_t value) { return value ^ (value >> 15); }
  static uint32_t hash(const char* text, uint32_t length) {
    uint32_t value = kHashSeed;
    for (uint32_t i = 0; i < length; ++i) value = (value ^ static_cast<uint8_t>(text[i])) * kHashFactor;
    return finishHash(value);
  }

  static std::string variant(const char* base, const char* width) {
    std::string name(base);
    size_t dot = name.rfind('.');
    name.insert(dot == std::string::npos ? name.size() : dot, width);
    return name;
  }

  void add(const char* text, int32_t code) {
    uint32_t length = static_cast<uint32_t>(std::strlen(text));
    char folded[kMaxLength];
    for (uint32_t i = 0; i < length; ++i) folded[i] = upper(text[i]);
    const uint32_t hashed = hash(folded, length);
    const uint32_t bit = filterBit(hashed);
    filter_[bit / 64] |= uint64_t{1} << (bit % 64);
    uint32_t slot = hashed & (kSlots - 1);
    while (slots_[slot].code != 0) {
      if (slots_[slot].length == length && std::memcmp(slots_[slot].text, folded, length) == 0) return;
      slot = (slot + 1) & (kSlots - 1);
    }
    std::memcpy(slots_[slot].text, folded, length);
    slots_[slot].length = length;
    slots_[slot].code = code;
    if (code == kTokMnemonic) ++mnemonicCount_;
  }

  std::vector<Slot> slots_;
  uint64_t filter_[kFilterBits / 64] = {};
  uint32_t mnemonicCount_ = 0;
};

const KeywordTable& keywords() {
  static const KeywordTable table;
  return table;
}

inline bool isBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool isLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool isWordChar(unsigned char c) { return isLetter(c) || isDigit(c) || c == '_' || c == '.'; }
inline bool isHexDigit(unsigned char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline bool isOctalDigit(unsigned char c) { return c >= '0' && c <= '7'; }

// The closing quote of the literal that opens at p, or null when no well-formed
// literal starts there. A quote after a complete literal is first taken as the start
// of a doubled quote; when the text after it completes no longer literal, the
// literal that ended before it stands.
const char* closingQuote(const char* p) {
  const char quote = *p++;
  const char* fallback = nullptr;
  for (;;) {
    auto c = static_cast<unsigned char>(*p);
    if (c == '\0' || c == '\n') return fallback;
    if (c == static_cast<unsigned char>(quote)) {
      if (p[1] != quote) return p;
      fallback = p;
      p += 2;
      continue;
    }
    if (c != '\\') {
      ++p;
      continue;
    }
    auto escaped = static_cast<unsigned char>(p[1]);
    if (escaped != '\0' && std::strchr("\"'?\\abfnrtv", escaped) != nullptr) {
      p += 2;
    } else if (isOctalDigit(escaped)) {
      p += 2;
      while (isOctalDigit(static_cast<unsigned char>(*p))) ++p;
    } else if ((escaped == 'x' || escaped == 'X') && isHexDigit(static_cast<unsigned char>(p[2]))) {
      p += 3;
      while (isHexDigit(static_cast<unsigned char>(*p))) ++p;
    } else {
      return fallback;
    }
  }
}

// The longest control whose name follows the "$" at p; 0 when none does.
int32_t controlAt(const char* p, const char** end) {
  int32_t best = 0;
  size_t bestLength = 0;
  for (int32_t code = kTokControlFirst; code <= kTokControlLast; ++code) {
    const char* name = kControlNames[code - 1];
    size_t length = std::strlen(name);
    if (length > bestLength && strncasecmp(p, name, length) == 0) {
      best = code;
      bestLength = length;
    }
  }
  *end = p + bestLength;
  return best;
}

}  // namespace

void Scanner::reset(const char* text, LineInfo* lineInfo, const char* prefix) {
  textStart = text ? text : "";
  cursor = textStart;
  tokenStart = nullptr;
  tokenEnd = nullptr;
  line = lineInfo;
  commentPrefix = prefix;
  blankRuns = 0;
  wordToken = false;
  peekPosition = nullptr;
  peekEnd = nullptr;
  peekCode = 0;
}

int32_t Scanner::scan() {
  if (cursor == peekPosition) {
    cursor = peekEnd;
    return peekCode;
  }
  peekPosition = nullptr;
  tokenStart = nullptr;
  tokenEnd = nullptr;
  wordToken = false;

  const char* p = cursor;
  if (isBlank(static_cast<unsigned char>(*p))) {
    do ++p;
    while (isBlank(static_cast<unsigned char>(*p)));
    ++blankRuns;
  }
  tokenStart = p;
  auto c = static_cast<unsigned char>(*p);
  switch (c) {
    case '\0':
      // Later scans keep finding the end here.
      cursor = p;
      return kTokEndOfLine;
    case '(':
      cursor = p + 1;
      return kTokOpenParen;
    case ')':
      cursor = p + 1;
      return kTokCloseParen;
    case ',':
      cursor = p + 1;
      return kTokComma;
    case ':':
      cursor = p + 1;
      return kTokColon;
    case '$': {
      const char* end = nullptr;
      int32_t code = controlAt(p, &end);
      cursor = code ? end : p + 1;
      return code ? code : kTokOther;
    }
    case '"':
    case '\'': {
      const char* close = closingQuote(p);
      if (!close) {
        cursor = p + 1;
        return kTokOther;
      }
      tokenStart = p + 1;
      tokenEnd = close;
      cursor = close + 1;
      return kTokString;
    }
    default:
      break;
  }
  if (isDigit(c)) {
    do ++p;
    while (isDigit(static_cast<unsigned char>(*p)));
    cursor = p;
    return kTokNumber;
  }
  if (isLetter(c) || c == '_' || c == '.' || c == '@') {
    do ++p;
    while (isWordChar(static_cast<unsigned char>(*p)));
    cursor = p;
    wordToken = true;
    return keywords().find(tokenStart, static_cast<uint32_t>(p - tokenStart));
  }
  cursor = p + 1;
  return kTokOther;
}

int32_t Scanner::peek() {
  if (cursor == peekPosition) return peekCode;
  const char* from = cursor;
  int32_t code = scan();
  if (code == kTokOther && commentAt(tokenStart)) code = kTokEndOfLine;
  peekCode = code;
  peekPosition = from;
  peekEnd = cursor;
  cursor = from;
  return code;
}

bool Scanner::commentAt(const char* p) const {
  if (!commentPrefix || !*commentPrefix || !p) return false;
  size_t length = std::strlen(commentPrefix);
  return std::strncmp(p, commentPrefix, length) == 0;
}

const char* Scanner::internToken() const {
  const char* from = tokenStart ? tokenStart : cursor;
  return stringBuffer()->internRange(from, tokenTextEnd());
}

int32_t scanSectionAttribute(Scanner& scanner) {
  static const struct {
    const char* name;
    int32_t code;
  } kAttributes[] = {
      {"abs18", kAttrAbs18},     {"abs24", kAttrAbs24},      {"clear", kAttrClear},
      {"cluster", kAttrCluster}, {"concat", kAttrConcat},    {"init", kAttrInit},
      {"linkonce", kAttrLinkOnce}, {"max", kAttrMax},        {"noclear", kAttrNoClear},
      {"noread", kAttrNoRead},   {"protect", kAttrProtect},  {"rom", kAttrRom},
  };
  scanner.tokenEnd = nullptr;
  const char* p = scanner.cursor;
  // A line feed is no blank here: it ends the attributes like any other character.
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; };
  if (blank(*p)) {
    do ++p;
    while (blank(*p));
    ++scanner.blankRuns;
  }
  scanner.tokenStart = p;
  if (*p == '\0') {
    scanner.cursor = p;
    return 0;
  }
  for (const auto& attribute : kAttributes) {
    size_t length = std::strlen(attribute.name);
    if (strncasecmp(p, attribute.name, length) == 0) {
      scanner.cursor = p + length;
      return attribute.code;
    }
  }
  scanner.cursor = p + 1;
  return 0;
}

const char* keywordName(int32_t code) {
  if (code >= kTokControlFirst && code <= kTokControlLast) return kControlNames[code - 1];
  if (code >= kTokDirectiveFirst && code <= kTokDirectiveLast)
    return kDirectiveNames[code - kTokDirectiveFirst];
  return nullptr;
}

int32_t lookupWord(const char* word, uint32_t length) { return keywords().find(word, length); }

uint32_t mnemonicCount() { return keywords().mnemonics(); }
