// The token codes of the macro preprocessor's directive scanner. The numbering is
// shared with the preprocessor's other scanners, which own the codes missing here.
#pragma once

#include <cstdint>

enum MppToken : int32_t {
  kMppCharacter = 1,   // a single character that is no token of its own
  kMppIdentifier = 2,  // an identifier that is no keyword
  kMppReserved = 3,    // a directive name of the statement parser
  kMppString = 6,      // a string in single quotes
  kMppColon = 7,
  kMppHash = 8,
  kMppComma = 11,
  kMppBackslash = 15,
  kMppNewline = 16,  // LF, CR or CR LF
  kMppControl = 18,  // a control character that is no blank and no newline
  kMppComment = 26,
  kMppCommentPrefix = 27,
  kMppDefine = 29,
  kMppDup = 30,
  kMppDupa = 31,
  kMppDupc = 32,
  kMppDupf = 33,
  kMppElif = 34,
  kMppElse = 35,
  kMppEnd = 36,
  kMppEndif = 38,
  kMppEndm = 39,
  kMppEqu = 41,
  kMppExitm = 42,
  kMppIf = 44,
  kMppInclude = 47,
  kMppMacro = 49,
  kMppPmacro = 50,
  kMppRadix = 51,
  kMppSet = 53,
  kMppUndef = 54,
  kMppEndOfText = 999,  // the NUL byte that ends the line text
};

// The codes that stand for a name where a name is expected: identifiers, reserved
// identifiers, and the keywords that are also directives of the statement parser.
inline bool isIdentifierClass(int32_t code) {
  return code == kMppIdentifier || code == kMppReserved || code == kMppCommentPrefix ||
         code == kMppEnd || code == kMppEqu || code == kMppRadix || code == kMppSet;
}
