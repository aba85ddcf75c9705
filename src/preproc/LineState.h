// The list of preprocessed lines that the parser walks, and the registry that gives
// every source file a small dense id, which the lines carry instead of its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct LineInfo;

class LineState {
 public:
  LineState();
  virtual ~LineState();
  LineState(const LineState&) = delete;
  LineState& operator=(const LineState&) = delete;

  // Every line-making operation keeps a copy of its text for the run (null stays null,
  // a range is cut at an embedded NUL; not interned, as nearly every line's text is
  // distinct), makes the record through the factory with the line number line + bias, links it in and returns it. The Named forms register the file name
  // first. A null anchor appends. The variants call the basic operations through the
  // virtual table, so that a subclass changing those changes them all.
  virtual LineInfo* appendRange(const char* from, const char* to, int32_t fileId, int32_t line,
                                int32_t bias);
  virtual LineInfo* appendRangeNamed(const char* from, const char* to, const char* fileName,
                                     int32_t line, int32_t bias);
  virtual LineInfo* appendLine(const char* text, int32_t fileId, int32_t line, int32_t bias);
  virtual LineInfo* appendLineNamed(const char* text, const char* fileName, int32_t line,
                                    int32_t bias);
  virtual LineInfo* insertRangeBefore(LineInfo* anchor, const char* from, const char* to,
                                      int32_t fileId, int32_t line, int32_t bias);
  virtual LineInfo* insertRangeBeforeNamed(LineInfo* anchor, const char* from, const char* to,
                                           const char* fileName, int32_t line, int32_t bias);
  virtual LineInfo* insertLine(LineInfo* anchor, const char* text, int32_t fileId, int32_t line,
                               int32_t bias);
  virtual LineInfo* insertLineNamed(LineInfo* anchor, const char* text, const char* fileName,
                                    int32_t line, int32_t bias);
  virtual LineInfo* insertRangeAfter(LineInfo* anchor, const char* from, const char* to,
                                     int32_t fileId, int32_t line, int32_t bias);
  virtual LineInfo* insertRangeAfterNamed(LineInfo* anchor, const char* from, const char* to,
                                          const char* fileName, int32_t line, int32_t bias);
  virtual LineInfo* insertLineAfter(LineInfo* anchor, const char* text, int32_t fileId,
                                    int32_t line, int32_t bias);
  virtual LineInfo* insertLineAfterNamed(LineInfo* anchor, const char* text,
                                         const char* fileName, int32_t line, int32_t bias);

  // The id of the file name, registering it when new. Ids are dense from 0 in the
  // order of first registration; names are equal only byte for byte. A null name
  // has no id (-1) and is not registered.
  virtual int32_t sourceFileId(const char* fileName);
  // The registered name (interned), or null for an id outside the registry.
  virtual const char* sourceFile(int32_t id) const;
  // The id of a registered name, or -1.
  virtual int32_t findSourceFile(const char* fileName);

  virtual const char* internRange(const char* from, const char* to);
  virtual const char* intern(const char* text);
  virtual void setLineText(const char* text, LineInfo* line);
  // insertLine for a text the run keeps already (another line's): the new line shares
  // it rather than taking a copy of its own.
  LineInfo* insertLineSharingText(LineInfo* anchor, const char* keptText, int32_t fileId, int32_t line,
                                  int32_t bias);
  // The run's copy of a line text, as the line-making operations keep it.
  const char* storeRange(const char* from, const char* to);
  const char* store(const char* text);

  // Takes the line out of the list and deletes it, text and all.
  void removeLine(LineInfo* line);

  // What the run reads from the standard input ("-"), kept for the list file, which
  // reads every source again and cannot read that one twice. Kept only once asked
  // for, before the input is read.
  void keepStandardInput() { keepStandardInput_ = true; }
  bool keepsStandardInput() const { return keepStandardInput_; }
  void keepStandardInputBytes(const char* bytes, size_t length) { standardInput_.append(bytes, length); }
  const std::string& standardInputText() const { return standardInput_; }

  LineInfo* first() const { return first_; }
  LineInfo* last() const { return last_; }
  int32_t fileCount() const { return static_cast<int32_t>(fileNames_.size()); }

  // Older names of sourceFileId and sourceFile, kept for the set-ups that use them.
  uint32_t addSourceFile(const char* fileName) {
    return static_cast<uint32_t>(sourceFileId(fileName));
  }
  const char* fileName(int32_t id) const { return sourceFile(id); }

 private:
  LineInfo* makeLine(const char* storedText, int32_t fileId, int32_t line, int32_t bias);
  void linkAtTail(LineInfo* line);
  void linkBefore(LineInfo* anchor, LineInfo* line);
  void linkAfter(LineInfo* anchor, LineInfo* line);

  LineInfo* first_ = nullptr;
  LineInfo* last_ = nullptr;
  // Keyed by the interned name: interning makes equal names one pointer.
  std::unordered_map<const char*, int32_t> fileIds_;
  std::vector<const char*> fileNames_;
  bool keepStandardInput_ = false;
  std::string standardInput_;
};
