// The small records of the macro preprocessor: the block constructs (macros and
// repeat blocks), the active expansions with their arguments, the conditional
// levels and the defines. Each class draws its objects from a pool of its own;
// texts are interned and never owned by a record.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "util/MemoryPools.h"

struct LineInfo;

// Orders names as the macro maps and the local-name sets do: byte-wise while the
// options' case-sensitive flag is set, ignoring letter case otherwise; a null name
// sorts first.
struct MppNameLess {
  bool operator()(const char* a, const char* b) const;
};

// Construct kinds, the result of MppConstruct::kind.
enum MppConstructKind : int32_t {
  kMppDupKind = 1,
  kMppDupaKind = 2,
  kMppDupcKind = 3,
  kMppDupfKind = 4,
  kMppMacroKind = 5,
};

// A block whose body runs to its matching .ENDM.
class MppConstruct {
  VEKT_POOLED_CLASS(MppConstruct)

 public:
  MppConstruct() = default;
  virtual ~MppConstruct() = default;
  MppConstruct(const MppConstruct&) = delete;
  MppConstruct& operator=(const MppConstruct&) = delete;

  virtual int32_t kind() const = 0;
  bool isRepeat() const { return kind() >= kMppDupKind && kind() <= kMppDupfKind; }

  // Appends a body line, ending it with a newline when it has none.
  void appendBodyLine(const char* text, size_t length);

  std::string body;        // the collected lines, the closing .ENDM line included
  uint32_t lineCount = 0;  // lines of the body, the closing line included
  std::set<const char*, MppNameLess> localNames;  // a macro's local label names
  // The label of a repeat directive's line; handed to the first iteration only.
  const char* label = nullptr;
};

class MppDup : public MppConstruct {
  VEKT_POOLED_CLASS(MppDup)

 public:
  MppDup(const char* label, int64_t count);
  int32_t kind() const override { return kMppDupKind; }

  int64_t count;  // iterations still to run
};

class MppDupa : public MppConstruct {
  VEKT_POOLED_CLASS(MppDupa)

 public:
  MppDupa(const char* label, const char* symbol, const std::vector<const char*>& arguments);
  int32_t kind() const override { return kMppDupaKind; }

  const char* symbol;
  std::vector<const char*> arguments;  // null for an omitted item
  uint32_t nextIndex = 0;
  uint32_t argumentCount;
};

class MppDupc : public MppConstruct {
  VEKT_POOLED_CLASS(MppDupc)

 public:
  MppDupc(const char* label, const char* symbol, const char* text);
  int32_t kind() const override { return kMppDupcKind; }

  const char* symbol;
  const char* text;  // the characters between the quotes, as written; may be null
  uint32_t nextIndex = 0;
  uint32_t length;
};

class MppDupf : public MppConstruct {
  VEKT_POOLED_CLASS(MppDupf)

 public:
  MppDupf(const char* label, const char* symbol, int64_t current, int64_t end, int64_t step);
  int32_t kind() const override { return kMppDupfKind; }

  const char* symbol;
  int64_t current;
  int64_t end;
  int64_t step;
};

class MppMacro : public MppConstruct {
  VEKT_POOLED_CLASS(MppMacro)

 public:
  MppMacro(const char* name, const std::vector<const char*>& formals);
  int32_t kind() const override { return kMppMacroKind; }

  const char* name;
  std::vector<const char*> formals;  // null for an empty item
  int32_t activeExpansions = 0;
  int32_t scopeLevel = 0;  // index of the macro scope that holds it

  // The lines of the body that matter to the count of the lines a call is sure to
  // make (MacroExpansion.cpp), read once for the comment prefix, the statement
  // separator and the letter-case rule they were read with.
  struct ShapeLine {
    uint8_t kind;           // what the line is, a MacroPreprocessor::BodyLine
    const char* label;      // interned, or null
    const char* operation;  // interned, or null
  };
  std::vector<ShapeLine> shape;
  bool shapeRead = false;
  bool shapeCaseSensitive = false;
  std::string shapePrefix;
  std::string shapeSeparator;
};

// One name/value pair of an expansion: a formal and its actual argument, or a
// loop symbol and the iteration's value.
class MppMacroArgument {
  VEKT_POOLED_CLASS(MppMacroArgument)

 public:
  MppMacroArgument(const char* name, const char* value) : name(name), value(value) {}
  virtual ~MppMacroArgument() = default;

  const char* name;   // null for an empty formal
  const char* value;  // null when omitted
};

// One active expansion: a macro call or one iteration of a repeat block.
class MppExpand {
  VEKT_POOLED_CLASS(MppExpand)

 public:
  enum Kind : int32_t { kMacroCall = 1, kRepeat = 2 };

  MppExpand(Kind kind, MppConstruct* construct) : kind(kind), construct(construct) {}
  // Returns the argument records to their pool; the construct is not owned.
  virtual ~MppExpand();
  MppExpand(const MppExpand&) = delete;
  MppExpand& operator=(const MppExpand&) = delete;

  void addArgument(const char* name, const char* value);
  // The value of the first argument of that name, compared exactly when exact,
  // ignoring letter case otherwise; arguments without a name are skipped. Null
  // when none matches or its value is absent.
  const char* findArgument(const char* name, bool exact) const;
  // The first argument record of that name, or null.
  const MppMacroArgument* findArgumentRecord(const char* name, bool exact) const;

  int32_t kind;
  MppConstruct* construct;
  int32_t number = 0;            // drawn from the expansion counter
  int32_t openConditionals = 0;  // conditional blocks opened inside and still open
  std::vector<MppMacroArgument*> arguments;  // owned
  int32_t formalCount = 0;
  int32_t actualCount = 0;
  uint32_t argumentCount = 0;
  // The input sources on the stack once the expansion's text was pushed: its end
  // pops down to below that, also what was opened above it (an include).
  int32_t sourceDepth = 0;
};

// One level of conditional assembly.
class MppIfState {
  VEKT_POOLED_CLASS(MppIfState)

 public:
  MppIfState(bool active, bool taken, LineInfo* openingLine)
      : active(active), taken(taken), openingLine(openingLine) {}
  virtual ~MppIfState() = default;

  bool active;  // lines at this level are processed
  // No further branch of the block may become active: one was taken, or the block
  // lies inside an inactive region.
  bool taken;
  LineInfo* openingLine;  // the line of the .IF; the first line read for the bottom level
};

// A define: a name's replacement text.
struct MppDefine {
  VEKT_POOLED_CLASS(MppDefine)

 public:
  MppDefine(const char* value, LineInfo* line, bool fixed)
      : value(value), line(line), fixed(fixed) {}

  const char* value;  // interned; null for a define without value
  LineInfo* line;     // the .DEFINE line; null for predefined and -D defines
  bool fixed;         // can be neither replaced nor undefined
  int32_t scopeLevel = 0;
};
