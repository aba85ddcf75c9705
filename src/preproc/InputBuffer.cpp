#include "preproc/InputBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "preproc/LineState.h"
#include "util/DependencyHandler.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/OutputFile.h"
#include "util/StringBuffer.h"
#include "util/assertion.h"
#include "util/c-memory.h"
#include "util/RunState.h"
#include "util/InputGate.h"

namespace {

constexpr size_t kLineBufferCapacity = 80;

struct PathOperations {
  InputBuffer::JoinPath joinPath = nullptr;
  InputBuffer::DirectoryOf directoryOf = nullptr;
};
PathOperations& pathOperations() { return runPart<PathOperations>(); }

const char* sourceName(int32_t fileId) {
  const char* name = lineState()->sourceFile(fileId);
  return name ? name : "";
}

}  // namespace

VEKT_POOLED_CLASS_IMPL(InputBuffer::InputSource, "InputBuffer::InputSource")

InputBuffer::InputSource::InputSource(SourceKind sourceKind)
    : kind(sourceKind), previousChar(sourceKind == kFileSource ? '\n' : 0) {
  lineBuffer.size = kLineBufferCapacity;
  lineBuffer.begin = static_cast<char*>(xcalloc(kLineBufferCapacity, 1));
  lineBuffer.end = lineBuffer.begin;
  cursor = lineBuffer.begin;
  lineEnd = lineBuffer.begin;
}

InputBuffer::InputSource::~InputSource() {
  // The standard input stays open for whoever reads it after us.
  if (fd > 0) ::close(fd);
  std::free(readBuffer);
  std::free(lineBuffer.begin);
}

void InputBuffer::InputSource::fillReadBuffer() {
  ssize_t got;
  do {
    errno = 0;
    got = ::read(fd, readBuffer, kReadChunk);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    errorHandler()->reportWithoutLocation(F_file_read, sourceName(fileId), std::strerror(errno));
    got = 0;  // not reached: the report ends the run
  }
  if (got == 0) endOfFile = true;
  // The standard input cannot be read a second time.
  if (standardInput && got > 0 && lineState()->keepsStandardInput())
    lineState()->keepStandardInputBytes(readBuffer, static_cast<size_t>(got));
  readBuffer[got] = '\0';
  readCursor = readBuffer;
  readEnd = readBuffer + got;
}

void InputBuffer::InputSource::appendBytes(const char* from, size_t length) {
  size_t used = static_cast<size_t>(lineBuffer.end - lineBuffer.begin);
  if (used + length + 1 > lineBuffer.size) {
    // The pointers into the line follow the block when it moves.
    const char* oldBegin = lineBuffer.begin;
    auto rebase = [&](const char*& pointer) {
      if (pointer) pointer = lineBuffer.begin + (pointer - oldBegin);
    };
    size_t size = lineBuffer.size;
    while (used + length + 1 > size) size *= 2;
    lineBuffer.begin = static_cast<char*>(xrealloc(lineBuffer.begin, size));
    lineBuffer.size = size;
    lineBuffer.end = lineBuffer.begin + used;
    rebase(cursor);
    rebase(lineEnd);
    rebase(scanMarker);
    rebase(tokenStart);
    rebase(tokenEnd);
  }
  std::memcpy(lineBuffer.end, from, length);
  lineBuffer.end += length;
  *lineBuffer.end = '\0';
}

void InputBuffer::InputSource::appendLine() {
  reading = true;
  const size_t physicalStart = static_cast<size_t>(lineBuffer.end - lineBuffer.begin);
  bool cut = false;
  // Each turn either ends the line or consumes a whole chunk; the end of the file
  // ends the loop.
  for (;;) {
    if (readCursor == readEnd) {
      if (endOfFile) break;
      fillReadBuffer();
      if (readCursor == readEnd) break;
    }
    size_t left = static_cast<size_t>(readEnd - readCursor);
    const char* newline = static_cast<const char*>(std::memchr(readCursor, '\n', left));
    const char* stop = newline ? newline + 1 : readEnd;
    size_t length = static_cast<size_t>(stop - readCursor);
    size_t used = static_cast<size_t>(lineBuffer.end - lineBuffer.begin);
    // The newline does not count toward the bound.
    size_t content = used + length - (newline ? 1 : 0);
    if (!cut && content > kMaxLineLength) {
      // The physical line is dropped whole (what came before it on a continued line
      // is being read already); the chunks up to its newline are only skipped.
      cut = true;
      overlongLine = true;
      lineBuffer.end = lineBuffer.begin + physicalStart;
      *lineBuffer.end = '\0';
    }
    if (!cut) appendBytes(readCursor, length);
    readCursor = stop;
    if (newline) break;
  }
  // The cut line stays a line of its own, so that it is counted and reported even
  // when it was the file's last.
  if (cut) appendBytes("\n", 1);
  lineEnd = lineBuffer.end;
}

void InputBuffer::InputSource::loadLine() {
  lineBuffer.end = lineBuffer.begin;
  *lineBuffer.end = '\0';
  cursor = lineBuffer.begin;
  scanMarker = nullptr;
  tokenStart = nullptr;
  tokenEnd = nullptr;
  appendLine();
  cursor = lineBuffer.begin;
}

void InputBuffer::installPathOperations(JoinPath join, DirectoryOf directory) {
  pathOperations().joinPath = join;
  pathOperations().directoryOf = directory;
}

InputBuffer::InputBuffer(const std::vector<const char*>* includePath)
    : includePath_(includePath) {}

InputBuffer::~InputBuffer() {
  while (top_) {
    InputSource* source = top_;
    top_ = source->outer;
    destroy(source);
  }
  delete spareText_;
}

bool InputBuffer::openFile(const char* fileName, int32_t initialLine) {
  if (fileDepth_ >= kMaxFileDepth) {
    char text[512];
    std::snprintf(text, sizeof text, "files nested deeper than %d levels when opening \"%s\"",
                  static_cast<int>(kMaxFileDepth), fileName);
    errorHandler()->reportWithoutLocation(F_message_fatal, text);
  }
  int fd = 0;
  if (std::strcmp(fileName, "-") != 0) {
    if (!inputPathAllowed(fileName)) return false;
    fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat status;
    // Only a regular file has an end to read to: a directory, device or pipe does
    // not open, as a missing file does not.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      ::close(fd);
      return false;
    }
    dependencyHandler()->addDependency(fileName);
  }
  // Standard input (fd 0) too: it may be redirected from a file named as an output.
  guardInputFile(fd);
  auto* source = new InputSource(kFileSource);
  source->fd = fd;
  source->standardInput = std::strcmp(fileName, "-") == 0;
  source->fileId = lineState()->sourceFileId(fileName);
  source->line = initialLine;
  source->readBuffer = static_cast<char*>(xrealloc(nullptr, kReadChunk + 1));
  source->outer = top_;
  source->innermostFile = source;
  source->depth = top_ ? top_->depth + 1 : 1;
  top_ = source;
  ++fileDepth_;
  source->fillReadBuffer();
  return true;
}

bool InputBuffer::openInDirectory(const char* directory, const char* fileName) {
  VEKT_ASSERT(pathOperations().joinPath);
  char* joined = pathOperations().joinPath(directory, fileName);
  if (!joined) mem_out_of_memory();
  bool opened = openFile(joined, 1);
  std::free(joined);
  return opened;
}

bool InputBuffer::openInclude(const char* fileName, bool skipCurrentDirectory) {
  if (!skipCurrentDirectory) {
    // The file being read is the innermost one that has started; before any has
    // (the -H files, pushed ahead of reading) it is the input file at the bottom,
    // so that one -H file is not looked for beside another.
    InputSource* including = nullptr;
    for (InputSource* source = top_; source; source = source->outer) {
      if (source->kind != kFileSource) continue;
      including = source;
      if (source->reading) break;
    }
    std::string directory;
    if (including) {
      VEKT_ASSERT(pathOperations().directoryOf);
      directory = pathOperations().directoryOf(sourceName(including->fileId));
    }
    if (openInDirectory(directory.c_str(), fileName)) return true;
  }
  if (includePath_) {
    for (const char* directory : *includePath_)
      if (openInDirectory(directory, fileName)) return true;
  }
  return false;
}

void InputBuffer::pushText(const char* text, size_t length) {
  InputSource* source = spareText_;
  if (source) {
    spareText_ = nullptr;
    // Back to what a new text source holds; the line buffer keeps its room.
    source->outer = nullptr;
    source->previousChar = 0;
    source->blankRuns = 0;
    source->lineOffset = 0;
    source->started = false;
    source->lineBuffer.end = source->lineBuffer.begin;
    *source->lineBuffer.end = '\0';
    source->scanMarker = nullptr;
    source->tokenStart = nullptr;
    source->tokenEnd = nullptr;
  } else {
    source = new InputSource(kTextSource);
  }
  source->fileId = top_ ? top_->fileId : -1;
  InputSource* file = innermostFileSource();
  source->line = file ? file->line : 0;
  // A text is a C string to the readers: its first NUL ends it.
  const char* nul = static_cast<const char*>(std::memchr(text, '\0', length));
  if (nul) length = static_cast<size_t>(nul - text);
  source->appendBytes(text, length);
  source->textLength = length;
  textBytes_ += length;
  source->cursor = source->lineBuffer.begin;
  source->lineEnd = source->lineBuffer.end;
  source->outer = top_;
  source->innermostFile = top_ ? top_->innermostFile : nullptr;
  source->depth = top_ ? top_->depth + 1 : 1;
  top_ = source;
}

int InputBuffer::popSource() {
  if (!top_ || !top_->outer) return 0;
  InputSource* source = top_;
  top_ = source->outer;
  destroy(source);
  return 1;
}

void InputBuffer::destroy(InputSource* source) {
  if (source->kind == kFileSource) --fileDepth_;
  if (source->kind == kTextSource) textBytes_ -= source->textLength;
  if (source->kind == kTextSource && !spareText_) {
    spareText_ = source;
    return;
  }
  delete source;
}

void InputBuffer::countNewline(InputSource* source) {
  if (source->kind != kFileSource) return;
  ++source->line;
  if (source->fileId == fileIdOverride && source->line > highestLine) highestLine = source->line;
}

void InputBuffer::retire(InputSource* source) {
  top_ = source->outer;
  if (!top_) {
    endReached = true;
    if (fileIdOverride != -1) {
      endFileId = fileIdOverride;
      endLine = highestLine;
    } else {
      endFileId = source->fileId;
      endLine = source->line;
    }
  }
  destroy(source);
}

int InputBuffer::readCharFromStack() {
  while (InputSource* source = top_) {
    if (source->kind == kTextSource) {
      if (source->cursor < source->lineEnd && *source->cursor != '\0') {
        auto c = static_cast<uint8_t>(*source->cursor++);
        source->previousChar = c;
        return c;
      }
      // Only the bottom text ends in a newline of its own: an inner one goes on
      // with the text below it.
      if (!source->outer && source->previousChar != '\n') {
        source->previousChar = '\n';
        return '\n';
      }
    } else if (source->kind == kFileSource) {
      // Each turn delivers a byte, drops one, or loads a line that is not empty;
      // the end of the file ends it.
      for (;;) {
        while (source->cursor < source->lineEnd) {
          auto c = static_cast<uint8_t>(*source->cursor++);
          if (c == '\r' || c == kCtrlZ) continue;
          source->previousChar = c;
          if (c == '\n') countNewline(source);
          return c == '\0' ? kNulByte : c;
        }
        if (source->fileExhausted()) break;
        source->loadLine();
      }
      if (source->previousChar != '\n') {
        source->previousChar = '\n';
        countNewline(source);
        return '\n';
      }
    }
    retire(source);
  }
  return 0;
}

bool InputBuffer::startLine() {
  while (InputSource* source = top_) {
    if (source->kind == kFileSource) {
      if (source->cursor == source->lineEnd) source->loadLine();
      if (source->cursor < source->lineEnd || source->previousChar != '\n') return true;
    } else {
      bool more = source->cursor < source->lineEnd && *source->cursor != '\0';
      if (more || (!source->outer && source->previousChar != '\n')) return true;
    }
    retire(source);
  }
  return false;
}

bool InputBuffer::skipLine() {
  if (!top_) return true;
  for (;;) {
    int c = readChar();
    if (c == '\n') return true;
    if (c == 0) return false;
  }
}

bool InputBuffer::takeOverlongLine() {
  InputSource* file = top_ ? top_->innermostFile : nullptr;
  if (!file || !file->overlongLine) return false;
  file->overlongLine = false;
  return true;
}

const char* InputBuffer::overlongLineText() {
  static_assert(kMaxLineLength == 4194304, "the text below names the bound");
  return "line longer than 4194304 characters skipped";
}

void InputBuffer::loadLine() {
  if (!top_ || top_->kind != kFileSource) return;
  // appendLine carries the cursor along when the buffer moves.
  top_->appendLine();
}

const char* InputBuffer::lineBufferStart() {
  VEKT_ASSERT(top_);
  *top_->lineBuffer.end = '\0';
  return top_->lineBuffer.begin;
}

const char*& InputBuffer::cursor() {
  VEKT_ASSERT(top_);
  return top_->cursor;
}

const char*& InputBuffer::tokenStart() {
  VEKT_ASSERT(top_);
  return top_->tokenStart;
}

int32_t& InputBuffer::blankRuns() {
  VEKT_ASSERT(top_);
  return top_->blankRuns;
}

bool InputBuffer::tokenBeginsWith(const char* text) const {
  VEKT_ASSERT(top_);
  const char* token = top_->tokenStart;
  if (!token || !text || *token != *text) return false;
  return std::strncmp(token, text, std::strlen(text)) == 0;
}

const char* InputBuffer::tokenText() const {
  VEKT_ASSERT(top_);
  const char* end = top_->tokenEnd ? top_->tokenEnd : top_->cursor;
  return stringBuffer()->internRange(top_->tokenStart, end);
}
