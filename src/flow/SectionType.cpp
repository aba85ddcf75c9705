#include "flow/SectionType.h"

#include <cctype>
#include <cstddef>

#include "flow/Section.h"
#include "flow/Symbol.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace {

using Flags = Section::SectionFlags;

constexpr int32_t kAllow = SectionTypeDescriptor::kAllowAttribute;
constexpr int32_t kRange = SectionTypeDescriptor::kAddressRange;

// Each type: the whole 32-bit space, then the attributes it allows.
constexpr SectionAttributeRule kCodeRules[] = {
    {kRange, -1, -1, -1, -1},      {kAllow, 0, kAttrAbs24, 0, 0},   {kAllow, 0, kAttrCluster, 0, 0},
    {kAllow, 0, kAttrInit, 0, 0},  {kAllow, 0, kAttrLinkOnce, 0, 0}, {kAllow, 0, kAttrNoRead, 0, 0},
    {kAllow, 0, kAttrProtect, 0, 0}, {kAllow, 0, kAttrRom, 0, 0},    {0, 0, 0, 0, 0},
};
constexpr SectionAttributeRule kDataRules[] = {
    {kRange, -1, -1, -1, -1},        {kAllow, 0, kAttrAbs18, 0, 0},  {kAllow, 0, kAttrClear, 0, 0},
    {kAllow, 0, kAttrCluster, 0, 0}, {kAllow, 0, kAttrConcat, 0, 0}, {kAllow, 0, kAttrInit, 0, 0},
    {kAllow, 0, kAttrLinkOnce, 0, 0}, {kAllow, 0, kAttrMax, 0, 0},   {kAllow, 0, kAttrNoClear, 0, 0},
    {kAllow, 0, kAttrProtect, 0, 0}, {kAllow, 0, kAttrRom, 0, 0},    {0, 0, 0, 0, 0},
};
constexpr SectionAttributeRule kRomDataRules[] = {
    {kRange, -1, -1, -1, -1},        {kAllow, 0, kAttrAbs18, 0, 0},   {kAllow, 0, kAttrCluster, 0, 0},
    {kAllow, 0, kAttrConcat, 0, 0},  {kAllow, 0, kAttrLinkOnce, 0, 0}, {kAllow, 0, kAttrProtect, 0, 0},
    {kAllow, 0, kAttrRom, 0, 0},     {0, 0, 0, 0, 0},
};
constexpr SectionAttributeRule kDebugRules[] = {
    {kRange, -1, -1, -1, -1},
    {kAllow, 0, kAttrCluster, 0, 0},
    {0, 0, 0, 0, 0},
};

constexpr SectionTypeDescriptor kCodeType = {Section::kCode, Section::kCode, 0, 1, kCodeRules};
constexpr SectionTypeDescriptor kDataType = {Section::kData, Section::kData, 0, 1, kDataRules};
constexpr SectionTypeDescriptor kRomDataType = {Section::kRomData, Section::kRomData, 0, 1, kRomDataRules};
constexpr SectionTypeDescriptor kDebugType = {Section::kDebug, Section::kDebug, 0, 1, kDebugRules};

struct Word {
  const char* text;  // as diagnostics print it
  int32_t code;
};

constexpr Word kTypeWords[] = {
    {"code", Section::kCode}, {"data", Section::kData}, {"debug", Section::kDebug}, {"romdata", Section::kRomData}};

constexpr Word kAttributeWords[] = {
    {"abs18", kAttrAbs18}, {"abs24", kAttrAbs24},       {"clear", kAttrClear}, {"cluster", kAttrCluster},
    {"concat", kAttrConcat}, {"init", kAttrInit},       {"linkonce", kAttrLinkOnce}, {"max", kAttrMax},
    {"noclear", kAttrNoClear}, {"noread", kAttrNoRead}, {"protect", kAttrProtect}, {"rom", kAttrRom},
};

bool isBlankNotNewline(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Length of word when text starts with it, ignoring case; 0 otherwise.
size_t prefixLength(const char* text, const char* word) {
  size_t length = 0;
  for (; word[length]; ++length)
    if (std::tolower(static_cast<unsigned char>(text[length])) != word[length]) return 0;
  return length;
}

// The longest word of the table at text after blanks; the word need not end there.
template <size_t N>
int32_t matchWord(const char* text, const char** end, const Word (&words)[N]) {
  while (isBlankNotNewline(*text)) ++text;
  const Word* best = nullptr;
  size_t bestLength = 0;
  for (const Word& word : words) {
    size_t length = prefixLength(text, word.text);
    if (length > bestLength) {
      best = &word;
      bestLength = length;
    }
  }
  if (!best) {
    *end = *text ? text + 1 : text;
    return 0;
  }
  *end = text + bestLength;
  return best->code;
}

// Whether the name begins with the prefix, letter case aside.
bool hasPrefix(const char* name, const char* prefix) {
  for (; *prefix; ++name, ++prefix)
    if (std::tolower(static_cast<unsigned char>(*name)) != *prefix) return false;
  return true;
}

// What the attribute list asks for, once the conflicts between its words are settled.
struct Requested {
  bool clear = false, concat = false, init = false, max = false, noClear = false, protect = false, rom = false;
  bool cluster = false, linkOnce = false;
  const char* clusterName = nullptr;
  const char* linkOnceKey = nullptr;
};

enum class NameKind { kNone, kDebug, kText, kData, kRoData, kBss };

NameKind kindByName(const char* name) {
  struct Prefix {
    const char* text;
    NameKind kind;
  };
  // In this order: the first prefix the name begins with decides.
  static constexpr Prefix kPrefixes[] = {
      {".debug", NameKind::kDebug},   {".text", NameKind::kText},    {".data", NameKind::kData},
      {".rodata", NameKind::kRoData}, {".bss", NameKind::kBss},      {".zdata", NameKind::kData},
      {".zrodata", NameKind::kRoData}, {".zbss", NameKind::kBss},    {".sdata", NameKind::kData},
      {".srodata", NameKind::kRoData}, {".sbss", NameKind::kBss},    {".ldata", NameKind::kRoData},
  };
  if (!name) return NameKind::kNone;
  for (const Prefix& prefix : kPrefixes)
    if (hasPrefix(name, prefix.text)) return prefix.kind;
  return NameKind::kNone;
}

void makeCode(Flags& flags, const Requested& requested) {
  flags.set(0, Flags::kCodeBit, true);
  if (requested.init) flags.set(0, Flags::kInitialised, true);
  flags.set(0, Flags::kDataBit | Flags::kDebugBit, false);
}

void makeDebug(Section& section) {
  section.flags.set(0, Flags::kDebugBit, true);
  section.flags.set(0, Flags::kCodeBit | Flags::kDataBit, false);
  if (section.sectionSymbol) section.sectionSymbol->flags[2] &= static_cast<uint8_t>(~Symbol::kRelocatable);
}

void makeInitialisedData(Flags& flags) {
  flags.set(0, Flags::kDataBit | Flags::kInitialised, true);
  flags.set(0, Flags::kCodeBit | Flags::kDebugBit, false);
}

// Data sections by name cannot be cleared or reset; the attributes are reported and
// have no effect.
void refuseClearAndMax(const Section& section, const Requested& requested) {
  if (requested.clear) errorHandler()->report(E_section_attribute_invalid, section.line, "CLEAR", section.getName());
  if (requested.max) errorHandler()->report(E_section_attribute_invalid, section.line, "MAX", section.getName());
}

}  // namespace

bool SectionTypeDescriptor::allows(int32_t attributeCode) const {
  for (const SectionAttributeRule* rule = rules; rule && rule->kind != 0; ++rule)
    if (rule->kind == kAllowAttribute && rule->w2 == attributeCode) return true;
  return false;
}

const SectionTypeEntry kSectionTypes[4] = {
    {"code", Section::kCode, &kCodeType},
    {"data", Section::kData, &kDataType},
    {"romdata", Section::kRomData, &kRomDataType},
    {"debug", Section::kDebug, &kDebugType},
};

const SectionTypeDescriptor* sectionTypeDescriptor(int32_t typeCode) {
  for (const SectionTypeEntry& entry : kSectionTypes)
    if (entry.typeCode == typeCode) return entry.descriptor;
  return nullptr;
}

const char* sectionAttributeWord(int32_t code) {
  for (const Word& word : kAttributeWords)
    if (word.code == code) return word.text;
  return nullptr;
}

int32_t matchSectionType(const char* text, const char** end) { return matchWord(text, end, kTypeWords); }

int32_t matchSectionAttribute(const char* text, const char** end) { return matchWord(text, end, kAttributeWords); }

void applySectionType(Section& section, const SectionTypeDescriptor& descriptor) {
  section.type = descriptor.typeCode;
  section.secondType = descriptor.secondTypeCode;
  section.flags.set(0, Flags::kCodeBit | Flags::kDebugBit, false);
  section.flags.set(0, Flags::kDataBit, descriptor.kind == 0);
  section.flags.set(2, Flags::kPowerOfTwoAlignment, descriptor.isTyped != 0);
  for (const SectionAttributeRule* rule = descriptor.rules; rule && rule->kind != 0; ++rule) {
    if (rule->kind != SectionTypeDescriptor::kAddressRange) continue;
    auto join = [](int32_t high, int32_t low) {
      return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) |
                                  static_cast<uint32_t>(low));
    };
    int64_t start = rule->w1 == -1 && rule->w2 == -1 ? 0 : join(rule->w1, rule->w2);
    int64_t end = rule->w3 == -1 && rule->w4 == -1 ? int64_t{0xFFFFFFFF} : join(rule->w3, rule->w4);
    section.addressRanges.emplace_back(start, end);
  }
}

void applySectionDeclaration(Section& section, int32_t typeCode, const std::vector<SectionAttribute>& attributes,
                             const LineInfo* line, const char* shownName) {
  const SectionTypeDescriptor* descriptor = sectionTypeDescriptor(typeCode);
  if (descriptor) applySectionType(section, *descriptor);
  std::vector<SectionAttribute> kept;
  kept.reserve(attributes.size());
  for (const SectionAttribute& attribute : attributes) {
    if (descriptor && descriptor->allows(attribute.code)) {
      kept.push_back(attribute);
      continue;
    }
    const char* word = sectionAttributeWord(attribute.code);
    errorHandler()->report(E_section_attribute_invalid, line, word ? word : "", shownName ? shownName : "");
  }
  applySectionAttributes(section, kept);
}

void applySectionAttributes(Section& section, const std::vector<SectionAttribute>& attributes) {
  Flags& flags = section.flags;
  const LineInfo* at = section.line;
  Requested requested;
  for (const SectionAttribute& attribute : attributes) {
    switch (attribute.code) {
      case kAttrClear: requested.clear = true; break;
      case kAttrCluster:
        requested.cluster = true;
        requested.clusterName = attribute.text;
        break;
      case kAttrConcat: requested.concat = true; break;
      case kAttrInit: requested.init = true; break;
      case kAttrLinkOnce:
        requested.linkOnce = true;
        requested.linkOnceKey = attribute.text;
        break;
      case kAttrMax: requested.max = requested.noClear = true; break;
      case kAttrNoClear: requested.noClear = true; break;
      case kAttrNoRead: flags.set(1, Flags::kNoRead, true); break;
      case kAttrProtect: requested.protect = true; break;
      case kAttrRom: requested.rom = true; break;
      default: break;  // abs18 and abs24 change nothing here
    }
  }

  if (requested.clear) {
    if (requested.max) {
      errorHandler()->report(E_section_attribute_conflict, at, "MAX", "CLEAR");
      requested.noClear = false;
    } else if (requested.noClear) {
      errorHandler()->report(E_section_attribute_conflict, at, "NOCLEAR", "CLEAR");
      requested.noClear = false;
    }
    if (requested.rom) {
      errorHandler()->report(E_section_attribute_conflict, at, "CLEAR", "ROM");
      requested.clear = false;
    } else if (requested.init) {
      errorHandler()->report(E_section_attribute_conflict, at, "CLEAR", "INIT");
      requested.clear = false;
    }
  }

  flags.set(1, Flags::kProtect, requested.protect);
  if (requested.cluster) section.clusterName = requested.clusterName;
  if (requested.linkOnce) section.linkOnceKey = requested.linkOnceKey;
  if (requested.concat) {
    if (section.hasAddress)
      errorHandler()->report(E_section_attribute_conflict, at, "AT", "CONCAT");
    else
      flags.set(1, Flags::kConcat, true);
  }

  switch (kindByName(section.getName())) {
    case NameKind::kDebug: makeDebug(section); return;
    case NameKind::kText: makeCode(flags, requested); return;
    case NameKind::kData:
      makeInitialisedData(flags);
      if (requested.rom) flags.set(0, Flags::kReadOnly, true);
      refuseClearAndMax(section, requested);
      return;
    case NameKind::kRoData:
      makeInitialisedData(flags);
      if (!requested.init) flags.set(0, Flags::kReadOnly, true);
      refuseClearAndMax(section, requested);
      return;
    case NameKind::kBss:
      flags.set(0, Flags::kDataBit, true);
      flags.set(0, Flags::kCodeBit | Flags::kDebugBit, false);
      flags.set(0, Flags::kClearAtStartUp, !requested.noClear);
      if (requested.init) errorHandler()->report(E_section_attribute_invalid, at, "INIT", section.getName());
      if (requested.max) flags.set(1, Flags::kMax, true);
      return;
    case NameKind::kNone: break;
  }

  switch (section.type) {
    case Section::kCode: makeCode(flags, requested); break;
    case Section::kData:
      makeInitialisedData(flags);
      if (requested.rom) flags.set(0, Flags::kReadOnly, true);
      if (requested.max) flags.set(1, Flags::kMax, true);
      if (requested.noClear) flags.set(0, Flags::kClearAtStartUp, false);
      if (requested.clear) {
        flags.set(0, Flags::kClearAtStartUp, true);
        flags.set(0, Flags::kInitialised, false);
      }
      break;
    case Section::kDebug: makeDebug(section); break;
    case Section::kRomData:
      makeInitialisedData(flags);
      flags.set(0, Flags::kReadOnly, true);
      break;
    default:
      flags.set(0, Flags::kCodeBit, true);
      flags.set(0, Flags::kDataBit | Flags::kDebugBit, false);
      break;
  }
}
