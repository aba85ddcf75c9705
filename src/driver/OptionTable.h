// The command-line interface as data: one record per option, sub-option, alias
// and internal setting. The records form a tree through their parent ids; the id
// fixes the order of a parent's children and is how the program queries a value.
#pragma once

#include <cstdint>

// Value types; the numbers are part of the table.
enum OptionType : uint32_t {
  otBOOL = 0,
  otSTRING = 1,
  otFLAGS = 2,
  otINTEGER = 3,
  otOPTFILE = 4,
  otALIAS = 5,
};

// Attributes named by the flag words of a record, in the order of kFlagWords.
enum OptionAttribute : uint32_t {
  oaOPT,
  oaHID,
  oaABB,
  oaMUL,
  oaDEF,
  oaSEPS,
  oaSEPL,
  oaNOCC,
  oaNOCL,
  oaNOCS,
  oaFUNC,
  oaCount
};

// The static part of a record; the parse state lives in c-opt.
struct OptionRecord {
  uint32_t id;
  uint32_t parent;
  const char* name;
  const char* shortForm;
  const char* longForm;
  const char* argText;  // placeholder for help; for an alias, its expansion
  OptionType type;
  const char* flags;
  const char* summary;
  const char* help;
};

namespace opt {

// Record ids. 69 is unused.
enum Id : uint32_t {
  OPT = 1,
  ERR = 2,
  ARG = 3,
  INT = 4,
  ERROR = 5,
  HELP = 6,
  CPU_TRICORE = 7,
  PP_DEFINE = 8,
  PP_ONLY = 9,
  PP_INCLUDE = 10,
  PP_INCPATH = 11,
  LISTFORMAT = 12,
  NESTED_SECTIONS = 13,
  OPTIM = 14,
  PP_UNDEF = 15,
  VERSION = 16,
  ABSOLUTE = 17,
  CASE = 18,
  OPTFILE = 19,
  SRCDEBUG = 20,
  SRCDEBUGD = 21,
  SCOPE = 22,
  EH_KEEP = 23,
  GENLISTFILE = 24,
  PP_TYPE = 25,
  OUTPUT = 26,
  SECTIONINFO = 27,
  SECTIONINFO_A = 28,
  VERBOSE = 29,
  EH_SUPPRESS = 30,
  LF_0 = 31,
  LF_1 = 32,
  SD_A = 33,
  FF_C = 34,
  SI_C = 35,
  LF_C = 36,
  PT_C = 37,
  LF_D = 38,
  EL_EQUS = 39,
  LF_E = 40,
  LF_G = 41,
  O_G = 42,
  S_GLOBAL = 43,
  SD_H = 44,
  LF_I = 45,
  O_J = 46,
  LF_L = 47,
  SI_L = 48,
  SD_L = 49,
  S_LOCAL = 50,
  LF_M = 51,
  LF_N = 52,
  PT_NONE = 53,
  LF_P = 54,
  LF_Q = 55,
  LF_R = 56,
  LF_S = 57,
  O_S = 58,
  SD_S = 59,
  EL_SYMBOLS = 60,
  PT_ZELKOVA = 61,
  LF_V = 62,
  LF_W = 63,
  LF_X = 64,
  LF_Y = 65,
  LF_Z = 66,
  CPU = 67,
  DB_CMD = 68,
  DB_DWARF = 70,
  DB_ERR = 71,
  DB_EXPR = 72,
  DB_FLOW = 73,
  DB_INIT = 74,
  DB_IP = 75,
  DB_LEX = 76,
  DB_LIST = 77,
  DB_LOG = 78,
  DB_MEM = 79,
  DB_OBJECT = 80,
  DB_OPTIM = 81,
  DB_PARSE = 82,
  DB_PREPROC = 83,
  DB_SYMB = 84,
  ERRWARN = 85,
  NOWARN = 86,
  NOWARNP = 87,
  CHECK = 88,
  CONCATENATE_SECTIONS = 89,
  CORE = 90,
  DEPFILE = 91,
  DIAG = 92,
  DWARF_VERSION = 93,
  EMIT_LOCALS = 94,
  EMIT_LOCALS_A = 95,
  EH_FILE = 96,
  EH_ERRLIM = 97,
  FAST = 98,
  FPU = 99,
  INSTR_METRICS = 100,
  MAKETARGET = 101,
  MERGE_INSTR_METRICS = 102,
  METRICS = 103,
  MMU = 104,
  NOFPU = 105,
  NOZELKOVASFR = 106,
  PAGE_LENGTH = 107,
  PAGE_WIDTH = 108,
  REQUIRE_END = 109,
  BUGS = 110,
  ZELKOVASFR = 111,
  TYPECHECK = 112,
  USERMODE = 113,
  ACCESS_IE = 114,
  EH_ERRWARN = 115,
  TC1130_DEFECTS = 116,
  TC1164_DEFECTS = 117,
  TC1166_DEFECTS = 118,
  TC11IB_DEFECTS = 119,
  TC113_DEFECTS = 120,
  TC1131_DEFECTS = 121,
  TC1736_DEFECTS = 122,
  TC1762_DEFECTS = 123,
  TC1764_DEFECTS = 124,
  TC1766_DEFECTS = 125,
  TC1767_DEFECTS = 126,
  TC1792_DEFECTS = 127,
  TC1796_DEFECTS = 128,
  TC1797_DEFECTS = 129,
  TC013 = 130,
  TC048 = 131,
  TC051 = 132,
  TC060 = 133,
  TC065 = 134,
  TC068 = 135,
  TC069 = 136,
  TC070 = 137,
  TC071 = 138,
  TC072 = 139,
  TC074 = 140,
  TC081 = 141,
  TC082 = 142,
  TC083 = 143,
  TC094 = 144,
  TC095 = 145,
  TC096 = 146,
  TC104 = 147,
  TC105 = 148,
  TC106 = 149,
  TC108 = 150,
  TC109 = 151,
  TC116 = 152,
  CPU13 = 153,
  CPU15 = 154,
  CPU16 = 155,
  DMU1 = 156,
  DUMMY10 = 157,
  UM_KERNEL = 158,
  LFI2 = 159,
  LFI3 = 160,
  H_OPT = 161,
  PMI3 = 162,
  PMU4 = 163,
  DUMMY08 = 164,
  DUMMY09 = 165,
  TC13 = 166,
  TC131 = 167,
  TC16 = 168,
  TC16X = 169,
  UM_USER0 = 170,
  UM_USER1 = 171,
};

// One past the highest id; slot 0 is the empty root.
constexpr uint32_t kSlotCount = 172;

}  // namespace opt

// The rows in the order the interface lists them (not id order).
extern const OptionRecord kOptionRecords[];
extern const uint32_t kOptionRecordCount;

// Smallest value an integer option accepts: counts and message numbers cannot be
// negative, so a minus sign there is a typo rather than a wrapped-around limit.
int64_t optionIntegerMinimum(uint32_t id);
