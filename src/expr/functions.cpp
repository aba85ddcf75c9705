#include "expr/functions.h"

#include <cctype>
#include <cstring>

#include "util/assertion.h"

namespace {

using B = FunctionBuilder;

// Token order: the function-name tokens are numbered in this order.
constexpr ExprFunctionInfo kFunctions[kFunctionNameCount] = {
    {"@ABS", FN_ABS, 1, 1, B::General},
    {"@ACS", FN_ACS, 1, 1, B::General},
    {"@ASN", FN_ASN, 1, 1, B::General},
    {"@AT2", FN_AT2, 2, 2, B::General},
    {"@ATN", FN_ATN, 1, 1, B::General},
    {"@CAT", FN_CAT, 2, 2, B::General},
    {"@CEL", FN_CEL, 1, 1, B::General},
    {"@COH", FN_COH, 1, 1, B::General},
    {"@COS", FN_COS, 1, 1, B::General},
    {"@CPU", FN_CPU, 1, 1, B::Cpu},
    {"@CVF", FN_CVF, 1, 1, B::General},
    {"@CVI", FN_CVI, 1, 1, B::General},
    {"@EXP", FN_EXP, 1, 1, B::General},
    {"@FLD", FN_FLD, 3, 4, B::General},
    {"@FLR", FN_FLR, 1, 1, B::General},
    {"@FRACT", FN_FRACT, 1, 1, B::General},
    {"@HI", FN_HI, 1, 1, B::Target},
    {"@HIS", FN_HIS, 1, 1, B::Target},
    {"@INT", FN_INT, 1, 1, B::General},
    {"@L10", FN_L10, 1, 1, B::General},
    {"@LEN", FN_LEN, 1, 1, B::General},
    {"@LNG", FN_LNG, 2, 2, B::General},
    {"@LO", FN_LO, 1, 1, B::Target},
    {"@LOG", FN_LOG, 1, 1, B::General},
    {"@LOS", FN_LOS, 1, 1, B::Target},
    {"@LSB", FN_LSB, 1, 1, B::General},
    {"@LST", FN_LST, 0, 0, B::ListLevel},
    {"@LUN", FN_LUN, 1, 1, B::General},
    {"@MAX", FN_MAX, 1, -1, B::General},
    {"@MIN", FN_MIN, 1, -1, B::General},
    {"@MSB", FN_MSB, 1, 1, B::General},
    {"@POS", FN_POS, 2, 3, B::General},
    {"@POW", FN_POW, 2, 2, B::General},
    {"@RND", FN_RND, 0, 0, B::General},
    {"@RVB", FN_RVB, 1, 2, B::General},
    {"@SCP", FN_SCP, 2, 2, B::General},
    {"@SFRACT", FN_SFRACT, 1, 1, B::General},
    {"@SGN", FN_SGN, 1, 1, B::General},
    {"@SIN", FN_SIN, 1, 1, B::General},
    {"@SNH", FN_SNH, 1, 1, B::General},
    {"@SQT", FN_SQT, 1, 1, B::General},
    {"@SUB", FN_SUB, 3, 3, B::General},
    {"@TAN", FN_TAN, 1, 1, B::General},
    {"@TNH", FN_TNH, 1, 1, B::General},
    {"@UNF", FN_UNF, 1, 1, B::General},
    {"@XPN", FN_XPN, 1, 1, B::General},
    {"@VEKT", FN_VEKT, 0, 0, B::Target},
};

// Functions that only the instruction encoder builds; they have no name token.
struct CodeName {
  int32_t code;
  const char* name;
};
constexpr CodeName kEncoderFunctions[] = {
    {FN_INPAGE, "@INPAGE"}, {FN_PAGESIZE, "@PAGESIZE"}, {FN_PCREL, "@PCREL"},
    {FN_RANGE, "@RANGE"},   {FN_WRANGE, "@WRANGE"},
};

}  // namespace

const ExprFunctionInfo& functionInfoAt(int32_t index) {
  VEKT_ASSERT(index >= 0 && index < kFunctionNameCount);
  return kFunctions[index];
}

int32_t findFunctionName(const char* text, size_t length) {
  // Every name is 3 to 7 bytes long after the '@'.
  if (length < 3 || length > 7 || text[0] != '@') return -1;
  for (int32_t i = 0; i < kFunctionNameCount; ++i) {
    const char* name = kFunctions[i].name;
    size_t k = 0;
    while (k < length && name[k] != '\0' &&
           std::toupper(static_cast<unsigned char>(text[k])) == name[k])
      ++k;
    if (k == length && name[k] == '\0') return i;
  }
  return -1;
}

const char* functionCodeName(int32_t code) {
  for (const ExprFunctionInfo& info : kFunctions)
    if (info.code == code) return info.name;
  for (const CodeName& entry : kEncoderFunctions)
    if (entry.code == code) return entry.name;
  return nullptr;
}
