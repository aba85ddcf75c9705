// The @-function set: names, codes, argument counts and how a call is built.
#pragma once

#include <cstddef>
#include <cstdint>

// Function codes share one code space with the operators.
enum FunctionCode : int32_t {
  FN_ABS = 1,
  FN_ACS = 2,
  FN_ASN = 5,
  FN_AT2 = 6,
  FN_ATN = 7,
  FN_CEL = 14,
  FN_COH = 16,
  FN_COS = 18,
  FN_CPU = 19,
  FN_CVF = 21,
  FN_CVI = 22,
  FN_EXP = 26,
  FN_FLD = 28,
  FN_FLR = 29,
  FN_SFRACT = 30,
  FN_MSB = 35,
  FN_CONDITIONAL = 36,
  FN_INPAGE = 39,
  FN_INT = 40,
  FN_L10 = 41,
  FN_LEN = 44,
  FN_FRACT = 45,
  FN_LNG = 46,
  FN_LSB = 49,
  FN_LOG = 50,
  FN_LST = 51,
  FN_LUN = 53,
  FN_MAX = 54,
  FN_MIN = 55,
  FN_PAGESIZE = 61,
  FN_PCREL = 62,
  FN_POS = 63,
  FN_POW = 64,
  FN_RANGE = 65,
  FN_RND = 67,
  FN_RVB = 68,
  FN_SCP = 69,
  FN_SGN = 70,
  FN_SIN = 73,
  FN_SNH = 74,
  FN_SQT = 75,
  FN_CAT = 76,
  FN_SUB = 81,
  FN_TAN = 82,
  FN_TNH = 83,
  FN_UNF = 88,
  FN_WRANGE = 89,
  FN_XPN = 90,
  FN_VEKT = 92,
  FN_HI = 93,
  FN_HIS = 94,
  FN_LO = 95,
  FN_LOS = 96,
};

// How makeFunction turns a call with a valid argument count into a node.
enum class FunctionBuilder : uint8_t {
  General,    // a TEFunction
  Target,     // a TETricoreFunction
  Cpu,        // computed while parsed: compares with the selected CPU
  ListLevel,  // computed while parsed: the line's listing level
};

struct ExprFunctionInfo {
  const char* name;
  int32_t code;
  int32_t minArgs;
  int32_t maxArgs;  // -1: no limit
  FunctionBuilder builder;
};

inline constexpr int32_t kFunctionNameCount = 47;

// The entry of a function-name token (its code minus the first function token).
const ExprFunctionInfo& functionInfoAt(int32_t index);

// Index of the function whose name equals the text, ignoring case; -1 for none.
int32_t findFunctionName(const char* text, size_t length);

// The name that printing shows for a function code, null for codes without one.
const char* functionCodeName(int32_t code);
