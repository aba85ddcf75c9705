// The macro preprocessor, the default one: defines, macros, repeat blocks,
// conditional assembly, includes and line markers, turned into the line list that
// the parser walks.
//
// Where its parts live: the set-up, the scopes and the line loop in
// MacroPreprocessor.cpp; the logical line reader in LineReader.cpp; the line and
// directive dispatcher with the label check, .UNDEF, .SET and the line markers in
// LineDispatcher.cpp; conditional assembly in Conditionals.cpp; expressions, the
// end-of-statement check and the @-functions in PreprocExpressions.cpp; .DEFINE,
// .INCLUDE, .EQU, .RADIX, .COMMENT_PREFIX and .END in SmallDirectives.cpp; the
// directive scanner in TokenScanner.cpp. Macros and repeat blocks (the block
// collection, the expansion and the macro and repeat directives) live in
// MacroExpansion.cpp and the files beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "flow/SymbolTable.h"
#include "preproc/BodySubstitution.h"
#include "preproc/InputBuffer.h"
#include "preproc/MppRecords.h"
#include "preproc/MppToken.h"
#include "preproc/OrbaPreprocessor.h"
#include "util/LineInfo.h"

class OrbaExpression;

class MacroPreprocessor : public OrbaPreprocessor {
 public:
  // Nesting limit of expansions (macro calls and repeat iterations).
  static constexpr int32_t kMaxExpansionDepth = 1000;
  // Bounds the lines all expansions of a run make together: a repeat count typed
  // one digit too long, or macros that call the one below twice at each level,
  // should stop, not run for hours and take the memory.
  static constexpr int64_t kMaxExpansionLines = 10'000'000;
  // Bounds the text of all expansions open at once.
  static constexpr size_t kMaxActiveExpansionText = size_t{32} << 20;
  // The longest file name a C line marker may give.
  static constexpr size_t kMaxMarkerFileName = 2047;

  // Defines the predefined macros and the -D defines.
  MacroPreprocessor();
  ~MacroPreprocessor() override;

  // Opens the input file and pushes the -H files above it, last first, so that the
  // first -H file is read first; a file that cannot be opened is F001. After the
  // line loop the symbol table is reset and the constructs are released.
  void openSource(const char* fileName) override;
  int isMacroPreprocessor() const override { return 1; }
  // The line loop: reads logical lines, records them and dispatches them.
  void readLines(InputBuffer& input) override;
  // The line loop a turn at a time (see OrbaPreprocessor).
  void startSource(const char* fileName) override;
  bool readMore() override;
  void finishSource() override;
  bool holdsLines() const override {
    return !conditionStack.empty() || !expansionStack.empty() || definitionDepth > 0 || pendingConstruct;
  }
  // Of the lines the parse has passed, the reading comes back only to the .IF lines of
  // the open conditional levels (a branch in another file, a level left open at the
  // end). A body is collected within one turn, and an expansion reads no line it made
  // before: the lines it makes may go while it runs, so that a long expansion takes
  // the room of the lines in flight, not of all it made.
  bool holdsLine(const LineInfo& line) const override {
    return !openIfLines_.empty() && openIfLines_.count(&line) != 0;
  }

  // ---- Directive scanner (TokenScanner.cpp) ----
  // Reads one token from the top source's line at its cursor and returns its code
  // (MppToken). Keywords match in any letter case. Sets the token start, and for a
  // string its end (the closing quote); counts blank runs and, in a file, newlines.
  static int32_t scanToken(InputBuffer& input);
  // scanToken with the token start and end cleared first.
  static int32_t nextToken(InputBuffer& input);
  // The code of the next token without reading it: the cursor and the line counter
  // stay where they were.
  static int32_t peekToken(InputBuffer& input);
  // The text a message shows for a token code; "**UNKNOWN**" for other codes.
  static const char* tokenName(int32_t code);
  // The newline that ends the line at `at` when the line is plain: the token loop
  // would copy it unchanged (no comment, separator, string, continuation, control
  // byte, carriage return, name that may be defined or directive with a rule of its
  // own). Adds the runs of blanks the scanner would count; null for any other line.
  const char* plainLineEnd(const char* at, int32_t& blankRuns) const;
  // Whether the line dispatcher would only mark the line for the parser, read from the
  // first two tokens as it reads them: after a blank, a name that is no directive of
  // the preprocessor (a directive of the statement parser is one) and cannot name a
  // macro, and no colon or defining directive after it. The text ends at `length` or
  // a NUL byte.
  bool plainStatement(const char* text, size_t length) const;
  // The token code of a name: a keyword's code, whatever its letter case, or
  // kMppIdentifier.
  static int32_t keywordCode(const char* name, size_t length);

  // ---- Logical line reader (LineReader.cpp) ----
  // What the reader tells about the line it read besides its text.
  struct LineRead {
    bool textBuilt = false;       // the text was put together piece by piece
    bool multiStatement = false;  // a statement separator split the line
    // Where the line began in the line buffer: past 0 when lone carriage returns
    // end the lines of one physical line.
    uint32_t startInBuffer = 0;
    // Source characters the line covers when a .COMMENT block spans several
    // physical lines; 0: the span runs from startInBuffer to the cursor.
    uint32_t consumedLength = 0;
    const char* pendingDiagnostic = nullptr;  // formatted, recorded once the line exists
  };
  // Reads the next logical line of the top source into text (always ending in a
  // newline): defines replaced, a trailing comment cut (kept when a list file is
  // made), continuation lines joined, statements split at the separator, a .COMMENT
  // block read whole. False when the top source has no line left. A line cut at
  // the length bound comes with the diagnostic that says so.
  virtual bool getLine(InputBuffer& input, std::string& text, LineRead& read);
  bool getLineText(InputBuffer& input, std::string& text, LineRead& read);
  // Moves the top source's cursor past the end of the physical line it is on.
  static void skipRestOfLine(InputBuffer& input);
  // The text of the diagnostic for a line that define replacement made longer than
  // InputBuffer::kMaxLineLength; the line is skipped.
  static const char* replacedLineTooLongText();
  // Appends a .COMMENT block to the text: the source from lineStart up to the
  // cursor (the directive), the delimiter and every line up to the one that holds
  // the delimiter again.
  virtual void readArgumentText(InputBuffer& input, const char* lineStart, std::string& text,
                                LineRead& read);

  // ---- Line loop helpers shared with the block collection ----
  // Where the next line comes from, with the expansion rule applied: outside an
  // expansion the in-expansion flag and the frozen line are cleared; inside one
  // every line carries the line before the innermost file's current line counter.
  struct LinePosition {
    int32_t fileId = -1;
    int32_t line = 0;
    int32_t bias = 0;
    int32_t startOffset = -1;  // of the line in its file; -1 without a file source
  };
  LinePosition takeLinePosition(InputBuffer& input);
  // Appends a line at the position with the current control state and the
  // from-expansion bit.
  LineInfo* appendLine(const char* text, const LinePosition& position);
  // Whether the source's end gets an end-of-file marker: only a file whose start
  // got one does. A file included by an expansion is read as part of it, without
  // markers, and the list file pairs the markers to find its sources.
  static bool hasStartMarker(const InputBuffer::InputSource& source);
  // The control state that the lines read now get; .RADIX and .COMMENT_PREFIX
  // replace it by a changed copy.
  ControlState* currentControlState() const { return currentControlState_; }
  // The bytes a line read by getLine consumed from its source.
  static uint32_t consumedBytes(InputBuffer& input, const LineRead& read);

  // ---- Line and directive dispatcher (LineDispatcher.cpp) ----
  // Decides what one logical line is and runs its directive, or marks it for the
  // parser. Pushes the text as a text source, popped again unless a handler that
  // returns false took it over. Returns true.
  virtual bool processLine(InputBuffer& input, const char* text, size_t length, LineInfo* line);
  // Which directives take a label and whether it may have a colon (E171, E174,
  // E198); true when acceptable.
  virtual bool checkLabelField(LineInfo* line, int32_t directive, bool labelGiven, bool colon);
  virtual bool undefineDirective(InputBuffer& input, LineInfo* line);
  virtual bool setDirective(InputBuffer& input, LineInfo* line, const char* label);
  // A "#" line: a C line marker ("# 12 "file"", "#line 12"), or a comment.
  virtual bool handleLineMarker(InputBuffer& input, LineInfo* line);
  // Defines a label in the current local symbol table at the line, or marks an
  // existing one defined there; a numbered local label is left alone.
  void defineLabel(const char* label, LineInfo* line);

  // ---- Conditional assembly (Conditionals.cpp) ----
  virtual bool handleIf(InputBuffer& input, LineInfo* line);
  virtual bool handleElif(InputBuffer& input, LineInfo* line);
  virtual bool handleElse(InputBuffer& input, LineInfo* line);
  virtual bool handleEndif(InputBuffer& input, LineInfo* line);
  // The checks .ELSE and .ENDIF share: an open .IF, nothing after the directive,
  // the same file as the .IF. False when the directive is to be ignored.
  bool closesOpenConditional(InputBuffer& input, LineInfo* line, int32_t directive);
  // Whether lines at the current conditional level are processed.
  bool isActive() const { return conditionTop->active; }
  // Opens a conditional level as a copy of the current one, opened at the line.
  void openConditional(LineInfo* line);
  // Closes the current level; the enclosing one becomes current. Nothing at the
  // bottom level.
  void closeConditional();
  size_t openConditionalCount() const { return conditionStack.size(); }

  // ---- Expressions, the end-of-statement check and @-functions ----
  // (PreprocExpressions.cpp)
  // The expression at the top source's cursor up to the end of its text, or null
  // (the cursor stays). A comment ends the expression.
  virtual OrbaExpression* parseExpression(InputBuffer& input, LineInfo* line);
  // E113 for an expression parseExpression did not deliver, unless it reported
  // why already (an expression nested too deep).
  void reportMissingExpression(LineInfo* line);
  // Reads a token. For a newline, a comment that runs to the end of the line counts
  // as well. True when the token has the code.
  virtual bool expectToken(InputBuffer& input, int32_t code);
  // Skips blanks and reads a string in double or single quotes (code 6); stores
  // the code and answers whether it is a string.
  virtual bool nextIsString(InputBuffer& input, int32_t& code);
  // The scanner of @-function calls and their parentheses.
  static int32_t scanExpressionToken(InputBuffer& input);
  static int32_t nextExpressionToken(InputBuffer& input);
  // Replaces the @ARG, @CNT, @DEF, @MAC and @MXP calls of a line by their values;
  // false (out untouched) when the line holds no "@".
  virtual bool evaluateAtFunctions(InputBuffer& input, LineInfo* line, const char* in,
                                   size_t length, std::string& out);
  // Whether the text at the top source's token start (or the given text) begins
  // with the comment prefix.
  bool isCommentStart(InputBuffer& input, const char* text = nullptr) const;
  // The comment prefix of the current control state, and the statement separator:
  // ";" once the prefix no longer begins with one, else none.
  const char* commentPrefix() const;
  const char* statementSeparator() const;

  // ---- Defines, includes and small directives (SmallDirectives.cpp) ----
  // Skips blanks and reads a string in double or single quotes: code 6 with the
  // token start and end around its text, else 999.
  static int32_t scanString(InputBuffer& input);
  // The position after the closing quote of the string that opens at quote (a
  // double or single quote): backslash escapes and doubled quotes stay inside it.
  // Null when a newline or the end of the text comes first.
  static const char* quotedStringEnd(const char* quote);
  virtual bool handleDefine(InputBuffer& input, LineInfo* line);
  virtual bool handleInclude(InputBuffer& input, LineInfo* line);
  virtual bool handleRadix(InputBuffer& input, LineInfo* line);
  virtual bool handleCommentPrefix(InputBuffer& input, LineInfo* line);
  virtual bool handleEnd(InputBuffer& input, LineInfo* line);
  virtual bool handleEqu(InputBuffer& input, LineInfo* line, const char* label);

  // ---- Defines and scopes (MacroPreprocessor.cpp) ----
  // The define of that name, from the innermost scope outwards, or null.
  MppDefine* lookupDefine(const char* name) const;
  // Enters the define under the name into the innermost scope.
  void insertDefine(const char* name, MppDefine* define);
  // Removes the define from the scope that holds it and frees it.
  void removeDefine(const char* name, MppDefine* define);
  // Opens one define scope and one macro scope; every expansion has its own.
  void pushScope();
  // Closes the innermost define and macro scopes with everything they hold.
  void popScope();
  // The macro of that name, from the innermost scope outwards, or null.
  MppMacro* findMacro(const char* name) const;
  // Enters the macro into the innermost scope and notes that scope's level.
  void registerMacro(MppMacro* macro);
  // Removes the macro from the scope that holds it and deletes it.
  void purgeMacro(MppMacro* macro);
  // Whether the macro is the one its scope holds under its name.
  bool isRegistered(const MppMacro* macro) const;
  // The arguments of the innermost expansion that have a value; 0 outside one.
  int32_t countGivenArguments() const;
  // The end-of-run clean-up: scopes, conditional levels, expansions and the pools
  // of the records. Runs once.
  void releaseConstructs();

  // ---- Macros and repeat blocks (MacroExpansion.cpp and the files beside it) ----
  // Each directive handler returns true to let the dispatcher pop the line's text
  // source, false when it took the source over (popped it or replaced it).
  virtual bool handleMacro(InputBuffer& input, LineInfo* line, const char* label);
  virtual bool handlePmacro(InputBuffer& input, LineInfo* line);
  // A name in the operation field: a macro call, or an ordinary statement (the
  // line is then marked for the parser).
  virtual bool handleMacroCall(InputBuffer& input, LineInfo* line, const char* label,
                               const char* name);
  // .ENDM or .EXITM met while lines are processed.
  virtual bool handleBlockEnd(InputBuffer& input, LineInfo* line, int32_t directive);
  virtual bool handleDup(InputBuffer& input, LineInfo* line, const char* label);
  virtual bool handleDupa(InputBuffer& input, LineInfo* line, const char* label);
  virtual bool handleDupc(InputBuffer& input, LineInfo* line, const char* label);
  virtual bool handleDupf(InputBuffer& input, LineInfo* line, const char* label);
  // Reads the lines of a block body up to the .ENDM that closes it into
  // pendingConstruct.
  void collectBlockBody(InputBuffer& input, LineInfo* line, int32_t endCode);
  void processBlockLine(InputBuffer& input, LineInfo* line, const char* text, size_t length,
                        int32_t endCode);
  static bool isMatchingBlockEnd(int32_t opener, int32_t closer);
  // True when another expansion may start; E160 otherwise.
  bool checkExpansionDepth(LineInfo* line);
  void startRepeatExpansion(InputBuffer& input, LineInfo* line);
  // Adds the lines the repeat block will produce to the run's total; false (and
  // E110) when the total would pass kMaxExpansionLines.
  bool countRepeatedLines(const MppConstruct& construct, LineInfo* line);
  // Adds the lines an expansion is about to make to the run's total; false, after
  // E110 at the line naming what is skipped, when the total would pass
  // kMaxExpansionLines.
  bool reserveExpansionLines(uint64_t lines, LineInfo* line, const char* skipped);
  // The lines a call of the macro is sure to make: its body, and the lines of the
  // calls of other macros that its body is sure to reach, counted the same way. The
  // count reads past the lines that cannot change what the rest of the body does —
  // statements, labels, .SET, .EQU and .RADIX, conditions and repeat blocks opened
  // and closed in the body, .EXITM — and stops at any other directive, at a
  // name that a substitution or a define could change, and after a call whose body it
  // could not read through, so it never counts a line the call might not make. A call
  // inside a condition or a repeat block, or after .EXITM, is not sure to be made: its
  // lines are not counted, but its body must be read through as well, since it may
  // be. Macros that call the one below twice per level would otherwise make ten
  // million lines before the run-wide total stops them.
  // `sure` tells whether the call itself is sure to be made: only there do a cycle and
  // the nesting limit make the whole count unknown; elsewhere they stop it.
  // readWhole tells whether the body was read to its end.
  uint64_t certainCallLines(MppMacro* macro, uint32_t depth, bool sure, bool& readWhole);
  // What one line of a body is for that count, as far as its text tells: a name in
  // the operation field is a call or a statement by the macros defined at the call.
  enum class BodyLine : uint8_t {
    kNothing, kStatement, kName, kIf, kElif, kElse, kEndif, kRepeat, kLoop, kEnd, kExit, kOpaque
  };
  // The kind of one line of the macro's body, and the names in its label field and
  // its operation field (empty when there is none); for a repeat block with a loop
  // symbol (kLoop) the symbol stands in the operation field.
  BodyLine bodyLineKind(const MppMacro& macro, std::string_view text, std::string_view& label,
                        std::string_view& operation) const;
  // The macro's body read into its shape (MppMacro::shape) for the current comment
  // prefix and separator, unless it was read for them already.
  void readBodyShape(MppMacro& macro) const;
  // Counts already made for the call being checked (lines 0 while a macro's own count
  // is being made), and whether the count read the macro's body to its end: after a
  // call whose body it did not read through, nothing more of the caller is certain.
  // Cleared for each call.
  struct CertainCount {
    uint64_t lines;
    bool whole;
  };
  std::unordered_map<const MppMacro*, CertainCount> certainLines;
  // Set when the count met a cycle or came near the nesting limit: a call there may
  // be refused and end its chain, so nothing is certain beyond the call's own body.
  bool certainLinesUnknown = false;
  // Pushes the substituted body as the next input and the expansion on the stack, which
  // takes it over; deletes it when a report ends the run first.
  void expandBody(InputBuffer& input, LineInfo* line, MppExpand* expansion, const char* label);

  // The state of the constructs; the macro and repeat files work on it.
  std::vector<std::unordered_map<const char*, MppDefine*, SymbolTable::NameHash,
                                 SymbolTable::NameEqual>>
      defineScopes;
  std::vector<std::map<const char*, MppMacro*, MppNameLess>> macroScopes;
  bool endReached = false;  // .END was seen: the rest of the input is skipped
  MppIfState* conditionTop = nullptr;
  std::deque<MppIfState*> conditionStack;  // the enclosing levels, innermost last
  int32_t definitionDepth = 0;       // nesting of the block whose body is collected
  std::deque<int32_t> blockStack;    // openers nested inside the body being collected
  MppConstruct* pendingConstruct = nullptr;  // the block construct just collected
  std::deque<MppExpand*> expansionStack;     // active expansions, innermost last
  uint32_t expansionCounter = 0;
  bool inExpansion = false;  // lines are coming from an expansion's text
  int32_t frozenLine = 0;    // the line number of every line of the expansion
  bool released = false;
  // Set by E160 and by the bounds on expansions, cleared when the expansion stack
  // is empty again: refuses every expansion of the chain that hit the limit.
  bool nestingLimitReached = false;
  bool expressionReported = false;  // the last parseExpression reported its failure
  // Lines the expansions of the run have made or are about to make: a repeat block
  // counts all its iterations when it starts, a macro call its body.
  int64_t expansionLines = 0;
  BodySubstitution bodySubstitution;  // scratch buffers of expandBody

 protected:
  void definePredefinedMacros();
  void defineCommandLineMacros();
  // The common definition step of the predefined macros: E276 for a fixed name.
  void defineMacro(const char* name, const char* value, bool fixed);
  // Makes a changed copy of the control state the current one and the line's.
  ControlState* copyControlStateFor(LineInfo* line);

 private:
  // One turn of the line loop; false when the input is done.
  bool readTurn(InputBuffer& input);
  bool readLogicalLine(InputBuffer& input, LineInfo*& lastLine);
  void skipAfterEnd(InputBuffer& input, LineInfo*& lastLine, bool& more);
  // Cuts a line read as several statements into one line per statement, each
  // inserted after the one before and dispatched at once.
  void dispatchStatements(InputBuffer& input, LineInfo* line, const char* text,
                          const LinePosition& position);
  void reportOpenConditionals();

  // Defines and macros held by the scopes of expansions (all but the outermost):
  // while there are none, a look-up asks the outermost scope alone, however deep
  // the expansions nest.
  size_t innerDefines_ = 0;
  // The first bytes, letter case folded, of every name ever defined: most identifiers
  // of a line start with none of them and need no lookup at all.
  // The same of every macro name ever registered.
  uint64_t defineInitials_[4] = {0, 0, 0, 0};
  uint64_t macroInitials_[4] = {0, 0, 0, 0};
  static unsigned char foldInitial(char c) {
    auto byte = static_cast<unsigned char>(c);
    return static_cast<unsigned>(byte - 'a') < 26u ? static_cast<unsigned char>(byte - ('a' - 'A')) : byte;
  }
  static void addInitial(uint64_t (&initials)[4], char first) {
    unsigned char folded = foldInitial(first);
    initials[folded >> 6] |= uint64_t{1} << (folded & 63);
  }
  static bool hasInitial(const uint64_t (&initials)[4], char first) {
    unsigned char folded = foldInitial(first);
    return (initials[folded >> 6] >> (folded & 63)) & 1;
  }
  bool mayBeDefined(char first) const { return hasInitial(defineInitials_, first); }
  bool mayBeMacro(char first) const { return hasInitial(macroInitials_, first); }
  size_t innerMacros_ = 0;
  // The .IF lines of the open conditional levels (all but the bottom one).
  std::unordered_set<const LineInfo*> openIfLines_;
  // The input of a reading in steps, and where the loop stands between turns.
  std::unique_ptr<InputBuffer> input_;
  LineInfo* lastLine_ = nullptr;
  bool more_ = false;
  std::string lineText_;         // the logical line being read, reused
  std::string substitutedText_;  // the line after @-function substitution, reused
  std::string lookupName_;       // a name looked up without interning it, reused
  // The changed copies of the control state made by .RADIX and .COMMENT_PREFIX;
  // lines refer to them until the end of the run.
  std::vector<std::unique_ptr<ControlState>> controlStateCopies_;
  ControlState* currentControlState_ = nullptr;
};
