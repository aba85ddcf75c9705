// The statement scanner: cuts the text of one line into tokens for the statement
// frame and the directive and control handlers. It knows the controls, the
// directives, the instruction mnemonics and six further words (all in any letter
// case), finds identifiers, quoted literals, the start of numbers and four
// punctuation characters, and never reports anything: text it cannot place comes
// back as a one-character token that the caller judges.
#pragma once

#include <cstdint>

#include "flow/SectionType.h"

struct LineInfo;

// Token codes of the statement scanner.
enum LineToken : int32_t {
  kTokNone = 0,
  // 1 to 72: the controls, in the byte order of their names.
  kTokControlFirst = 1,
  kTokCase = 1,            // $CASE
  kTokDefectFirst = 2,     // $CPU_TC013 .. $CPU_TC116
  kTokDefectLast = 33,
  kTokDebug = 34,          // $DEBUG
  kTokDmuTc001 = 35,
  kTokFpu = 36,
  kTokHwOnly = 37,
  kTokIdent = 38,
  kTokList = 39,
  kTokMmu = 40,
  kTokNoFpu = 41,
  kTokObject = 42,
  kTokPage = 43,
  kTokPmiTc003 = 44,
  kTokPmuTc004 = 45,
  kTokPrctl = 46,
  kTokStitle = 47,
  kTokTc112First = 48,     // $TC112_COR1 .. $TC113_PMU3
  kTokTc113Last = 66,
  kTokTc13 = 67,
  kTokTc131 = 68,
  kTokTc16 = 69,
  kTokTc16x = 70,
  kTokTitle = 71,
  kTokWarningControl = 72,  // $WARNING
  kTokControlLast = 72,
  // 73 to 110: the directives, in the byte order of their names.
  kTokDirectiveFirst = 73,
  kTokAccum = 73,
  kTokAlias = 74,
  kTokAlign = 75,
  kTokAscii = 76,
  kTokAsciiz = 77,
  kTokByte = 78,
  kTokCalls = 79,
  kTokCompilerInvocation = 80,
  kTokCompilerName = 81,
  kTokCompilerVersion = 82,
  kTokDouble = 83,
  kTokEnd = 84,
  kTokEqu = 85,
  kTokExtern = 86,
  kTokFail = 87,
  kTokFloat = 88,
  kTokFract = 89,
  kTokGlobal = 90,
  kTokHalf = 91,
  kTokLoad = 92,
  kTokLocal = 93,
  kTokMessage = 94,
  kTokMisrac = 95,
  kTokName = 96,
  kTokOrg = 97,
  kTokPrevious = 98,
  kTokRadix = 99,
  kTokSdecl = 100,
  kTokSect = 101,
  kTokSet = 102,
  kTokSfract = 103,
  kTokSize = 104,
  kTokSpace = 105,
  kTokType = 106,
  kTokWarning = 107,  // .WARNING
  kTokWeak = 108,
  kTokWord = 109,
  kTokCommentPrefix = 110,
  kTokDirectiveLast = 110,
  kTokMnemonic = 111,
  kTokOpenParen = 112,
  kTokCloseParen = 113,
  kTokComma = 114,
  kTokColon = 115,
  kTokAt = 116,
  kTokGlobalWord = 117,
  kTokLocalWord = 118,
  kTokOff = 119,
  kTokOn = 120,
  kTokReset = 121,
  kTokIdentifier = 122,
  kTokString = 123,
  kTokNumber = 126,
  kTokOther = 127,
  kTokEndOfLine = 128,
};


// The scanner state of one line. Every scan reads from the cursor and leaves it
// after the token; the expression entry points read and move the same cursor.
struct Scanner {
  const char* textStart = nullptr;
  // First character of the last token; for a quoted literal the one after the quote.
  const char* tokenStart = nullptr;
  // The closing quote of a quoted literal; null for every other token.
  const char* tokenEnd = nullptr;
  const char* cursor = nullptr;
  LineInfo* line = nullptr;
  const char* commentPrefix = ";";
  int32_t blankRuns = 0;  // runs of white space skipped since set-up
  bool wordToken = false;  // the last token is word-shaped (directives to identifier)
  // The look-ahead: scanned at peekPosition, it ended at peekEnd.
  const char* peekPosition = nullptr;
  const char* peekEnd = nullptr;
  int32_t peekCode = 0;

  // Sets the scanner up at the start of the text (null: the empty text).
  void reset(const char* text, LineInfo* lineInfo, const char* prefix);

  // The next token; the cursor moves past it.
  int32_t scan();
  // The next token without taking it: a following scan returns it again. A
  // character at which the comment prefix begins comes back as the end of line.
  int32_t peek();
  // Whether the comment prefix begins at p (never for a null or empty prefix).
  bool commentAt(const char* p) const;
  // The text of the last token: to its end or, without one, to the cursor.
  const char* tokenTextEnd() const { return tokenEnd ? tokenEnd : cursor; }
  // The interned text of the last token.
  const char* internToken() const;
};

// A section attribute keyword at the cursor (a SectionAttributeCode); no delimiter is
// needed after it. Without a keyword the cursor moves one byte on and the result is
// 0; at the end of the text it stays there.
int32_t scanSectionAttribute(Scanner& scanner);

// The spelling of a control or directive code as messages name it (".WORD",
// "$CASE", ".comment_prefix"); null for the other codes.
const char* keywordName(int32_t code);
// The code of a directive keyword, a mnemonic or one of the six words (any letter
// case, whole word only); kTokIdentifier for any other word.
int32_t lookupWord(const char* word, uint32_t length);
// Number of distinct instruction mnemonics the scanner knows.
uint32_t mnemonicCount();
