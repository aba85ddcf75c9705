#include "util/ControlState.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <typeinfo>

#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {
struct FirstTitles {
  const char* title = nullptr;
  const char* subtitle = nullptr;
};
}  // namespace

const char*& ControlState::firstTitle() { return runPart<FirstTitles>().title; }
const char*& ControlState::firstSubtitle() { return runPart<FirstTitles>().subtitle; }

namespace {

uint32_t listFlagsOf(const RunSettings& settings) {
  struct Letter {
    bool RunSettings::*wanted;
    ControlState::ListFlag flag;
  };
  static const Letter kLetters[] = {
      {&RunSettings::listControl, ControlState::kListControl},
      {&RunSettings::listSection, ControlState::kListSection},
      {&RunSettings::listSymbol, ControlState::kListSymbol},
      {&RunSettings::listGeneric, ControlState::kListGeneric},
      {&RunSettings::listGenericExpansion, ControlState::kListGenericExpansion},
      {&RunSettings::listLine, ControlState::kListLine},
      {&RunSettings::listMacro, ControlState::kListMacro},
      {&RunSettings::listMacroExpansion, ControlState::kListMacroExpansion},
      {&RunSettings::listConditional, ControlState::kListConditional},
      {&RunSettings::listRelocations, ControlState::kListRelocations},
      {&RunSettings::listEquate, ControlState::kListEquate},
      {&RunSettings::listEquateValues, ControlState::kListEquateValues},
      {&RunSettings::listWrapLines, ControlState::kListWrapLines},
      {&RunSettings::listCycleCount, ControlState::kListCycleCount},
      {&RunSettings::listHll, ControlState::kListHll},
      {&RunSettings::listEmptyLine, ControlState::kListEmptyLine},
      {&RunSettings::listDefineExpansion, ControlState::kListDefineExpansion},
  };
  uint32_t flags = ControlState::kFixedListFlags;
  for (const Letter& letter : kLetters)
    if (settings.*letter.wanted) flags |= letter.flag;
  return flags;
}

}  // namespace

ControlState::ControlState() {
  if (!runState().orbaOptions) return;
  const RunSettings& settings = *runState().orbaOptions;
  pageWidth = settings.pageWidth;
  pageLength = settings.pageLength;
  listFlags = listFlagsOf(settings);
  debugKind = settings.debugInfoMode;
  listCounter = settings.listFileWanted ? 1 : 0;
  genericsAllowed = settings.optimizeGenerics;
  localByDefault = settings.localScopeDefault;
  localSymbolDebug = settings.debugLocals;
  instrSizeOpt = settings.optimizeInstrSize;
  jumpChainOpt = settings.optimizeJumpChains;
  // The options read each warning option up to its first value without a number.
  allWarningsOff = settings.allWarningsOff;
  suppressedWarnings.insert(settings.suppressedWarnings.begin(), settings.suppressedWarnings.end());
  warningsAsErrors = settings.allWarningsAsErrors;
  promotedWarnings.insert(settings.promotedWarnings.begin(), settings.promotedWarnings.end());
}

void ControlState::assign(const ControlState& other) {
  if (this == &other) return;
  pageWidth = other.pageWidth;
  pageLength = other.pageLength;
  topMargin = other.topMargin;
  bottomMargin = other.bottomMargin;
  leftMargin = other.leftMargin;
  title = other.title;
  subtitle = other.subtitle;
  layoutValue1 = other.layoutValue1;
  listFlags = other.listFlags;
  commentPrefix = other.commentPrefix;
  secondCommentText = other.secondCommentText;
  promotedWarnings = other.promotedWarnings;
  suppressedWarnings = other.suppressedWarnings;
  debugKind = other.debugKind;
  listCounter = other.listCounter;
  layoutValue2 = other.layoutValue2;
  radix = other.radix;
  genericsAllowed = other.genericsAllowed;
  localByDefault = other.localByDefault;
  localSymbolDebug = other.localSymbolDebug;
  instrSizeOpt = other.instrSizeOpt;
  jumpChainOpt = other.jumpChainOpt;
  allWarningsOff = other.allWarningsOff;
  warningsAsErrors = other.warningsAsErrors;
}

namespace {

bool sameText(const char* a, const char* b) {
  if (a == b) return true;
  return a && b && std::strcmp(a, b) == 0;
}

}  // namespace

bool ControlState::sameSettings(const ControlState& other) const {
  if (typeid(*this) != typeid(other)) return false;
  return pageWidth == other.pageWidth && pageLength == other.pageLength && topMargin == other.topMargin &&
         bottomMargin == other.bottomMargin && leftMargin == other.leftMargin && sameText(title, other.title) &&
         sameText(subtitle, other.subtitle) && layoutValue1 == other.layoutValue1 &&
         listFlags == other.listFlags && sameText(commentPrefix, other.commentPrefix) &&
         sameText(secondCommentText, other.secondCommentText) && promotedWarnings == other.promotedWarnings &&
         suppressedWarnings == other.suppressedWarnings && debugKind == other.debugKind &&
         listCounter == other.listCounter && layoutValue2 == other.layoutValue2 && radix == other.radix &&
         genericsAllowed == other.genericsAllowed && localByDefault == other.localByDefault &&
         localSymbolDebug == other.localSymbolDebug && instrSizeOpt == other.instrSizeOpt &&
         jumpChainOpt == other.jumpChainOpt && allWarningsOff == other.allWarningsOff &&
         warningsAsErrors == other.warningsAsErrors;
}

bool TriCoreControlState::sameSettings(const ControlState& other) const {
  if (!ControlState::sameSettings(other)) return false;
  const auto& tricore = static_cast<const TriCoreControlState&>(other);
  return std::equal(std::begin(defectSwitch), std::end(defectSwitch), std::begin(tricore.defectSwitch));
}

ControlState::PageLayout ControlState::getPageLayout() const {
  return PageLayout{pageWidth,  pageLength, topMargin,
                    bottomMargin, leftMargin, title ? title : firstTitle(),
                    subtitle ? subtitle : firstSubtitle(), layoutValue1};
}

const char* ControlState::setPageLayout(int32_t width, int32_t length, int32_t top, int32_t bottom,
                                        int32_t left) {
  if (width == -1) width = pageWidth;
  if (length == -1) length = pageLength;
  if (top == -1) top = topMargin;
  if (bottom == -1) bottom = bottomMargin;
  if (left == -1) left = leftMargin;
  // 64-bit sums: margins near the 32-bit limits must not wrap into a pass.
  if (length != 0 && length < 10) return "page length must be larger than 10 lines";
  if (width < 40) return "page width must be larger than 40 columns";
  if (length != 0 && int64_t{top} + bottom > int64_t{length} - 10)
    return "top and/or bottom margin too large for page length (at least 10 lines available)";
  if (int64_t{left} > int64_t{width} - 40)
    return "left margin too large for page width (at least 40 columns available)";
  pageWidth = width;
  pageLength = length;
  topMargin = top;
  bottomMargin = bottom;
  leftMargin = left;
  return nullptr;
}

const DefectControl kDefectControls[kDefectControlCount] = {
    {"$CPU_TC013", 0},    {"$CPU_TC018", 1},    {"$CPU_TC021", 2},    {"$CPU_TC023", 3},
    {"$CPU_TC024", 4},    {"$CPU_TC030", 5},    {"$CPU_TC031", 6},    {"$CPU_TC033", 7},
    {"$CPU_TC034", 8},    {"$CPU_TC048", 9},    {"$CPU_TC050", 10},   {"$CPU_TC051", 11},
    {"$CPU_TC060", 12},   {"$CPU_TC065", 13},   {"$CPU_TC068", 14},   {"$CPU_TC069", 15},
    {"$CPU_TC070", 16},   {"$CPU_TC071", 17},   {"$CPU_TC072", 18},   {"$CPU_TC074", 19},
    {"$CPU_TC081", 20},   {"$CPU_TC082", 21},   {"$CPU_TC083", 22},   {"$CPU_TC094", 23},
    {"$CPU_TC095", 24},   {"$CPU_TC096", 25},   {"$CPU_TC104", 26},   {"$CPU_TC105", 27},
    {"$CPU_TC106", 28},   {"$CPU_TC108", 29},   {"$CPU_TC109", 30},   {"$CPU_TC116", 31},
    {"$DMU_TC001", 32},   {"$PMI_TC003", 33},   {"$PMU_TC004", 34},   {"$TC112_COR1", 1},
    {"$TC112_COR10", 35}, {"$TC112_COR13", 5},  {"$TC112_COR14", 36}, {"$TC112_COR15", 37},
    {"$TC112_COR16", 7},  {"$TC112_COR17", 8},  {"$TC112_COR4", 2},   {"$TC112_COR6", 3},
    {"$TC112_COR7", 4},   {"$TC113_CPU13", 38}, {"$TC113_CPU15", 39}, {"$TC113_CPU16", 9},
    {"$TC113_CPU9", 8},   {"$TC113_DMU1", 32},  {"$TC113_LFI2", 40},  {"$TC113_LFI3", 41},
    {"$TC113_PMU1", 34},  {"$TC113_PMU3", 33},
};

int32_t defectSwitchOfControl(const char* name) {
  if (!name) return -1;
  for (const DefectControl& control : kDefectControls)
    if (strcasecmp(control.name, name) == 0) return control.defectSwitch;
  return -1;
}

const char* defectSwitchName(int32_t defectSwitch) {
  // The switches are named by their newest control, the first of its group above.
  for (const DefectControl& control : kDefectControls)
    if (control.defectSwitch == defectSwitch) return control.name;
  return nullptr;
}
