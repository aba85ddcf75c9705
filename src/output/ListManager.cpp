#include "output/ListManager.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

#include "expr/OrbaExpression.h"
#include "expr/SymbolValueMemo.h"
#include "flow/FSymbolDefinition.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "output/FileNames.h"
#include "output/ListLine.h"
#include "output/ListPage.h"
#include "output/ObjectFile.h"
#include "parser/LineFlags.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"
#include "util/c-memory.h"
#include "util/interrupt.h"

namespace {

constexpr size_t kOutputBufferSize = 1 << 16;
constexpr size_t kReadChunk = 1 << 16;

bool isFileStart(const LineInfo& line) { return line.flags[3] & lineflag::kStartOfFile; }
bool isFileEnd(const LineInfo& line) { return line.flags[3] & lineflag::kEndOfFile; }
bool isPageBreak(const LineInfo& line) { return line.flags[2] & lineflag::kControlListedAnyway; }
bool isListedAlready(const LineInfo& line) { return line.flags[1] & lineflag::kListed; }
void markListed(LineInfo& line) { line.flags[1] |= lineflag::kListed; }

// The name with everything from its last '.' replaced by the extension.
std::string withListExtension(const char* name) {
  std::string result = name;
  size_t dot = result.rfind('.');
  if (dot != std::string::npos) result.erase(dot);
  return result + ".lst";
}

int32_t unitBitsOf(const Section* section) { return section ? section->mauBits : 8; }

}  // namespace

const char* listFileName() {
  const RunSettings* options = orbaOptions();
  std::string name;
  if (options->listFile && *options->listFile)
    name = options->listFile;
  else if (options->outputFile && *options->outputFile)
    name = withListExtension(options->outputFile);
  else
    name = pathBaseName(options->inputFile ? options->inputFile : "") + ".lst";
  return stringBuffer()->intern(name.c_str());
}

ListManager::ListManager(const char* banner) : banner_(banner ? banner : "") {}

ListManager::~ListManager() {
  sources_.clear();
  // An unfinished list file is dropped by output_.
}

const ControlState& ListManager::stateOf(const LineInfo* line) const {
  return line && line->controlState ? *line->controlState : *defaultState_;
}

void ListManager::generate() {
  const char* name = listFileName();
  out_ = output_.open(name, "w");
  if (!out_) {
    errorHandler()->reportWithoutLocation(F_cannot_create, name);
    return;
  }
  std::setvbuf(out_, nullptr, _IOFBF, kOutputBufferSize);
  defaultState_ = std::make_unique<ControlState>();
  pager_ = std::make_unique<listing::ListPager>(out_, banner_);
  lastPosition_ = 0;
  lastLineNumber_ = 0;
  if (orbaOptions()->listEquateValues) collectEquateValues();

  ErrorHandler* handler = errorHandler();
  LineState* lines = lineState();
  const LineInfo* lastLine = nullptr;
  for (LineInfo* line = lines->first(); line; line = line->next) {
    lastLine = line;
    if (isListedAlready(*line)) continue;
    if (isFileStart(*line)) pushSource(line);
    Section* section = line->section ? line->section : placeholderSection();
    if (line->flags[1] & lineflag::kSectionDirective) settleSectionAddress(line);
    if ((line->flags[1] & lineflag::kControlLine) && line->extras().printerControlCount > 0)
      std::fwrite(line->extras().printerControl, 1, line->extras().printerControlCount, out_);
    const ControlState& state = stateOf(line);
    if (line == lines->first()) {
      pager_->page.takeSettings(state);
      pager_->newPage(state);
    }
    if (isListed(*line) || handler->hasErrorAt(line)) {
      listLine(line, section);
      pager_->writeDiagnostics(*line, state);
    } else if ((line->sourceStart() < 1 || line->sourceStart() >= lastPosition_) && lastPosition_ < line->sourceEnd()) {
      // Text of a line that is not shown counts as listed: no gap repeats it.
      lastPosition_ = line->sourceEnd();
      lastLineNumber_ = line->lineNumber;
    }
    if (isFileEnd(*line)) {
      listLine(line, section);
      popSource(line);
    }
  }
  if (lastLine) writeSummary(stateOf(lastLine));

  out_ = nullptr;
  if (!output_.commit()) errorHandler()->reportWithoutLocation(F_write_error, name);
}

void ListManager::collectEquateValues() {
  // Equates name one another: each symbol's value is evaluated once for all lines.
  SymbolValueMemo values;
  SymbolValueMemo::Use use(values);
  auto collect = [this](const Section* section) {
    for (FlowNode* node = section->firstNode(); node; node = node->nextNode()) {
      if (node->kind != FlowNode::kEquSet || !node->line) continue;
      OrbaExpression* expression = static_cast<FEquSet*>(node)->value;
      OrbaExpression* value = expression ? expression->evaluate() : nullptr;
      if (value && !value->isError() && value->getKind() == EK_integer)
        equateValues_[node->line] = value->getInteger();
    }
  };
  if (const Section* placeholder = placeholderSection()) collect(placeholder);
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) collect(sections->current());
}

void ListManager::writeSummary(const ControlState& state) {
  if (!orbaOptions()->sectionInfoList) return;
  char* text = nullptr;
  size_t length = 0;
  FILE* buffer = open_memstream(&text, &length);
  if (!buffer) return;
  errorHandler()->summaryHook(buffer);
  printSectionSummary(buffer);
  std::fclose(buffer);
  if (length > 0) pager_->writeEndText(state, std::string_view(text, length));
  std::free(text);
}

void ListManager::listLine(LineInfo* line, Section* section) {
  const ControlState& state = stateOf(line);
  listing::ListPager& pager = *pager_;
  const bool listsGenericExpansion = state.listing(ControlState::kListGenericExpansion);
  // A generic's expansion line shows on the generic's own line unless 'g' is on.
  if (listing::isExpansionLine(*line) && (line->flags[2] & lineflag::kGeneratedListable) &&
      !listing::isPrimaryExpansion(*line) && !listsGenericExpansion)
    return;
  pager.page.takeSettings(state);
  listing::RowLayout layout{pager.page.width, pager.page.leftMargin};

  const bool fileEnd = isFileEnd(*line);
  bool gapWanted = false;
  uint32_t gapEnd = 0;
  if (fileEnd && state.listCounter > 0) {
    gapWanted = true;
    gapEnd = line->sourceStart();
  } else if (line->sourceStart() > 0 && lastPosition_ < line->sourceStart()) {
    gapWanted = true;
    gapEnd = line->sourceStart();
  }
  if (gapWanted) {
    std::string_view gap = readSourceRange(line, lastPosition_, gapEnd);
    if (!gap.empty()) {
      listing::ListEntry entry;
      entry.state = &state;
      entry.section = section;
      entry.unitBits = unitBitsOf(section);
      entry.text = gap;
      entry.lineNumber = lastLineNumber_ + 1;
      int32_t rowCount = listing::formatListLine(entry, layout, rows_);
      pager.writeEntry(state, rows_, rowCount, false);
      // The gap is listed: a line shown later with no text of its own must not
      // bring it back.
      lastPosition_ = static_cast<uint32_t>(gap.data() - sources_.back().bytes.data() + gap.size());
      int64_t lineFeeds = 0;
      for (char c : gap) lineFeeds += c == '\n';
      lastLineNumber_ += lineFeeds + (gap.back() != '\n' ? 1 : 0);
    }
  }

  if (isPageBreak(*line) && !state.listing(ControlState::kListControl)) {
    lastLineNumber_ = line->lineNumber;
    if (line->sourceEnd() != 0) lastPosition_ = line->sourceEnd();
    if (pager.page.pagingOn()) pager.newPage(state);
    markListed(*line);
    return;
  }
  if (fileEnd || !isListed(*line)) return;

  const bool keepSource = line->flags[3] & lineflag::kSplit;
  const bool asWritten = !listing::isExpansionLine(*line) && !(line->flags[0] & lineflag::kMacroExpansion) &&
                         !listing::isAlignmentFill(*line) &&
                         (!state.listing(ControlState::kListDefineExpansion) || keepSource);
  // A line made after a source line (a section's closing label) shares that line's
  // byte range without text or code of its own: the range is listed already, and
  // reading it again would show the source line twice.
  if (asWritten && !line->text && listing::codeByteCount(*line) == 0 && line->sourceEnd() > line->sourceStart() &&
      line->sourceEnd() <= lastPosition_) {
    markListed(*line);
    return;
  }
  std::string_view text;
  if (asWritten && line->sourceEnd() > line->sourceStart())
    text = readSourceRange(line, line->sourceStart(), line->sourceEnd());
  if (text.empty()) {
    text = line->text ? std::string_view(line->text) : std::string_view();
    if (text.empty() && line->sourceStart() == lastPosition_ && line->sourceEnd() > line->sourceStart())
      text = readSourceRange(line, line->sourceStart(), line->sourceEnd());
  }

  const bool showRelocations = orbaOptions()->listRelocations;
  dataBytes_.clear();
  listing::appendLineBytes(*line, unitBitsOf(section), showRelocations, dataBytes_);
  uint64_t cycles = listing::lineCycles(*line);
  if ((line->flags[2] & lineflag::kGenericLine) && state.listing(ControlState::kListGeneric) &&
      !listsGenericExpansion) {
    // Without 'g' the generic's line carries the code and cycles of its expansion.
    // Its members are the hardware line right after it and the lines of its expansions;
    // another hardware line (variant 0) is the next generic's.
    for (LineInfo* member = line->next; member && listing::isExpansionLine(*member) &&
                                        (member == line->next || member->variant() != 0);
         member = member->next) {
      if (member->flags[2] & lineflag::kGeneratedListable) {
        listing::appendLineBytes(*member, unitBitsOf(section), showRelocations, dataBytes_);
        cycles += listing::lineCycles(*member);
      } else {
        markListed(*member);
      }
    }
  }
  uint64_t& running = runningCycles_[section];
  running += cycles;

  lastLineNumber_ = line->lineNumber;
  if (line->sourceEnd() != 0) lastPosition_ = line->sourceEnd();

  listing::ListEntry entry;
  entry.line = line;
  entry.section = section;
  entry.unitBits = unitBitsOf(section);
  entry.state = &state;
  entry.text = text;
  entry.data = dataBytes_;
  entry.lineNumber = line->lineNumber;
  entry.lineCycles = cycles;
  entry.runningCycles = running;
  if (auto value = equateValues_.find(line); value != equateValues_.end()) entry.equateValue = &value->second;
  int32_t rowCount = listing::formatListLine(entry, layout, rows_);
  pager.writeEntry(state, rows_, rowCount, true);
  markListed(*line);

  if (isPageBreak(*line) && pager.page.pagingOn()) pager.newPage(state);
}

void ListManager::pushSource(LineInfo* line) {
  const char* name = lineState()->sourceFile(static_cast<int32_t>(line->sourceFile));
  SourceRecord record;
  record.savedPosition = lastPosition_;
  record.savedLineNumber = lastLineNumber_;
  if (name && std::strcmp(name, "-") == 0 && lineState()->keepsStandardInput()) {
    // The standard input cannot be read again: its text was kept as it was read.
    const std::string& text = lineState()->standardInputText();
    record.bytes.assign(text.begin(), text.end());
  } else {
    FILE* file = name ? std::fopen(name, "rb") : nullptr;
    if (!file) {
      // No memory for the stream is no fault of the file.
      if (name && errno == ENOMEM) mem_out_of_memory();
      errorHandler()->report(F_cannot_open, line, name ? name : "");
      return;
    }
    // Read whole: the pass takes every line's text from it by offset. A regular file's
    // size is known: the buffer takes it at once rather than doubling its way there,
    // which held up to three times the text while it grew.
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
      record.bytes.reserve(static_cast<size_t>(info.st_size) + kReadChunk);
    size_t length = 0;
    for (;;) {
      record.bytes.resize(length + kReadChunk);
      size_t got = std::fread(record.bytes.data() + length, 1, kReadChunk, file);
      length += got;
      if (got < kReadChunk) break;
    }
    record.bytes.resize(length);
    std::fclose(file);
  }
  sources_.push_back(std::move(record));
  lastPosition_ = 0;
  lastLineNumber_ = 0;
}

void ListManager::popSource(LineInfo* line) {
  if (sources_.empty()) {
    errorHandler()->report(F_message_fatal, line, "file stack is empty");
    return;
  }
  lastPosition_ = sources_.back().savedPosition;
  lastLineNumber_ = sources_.back().savedLineNumber;
  sources_.pop_back();
}

std::string_view ListManager::readSourceRange(LineInfo* line, uint32_t start, uint32_t end) {
  if (sources_.empty()) {
    errorHandler()->report(F_message_fatal, line, "file stack is empty");
    return {};
  }
  const std::vector<char>& bytes = sources_.back().bytes;
  size_t stop = end == 0 ? bytes.size() : std::min<size_t>(end, bytes.size());
  if (start >= stop) return {};
  return std::string_view(bytes.data() + start, stop - start);
}

void ListManager::settleSectionAddress(LineInfo* line) {
  const Section* section = line->section;
  for (const LineInfo* next = line; next && next->section == section; next = next->next) {
    if (next->codeAddress() >= 0) {
      line->setCodeAddress(next->codeAddress());
      return;
    }
  }
  for (const LineInfo* before = line->previous; before && before->section == section; before = before->previous) {
    if (before->codeAddress() < 0) continue;
    int32_t repeat = listing::repeatCount(*before);
    const uint32_t count = listing::codeByteCount(*before);
    int64_t code = repeat != 0 ? int64_t{repeat} * count : count;
    int64_t end = before->codeAddress() + listing::reservedCount(*before) + code;
    if (end >= 0) {
      line->setCodeAddress(static_cast<int32_t>(end));
      return;
    }
  }
  line->setCodeAddress(0);
}
