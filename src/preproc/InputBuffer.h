// The stack of open input sources every preprocessor reads from: source files
// (read through a fixed read buffer, one physical line at a time) and pieces of
// replacement text, the innermost on top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/MemoryPools.h"
#include "util/c-buffer.h"

class InputBuffer {
 public:
  static constexpr size_t kReadChunk = 32768;
  // Bounds the files open at once: a file that includes itself stops here with a
  // message that says so, long before the process runs out of descriptors.
  static constexpr int32_t kMaxFileDepth = 256;
  // What readChar delivers for a NUL byte of a file, so that it can be reported
  // rather than taken for the end of the input.
  static constexpr int kNulByte = 0x100;
  // Bounds a logical line (continuations included) so that a file without line
  // ends, or a generated monster line, cannot take the memory with it: the rest of
  // a longer line is skipped and the reader reports it.
  static constexpr size_t kMaxLineLength = size_t{4} << 20;
  // Old editors end a file with a Ctrl-Z: in a file it is no part of the text, and
  // every reader of a file source drops it (in the text of an expansion it stays).
  static constexpr uint8_t kCtrlZ = 0x1A;

  enum SourceKind : int32_t { kFileSource = 1, kTextSource = 2 };

  class InputSource {
    VEKT_POOLED_CLASS(InputSource)

   public:
    explicit InputSource(SourceKind kind);
    virtual ~InputSource();
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;

    // Empties the line buffer and loads the next physical line into it.
    void loadLine();
    // Appends the next physical line (through its newline) to the line buffer; at
    // the end of the file nothing is appended. Pointers into the buffer follow it.
    void appendLine();
    // True when every byte of the file has been loaded into the line buffer.
    bool fileExhausted() const { return endOfFile && readCursor == readEnd; }

    InputSource* outer = nullptr;
    // Set when the source is pushed: the innermost file source at or below it, and
    // the number of sources on the stack with it. Expansions nest a thousand deep,
    // so neither is found by walking the stack.
    InputSource* innermostFile = nullptr;
    int32_t depth = 0;
    int32_t kind;
    uint8_t previousChar;  // a file starts at a line start: newline
    int32_t fileId = -1;
    // The number of the line being read; raised once for each newline read.
    int32_t line = 0;
    int32_t blankRuns = 0;  // runs of blanks the directive scanner skipped
    bool started = false;   // the line loop has framed this source
    int fd = -1;            // the descriptor of a file source; 0 for standard input
    bool standardInput = false;  // read from "-": what is read is kept when asked
    char* readBuffer = nullptr;  // kReadChunk bytes and a terminating 0
    const char* readCursor = nullptr;
    const char* readEnd = nullptr;
    bool endOfFile = false;  // a read returned no data
    bool reading = false;    // a line of the file has been loaded
    bool overlongLine = false;  // a line was cut at kMaxLineLength, not yet reported
    const char* lineEnd = nullptr;
    const char* cursor = nullptr;
    int32_t lineOffset = 0;  // offset in the file of the current line
    size_t textLength = 0;   // the text a text source was pushed with
    CBuffer lineBuffer;      // the physical line (file) or the whole text (text source)
    const char* scanMarker = nullptr;
    const char* tokenStart = nullptr;
    const char* tokenEnd = nullptr;

   private:
    friend class InputBuffer;
    void fillReadBuffer();
    void appendBytes(const char* from, size_t length);
  };

  // includePath: the directories of the include search, in order; not owned.
  explicit InputBuffer(const std::vector<const char*>* includePath);
  // Releases the sources still open; a finished preprocessor has retired them all.
  virtual ~InputBuffer();
  InputBuffer(const InputBuffer&) = delete;
  InputBuffer& operator=(const InputBuffer&) = delete;

  // Pushes the file as the new top source, its line counter at initialLine. "-" is
  // the standard input. Without a message when the file cannot be opened (false):
  // the caller reports. A file that opens is recorded as a dependency ("-" is not);
  // only a regular file opens. Too deep a nesting and a failing read are fatal.
  bool openFile(const char* fileName, int32_t initialLine);
  // The include search: the directory of the file being read (unless
  // skipCurrentDirectory; before any file has started, the input file's), then each
  // include-path directory; the first file that opens is pushed, under its joined
  // name, with its line counter at 1. False when none opens.
  bool openInclude(const char* fileName, bool skipCurrentDirectory);
  bool openInDirectory(const char* directory, const char* fileName);
  // Pushes a copy of the text as a text source: file id of the top source, line of
  // the innermost file source.
  void pushText(const char* text, size_t length);
  // Pops and destroys the top source unless it is the bottom one; 1 when popped.
  int popSource();
  // The characters of all text sources on the stack together.
  size_t textBytes() const { return textBytes_; }

  // The next character (1-255, or kNulByte), or 0 when no input is left. Carriage
  // returns and Ctrl-Z bytes of files are dropped, a file's last line gets its
  // newline when it has none, and exhausted sources are retired.
  int readChar() {
    // Most characters of a file need none of that: they are taken here, inline.
    InputSource* source = top_;
    if (source && source->kind == kFileSource && source->cursor < source->lineEnd) {
      auto c = static_cast<uint8_t>(*source->cursor);
      if (c > '\r' && c != kCtrlZ) {
        ++source->cursor;
        source->previousChar = c;
        return c;
      }
    }
    return readCharFromStack();
  }
  // Reads through the next newline; false when the input ended first.
  bool skipLine();
  // Appends the top file source's next physical line, the cursor kept in place.
  void loadLine();
  // True once for each line of the top source that was cut at kMaxLineLength.
  bool takeOverlongLine();
  // The text of the diagnostic for a line cut at kMaxLineLength.
  static const char* overlongLineText();
  // Makes the next line ready at its start: loads the top file source's next
  // physical line when its current one is used up and retires sources with nothing
  // left, so that the top source is where the next character comes from. False
  // when no input is left.
  bool startLine();

  // Raises a file source's line counter for a newline its reader consumed.
  void countNewline(InputSource* source);

  InputSource* top() const { return top_; }
  // The innermost file source on the stack, or null.
  InputSource* innermostFileSource() const { return top_ ? top_->innermostFile : nullptr; }
  // The number of sources on the stack.
  int32_t depth() const { return top_ ? top_->depth : 0; }
  bool isExhausted() const { return top_ == nullptr; }
  const char* lineBufferStart();
  const char*& cursor();
  const char*& tokenStart();
  int32_t& blankRuns();
  // True when the text at the token start begins with the whole given text.
  bool tokenBeginsWith(const char* text) const;
  // The interned text of the current token (up to the cursor for tokens without an
  // end of their own).
  const char* tokenText() const;

  // Line positions: a file id that replaces the top source's (set by line
  // markers), the highest line counter a source of that file reached, and the
  // bias added to every line number.
  int32_t fileIdOverride = -1;
  int32_t highestLine = 0;
  int32_t lineBias = 0;
  // Where the input ended, for lines made after it: set when the last source is
  // retired; the line is the one after the last line read.
  bool endReached = false;
  int32_t endFileId = -1;
  int32_t endLine = 0;

  // The path operations of the include search live with the path helpers of a
  // higher layer; the start-up installs them. join returns a malloc'ed text.
  using JoinPath = char* (*)(const char* directory, const char* fileName);
  using DirectoryOf = const std::string& (*)(const char* path);
  static void installPathOperations(JoinPath join, DirectoryOf directoryOf);

 private:
  int readCharFromStack();
  void retire(InputSource* source);
  void destroy(InputSource* source);

  InputSource* top_ = nullptr;
  // A retired text source kept for the next one: every dispatched line is pushed
  // as a text source, and this spares two allocations per line.
  InputSource* spareText_ = nullptr;
  size_t textBytes_ = 0;
  int32_t fileDepth_ = 0;
  const std::vector<const char*>* includePath_;
};
