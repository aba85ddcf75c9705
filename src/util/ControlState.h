// The assembler-control settings that apply to a line; copied per line when a
// control changes them. A line never changes the state it refers to: a control
// copies it (through the factory), changes the copy and lets its line refer to the
// copy, so the lines before keep what applied to them.
#pragma once

#include <cstdint>
#include <set>

class ControlState {
 public:
  // One bit per --list-format letter and the further bits the list writer keeps,
  // four bytes in all, lowest byte first.
  enum ListFlag : uint32_t {
    kListControl = 1u << 0,           // c
    kListSection = 1u << 1,           // d
    kListSymbol = 1u << 2,            // e
    kListGeneric = 1u << 3,           // i
    kListGenericExpansion = 1u << 4,  // g
    kListLine = 1u << 5,              // l
    kListMacro = 1u << 6,             // m
    kListMacroExpansion = 1u << 7,    // x
    kListFurther0 = 1u << 8,
    kListConditional = 1u << 9,    // p
    kListRelocations = 1u << 10,   // r
    kListEquate = 1u << 11,        // q
    kListEquateValues = 1u << 12,  // v
    kListWrapLines = 1u << 13,     // w
    kListCycleCount = 1u << 14,    // y
    kListHll = 1u << 15,           // s
    kListEmptyLine = 1u << 16,     // n
    kListFurther1 = 1u << 17,
    kListFurther2 = 1u << 18,
    kListFurther3 = 1u << 19,
    kListFurther4 = 1u << 20,
    kListFurther5 = 1u << 21,
    kListFurther6 = 1u << 22,
    kListDefineExpansion = 1u << 23,  // z
    kListFurther7 = 1u << 24,
    kListFurther8 = 1u << 25,
    kListFurther9 = 1u << 26,
  };
  // The further bits no option or control changes.
  static constexpr uint32_t kFixedListFlags = kListFurther0 | kListFurther4 | kListFurther7;

  // The initial state of a run, built from the options: page layout, list flags,
  // debug and scope settings, and the warning sets of --no-warnings and
  // --warnings-as-errors. Without an options object every value keeps its default.
  ControlState();
  ControlState(const ControlState&) = default;
  virtual ~ControlState() = default;

  // Copies every setting of other (a target's further switches excepted).
  virtual void assign(const ControlState& other);
  // Whether other holds the same settings as this state, a target's further switches
  // included: a control that leaves them as they were needs no copy of its own.
  virtual bool sameSettings(const ControlState& other) const;

  void suppressWarning(int32_t id) { suppressedWarnings.insert(id); }
  void promoteWarning(int32_t id) { promotedWarnings.insert(id); }
  bool listing(ListFlag flag) const { return (listFlags & flag) != 0; }

  struct PageLayout {
    int32_t width;
    int32_t length;
    int32_t topMargin;
    int32_t bottomMargin;
    int32_t leftMargin;
    const char* title;
    const char* subtitle;
    int32_t layoutValue1;
  };
  // The layout of this state; a missing title or subtitle is the run's first one.
  PageLayout getPageLayout() const;
  // Stores the five values (-1 keeps a value) when they make a usable page; null on
  // success, else the text that says what is wrong and nothing is stored.
  const char* setPageLayout(int32_t width, int32_t length, int32_t top, int32_t bottom, int32_t left);

  // The first $TITLE and $STITLE texts of the source; they head every page that no
  // later title covers.
  static const char*& firstTitle();
  static const char*& firstSubtitle();

  int32_t pageWidth = 132;
  int32_t pageLength = 72;
  int32_t topMargin = 0;
  int32_t bottomMargin = 0;
  int32_t leftMargin = 0;
  const char* title = nullptr;     // interned
  const char* subtitle = nullptr;  // interned
  int32_t layoutValue1 = 4;
  uint32_t listFlags = kFixedListFlags;
  const char* commentPrefix = ";";
  // A second text that starts a comment, kept when the prefix moves away from ";".
  const char* secondCommentText = nullptr;
  std::set<int32_t> promotedWarnings;    // message identifiers
  std::set<int32_t> suppressedWarnings;  // message identifiers
  int32_t debugKind = 0;                 // 0 none, 1 assembly lines, 2 HLL, 4 smart
  int16_t listCounter = 1;               // lines are listed while it is above 0
  int16_t layoutValue2 = 8;
  int16_t radix = 10;  // 2, 8, 10 or 16
  bool genericsAllowed = true;
  bool localByDefault = true;
  bool localSymbolDebug = false;
  bool instrSizeOpt = true;
  bool jumpChainOpt = false;
  bool allWarningsOff = false;
  bool warningsAsErrors = false;
};

class TriCoreControlState : public ControlState {
 public:
  TriCoreControlState() = default;
  TriCoreControlState(const TriCoreControlState&) = default;
  bool sameSettings(const ControlState& other) const override;

  static constexpr int kDefectSwitches = 42;
  // Indexes of the switches that the operand actions read.
  static constexpr int kDmuTc001 = 32;
  static constexpr int kTc112Cor10 = 35;
  static constexpr int kTc113Cpu15 = 39;
  static constexpr int kTc113Lfi2 = 40;
  static constexpr int kTc113Lfi3 = 41;
  int32_t defectSwitch[kDefectSwitches] = {};
};

// The CPU-defect controls and the switch each one sets: 54 controls share the 42
// switches, the older names of a defect setting the switch of its newer name.
struct DefectControl {
  const char* name;  // the control as written, "$" and upper case
  int32_t defectSwitch;
};
inline constexpr int kDefectControlCount = 54;
extern const DefectControl kDefectControls[kDefectControlCount];
// The switch of the control (any letter case), or -1 when it is no defect control.
int32_t defectSwitchOfControl(const char* name);
// The name of a switch: the control of that name sets it; null outside 0..41.
const char* defectSwitchName(int32_t defectSwitch);
