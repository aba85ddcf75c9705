// The section type words and attribute words of the section directives, and the
// defaults a section takes from its type, its attributes and its name.
#pragma once

#include <cstdint>
#include <vector>

class Section;
struct LineInfo;

// One rule of a type: kind 26 allows the attribute whose code is w2; kind 27 adds the
// address range w1:w2 to w3:w4 (high:low words; -1:-1 is 0 as a start and 0xFFFFFFFF
// as an end). Kind 0 ends a type's list.
struct SectionAttributeRule {
  int32_t kind;
  int32_t w1, w2, w3, w4;
};

struct SectionTypeDescriptor {
  static constexpr int32_t kAllowAttribute = 26;
  static constexpr int32_t kAddressRange = 27;

  int32_t typeCode;
  int32_t secondTypeCode;
  uint8_t kind;     // 0 for every type: the section starts as data
  uint8_t isTyped;  // 1 for every type
  const SectionAttributeRule* rules;

  bool allows(int32_t attributeCode) const;
};

struct SectionTypeEntry {
  const char* name;
  int32_t typeCode;
  const SectionTypeDescriptor* descriptor;
};

// "code", "data", "romdata", "debug", in this order.
extern const SectionTypeEntry kSectionTypes[4];

// The descriptor of the type code; null for a code no entry has.
const SectionTypeDescriptor* sectionTypeDescriptor(int32_t typeCode);

// The attribute words of a section declaration, by code.
enum SectionAttributeCode : int32_t {
  kAttrAbs18 = 101,
  kAttrAbs24 = 102,
  kAttrClear = 103,
  kAttrCluster = 104,
  kAttrConcat = 105,
  kAttrInit = 106,
  kAttrLinkOnce = 107,
  kAttrMax = 108,
  kAttrNoClear = 109,
  kAttrNoRead = 110,
  kAttrProtect = 111,
  kAttrRom = 112,
};

// The lower-case word of an attribute code as diagnostics print it; null for a code
// that is not an attribute.
const char* sectionAttributeWord(int32_t code);

// Matches a type word (CODE, DATA, DEBUG, ROMDATA, any case) at text after blanks
// (not line feeds). On a match *end is set just after the word, which need not end
// there, and the type code is returned; otherwise 0 and *end is one byte on.
int32_t matchSectionType(const char* text, const char** end);
// The same for the twelve attribute words; 0 without a match.
int32_t matchSectionAttribute(const char* text, const char** end);

// One attribute of a declaration: its code and its text argument (the cluster name
// or the link-once key, interned) or null.
struct SectionAttribute {
  int32_t code;
  const char* text;
};

// What a declaration gives a section beyond its name: its type (the descriptor of a
// type code; with none nothing is applied and every attribute is refused), then the
// attributes the type allows. Refused attributes draw E704 at line, naming the
// section as shownName; the conflicts and the defaults by name and type draw theirs
// at the section's own line.
void applySectionDeclaration(Section& section, int32_t typeCode, const std::vector<SectionAttribute>& attributes,
                             const LineInfo* line, const char* shownName);

// The type's defaults: type code and second type word, data kind, the typed flag,
// its address ranges.
void applySectionType(Section& section, const SectionTypeDescriptor& descriptor);

// The flags the attributes, the name and the type give the section; a section made on
// demand gets it with no attributes.
void applySectionAttributes(Section& section, const std::vector<SectionAttribute>& attributes);
