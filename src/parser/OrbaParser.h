// The statement parser: walks the line list, gives every line the control state and
// the section that apply to it, and parses the lines marked for assembly into
// symbols, sections and flow nodes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "parser/LineScanner.h"

class InstructionStatements;
class LineStream;
class Section;
class SectionAdmin;
struct LineInfo;

// What the statement frame hands to a directive or control handler besides the
// scanner, which stands right after the statement's keyword.
struct Statement {
  LineInfo* line = nullptr;
  // The caller's current-section variable; a section directive also writes the
  // line's section, which the parse loop carries on to the next line.
  Section** current = nullptr;
  // The statement's label (interned) or null; .EQU, .SET and .ALIAS take it as the
  // name they define, every other keyword that allows a label finds it defined.
  const char* label = nullptr;
  // The label was followed by a colon.
  bool labelColon = false;
  // The token code of the keyword.
  int32_t keyword = 0;
};

class OrbaParser {
 public:
  OrbaParser();
  virtual ~OrbaParser();
  OrbaParser(const OrbaParser&) = delete;
  OrbaParser& operator=(const OrbaParser&) = delete;

  // The whole parse: every line from the head of the line list up to the line that
  // ends the source, then the end-of-source checks.
  virtual void parse();
  // The same over the lines the stream hands on as the preprocessor makes them; the
  // stream is finished before the end-of-source checks.
  void parse(LineStream* stream);
  // The lines a generic instruction generated, first to last, parsed after the parse of
  // the source has ended: each in its statement's section and control state.
  void parseExpansionLines(LineInfo* first, LineInfo* last);
  // One line marked for assembly; false when a diagnostic abandoned the statement.
  virtual bool parseLine(SectionAdmin* admin, Section** current, LineInfo* line);
  // Defines the label as a symbol at the line with a label node in the section;
  // false (after a diagnostic) when the name cannot be defined.
  virtual bool defineLabel(Section* section, LineInfo* line, const char* name, int32_t nextToken);
  // W209 at the first line after the END line that holds more than blanks and a comment.
  virtual void checkTextAfterEnd(LineInfo* endLine);
  // E120 with the word at the line; always false.
  virtual bool unsupportedStatement(LineInfo* line, const char* word);
  // The instruction statement that starts at position; consumed receives the number
  // of characters it took. False after a diagnostic.
  virtual bool instructionStatement(const char* position, LineInfo* line, uint32_t* consumed);

  Scanner& scanner() { return scanner_; }

 private:
  // The common end of a statement: only the end of the line or a comment may follow.
  bool statementEnd(LineInfo* line);

  Scanner scanner_;
  std::unique_ptr<InstructionStatements> instructions_;
};

// What the parse lets go of, line by line, when a stream lets it (see
// LineStream::letsGoOfLines): an assembled line's text once its statement is done,
// and a line that was not assembled once nothing can refer to it any more.
class LineRelease {
 public:
  // Inactive without a stream.
  LineRelease(LineStream* stream, LineInfo* head);
  bool active() const { return stream_ != nullptr; }
  // The parse has passed the line (and has the line after it).
  void passed(LineInfo* line);
  // The last line passed that had a text; kept whole.
  LineInfo* lastTextLine() const { return lastText_; }

 private:
  void consider(LineInfo* line);
  // Lets go of the line now or, while the preprocessor may come back to it, later.
  void release(LineInfo* line);
  void letGo(LineInfo* line);

  LineStream* stream_;
  LineInfo* head_;
  LineInfo* lastText_ = nullptr;
  // The last statement's own line when nothing refers to it any more (Section.h).
  LineInfo* leanOnly_ = nullptr;
  // The lines let go of by the last statement, reused from statement to statement.
  std::vector<LineInfo*> letGo_;
  // Lines to let go of once the preprocessor no longer holds them, and the length of
  // the list at which it is asked again which it holds.
  static constexpr size_t kRecheckWaiting = 64;
  std::vector<LineInfo*> waiting_;
  size_t recheckWaiting_ = kRecheckWaiting;
};

// The line that parseLine is working on; null between lines. Diagnostics raised
// without a line of their own belong to it.
LineInfo* currentParseLine();
