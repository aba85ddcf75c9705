#include "output/ObjectFile.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "expr/ObjectExpr.h"
#include "flow/Section.h"
#include "flow/ObjectStore.h"
#include "flow/SectionAdmin.h"
#include "objlib/elf_writer.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"
#include "output/FileNames.h"
#include "output/NoteSection.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/interrupt.h"
#include "util/RunState.h"
#include "util/OutputFile.h"
#include "util/c-memory.h"

namespace {

struct ActiveWriter {
  ObjectFile* g_activeWriter = nullptr;
};
ActiveWriter& activeWriterState() { return runPart<ActiveWriter>(); }

// The output stream's buffer: object files are written in few large pieces.
constexpr size_t kOutputBufferBytes = 102400;
constexpr size_t kVersionTextLength = 76;

// Which file a failed write went to, and why.
std::string writeFailureText(const std::string& name, int cause) {
  std::string text = " writing \"" + name + "\"";
  if (cause != 0) text += std::string(": ") + std::strerror(cause);
  return text;
}

}  // namespace

std::string toolInvocationText(const std::string& programPath, const std::vector<std::string>& words,
                               size_t maxLength) {
  std::string name = programPath;
  for (char separator : {'\\', '/', ':'}) {
    size_t cut = name.rfind(separator);
    if (cut != std::string::npos) name.erase(0, cut + 1);
  }
  std::string text = name.substr(0, maxLength);
  for (const std::string& word : words) {
    if (text.size() + 1 >= maxLength) break;
    text += ' ';
    text.append(word, 0, maxLength - text.size());
  }
  return text;
}

std::string toolVersionText(const std::string& version) {
  std::string text = version.substr(0, kVersionTextLength);
  size_t lineFeed = text.rfind('\n');
  if (lineFeed != std::string::npos) text[lineFeed] = ' ';
  return text;
}

ObjectFile::ObjectFile(uint32_t storeFileId, ErrorText storeErrorText, ErrorText producerErrorText)
    : storeErrorText_(storeErrorText), producerErrorText_(producerErrorText), store_(storeErrorText) {
  fileId = storeFileId;
  activeWriterState().g_activeWriter = this;
  ObjectExprHooks hooks;
  hooks.symbolReference = &ObjectFile::symbolReference;
  hooks.contextPosition = &ObjectFile::conversionLine;
  setObjectExprHooks(hooks);
}

ObjectFile::~ObjectFile() {
  if (activeWriterState().g_activeWriter == this) activeWriterState().g_activeWriter = nullptr;
  setObjectExprHooks(ObjectExprHooks{});
  // Section records outlive the store: none may keep pointing into its buffers.
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    section->image = nullptr;
    section->writing = 0;
  }
}

ObjectFile* ObjectFile::activeWriter() { return activeWriterState().g_activeWriter; }

void ObjectFile::storeFailed(IosErrorCode code) const {
  reportObjectStoreFailure(code, storeErrorText_ ? storeErrorText_(static_cast<int32_t>(code)) : "");
}

void ObjectFile::write() {
  const RunSettings* options = orbaOptions();
  writeFileRecords(options->outputFile ? options->outputFile : "");
  emitSections();
  // The records name what wrote the file, so they follow every other section.
  NoteSection note;
  note.build(*this);
  checkEquateValues();
  writeElfFile();
}

void ObjectFile::writeFileRecords(const char* objectName) {
  const RunSettings* options = orbaOptions();
  IosErrorCode error = IOS_ERR_INTERNAL;
  name_ = objectName;
  auto setString = [&](int (*setter)(uint32_t, IosHandle, IosErrorCode*), const std::string& text) {
    check(setter(fileId, {fileId, addString(text.c_str())}, &error), error);
  };
  const char* inputName = options->inputFile ? options->inputFile : "";
  setString(ios_file_set_string3, pathBaseName(inputName));
  setString(ios_file_set_version_string, "1.2");
  setString(ios_file_set_string4, pathDirName(inputName));
  setString(ios_file_set_string1, pathBaseName(objectName));
  setString(ios_file_set_string2, pathDirName(objectName));
  check(ios_file_set_mau_size(fileId, 8, &error), error);
  check(ios_file_set_aux_word(fileId, 32, &error), error);
  check(ios_file_set_little_endian(fileId, &error), error);
  setString(ios_file_set_string5, "TRI");
  setString(ios_file_set_string6, options->coreName ? options->coreName : "TC1V1.3");
  setString(ios_file_set_string7, "");
  setString(ios_file_set_string8, "<unknown>");
  setString(ios_file_set_string9, "");
  check(ios_file_set_kind_word(fileId, &error), error);
  setString(ios_file_set_tool_name, "vekt");
  setString(ios_file_set_tool_version, toolVersionText(versionText));
  setString(ios_file_set_tool_invocation, toolInvocationText(programPath, commandWords));
  if (options->absoluteMode)
    check(ios_file_set_flag_one(fileId, &error), error);
  else
    check(ios_file_set_flag_two(fileId, &error), error);

  if (options->asmDebugInfo || options->localDebugSymbols) {
    IosHandle root = {0, 0};
    check(ios_file_get_debug_root(fileId, &root, &error), error);
    IosDebugHandle moduleHandle = {0, 0, 0};
    check(ios_module_create(fileId, &moduleHandle, &error), error);
    IosDebugHandle typeTable = {0, 0, 0};
    check(ios_typetable_create(fileId, &typeTable, &error), error);
    module[0] = moduleHandle.file_id;
    module[1] = moduleHandle.root_id;
    module[2] = moduleHandle.record_id;
  }

  check(ios_scope_get_global(fileId, &globalScope_, &error), error);
  check(ios_scope_create(fileId, {0, 0}, &localScope_, &error), error);
}

void ObjectFile::completeFileRecords() {
  IosErrorCode error = IOS_ERR_INTERNAL;
  IosHandle sourceName = {0, 0};
  if (ios_file_get_string3(fileId, &sourceName, &error) == -1) {
    const char* inputName = orbaOptions()->inputFile ? orbaOptions()->inputFile : "";
    check(ios_file_set_string3(fileId, {fileId, addString(pathBaseName(inputName).c_str())}, &error), error);
    check(ios_file_set_string4(fileId, {fileId, addString(pathDirName(inputName).c_str())}, &error), error);
  }
  if (module[2] > 0) {
    IosDebugHandle moduleHandle = {module[0], module[1], module[2]};
    IosHandle moduleName = {0, 0};
    if (ios_module_get_name(moduleHandle, &moduleName, &error) == -1) {
      std::string base = pathBaseName(orbaOptions()->inputFile ? orbaOptions()->inputFile : "");
      size_t dot = base.rfind('.');
      if (dot != std::string::npos) base.erase(dot);
      check(ios_module_set_name(moduleHandle, {fileId, addString(base.c_str())}, &error), error);
    }
  }
  // Only .CALLS records and aliases make a call graph; a file without one has no
  // call information to resolve.
  IosFile* file = nullptr;
  check(ios_get_file(fileId, &file, &error), error);
  // The resolution fails only when the nodes or the list it makes cannot be had, and
  // then says so with codes of its own: running out of memory, as anywhere else.
  if (file->callgraph && ios_callgraph_resolve(fileId, &error) != 0) mem_out_of_memory();
}

void ObjectFile::writeElfFile() {
  completeFileRecords();
  OutputFile output(OutputRole::kObject);
  // Written front to back: a pipe or a FIFO takes the object as a file does.
  std::FILE* stream = output.open(name_.c_str(), "wb");
  if (!stream) {
    errorHandler()->reportWithoutLocation(F_cannot_create, name_.c_str());
    return;
  }
  std::setvbuf(stream, nullptr, _IOFBF, kOutputBufferBytes);
  ObjLibErrorClass failure = OBJLIB_ERR_NONE;
  errno = 0;
  int failed = elf_write_object(name_.c_str(), stream, fileId, &failure);
  int cause = errno;
  if (failed) {
    output.discard();
    if (failure == OBJLIB_ERR_NO_MEMORY) mem_out_of_memory();
    std::string text = producerErrorText_ ? producerErrorText_(static_cast<int32_t>(failure)) : "";
    if (failure == OBJLIB_ERR_FILE_IO) text += writeFailureText(name_, cause);
    errorHandler()->reportWithoutLocation(F_objlib_error, text.c_str());
    return;
  }
  errno = 0;
  if (!output.commit()) {
    cause = errno;
    std::string text = name_ + (cause != 0 ? std::string(": ") + std::strerror(cause) : std::string());
    errorHandler()->reportWithoutLocation(F_write_error, text.c_str());
  }
}

namespace {

const char* sectionTypeName(int32_t type) {
  switch (type) {
    case Section::kNoType: return "_none";
    case Section::kCode: return "code";
    case Section::kData: return "data";
    case Section::kDebug: return "debug";
    case Section::kRomData: return "romdata";
    default: return "**UNKNOWN SECTION TYPE NAME**";
  }
}

}  // namespace

void printSectionSummary(FILE* stream) {
  // The sections' own summary operations write to a stream; the text is gathered and
  // handed over in one write.
  std::ostringstream out;
  std::map<int32_t, uint32_t> sizeByType;
  std::map<int32_t, uint64_t> cyclesByType;
  bool headerWritten = false;
  std::unique_ptr<SectionAdmin::SectionIter> sections(sectionAdmin()->createIterator());
  for (sections->first(); !sections->isDone(); sections->next()) {
    Section* section = sections->current();
    if (!headerWritten) {
      int headerLength = section->printSummaryHeader(out);
      out << '\n' << std::string(static_cast<size_t>(headerLength > 0 ? headerLength : 0), '-') << '\n';
      headerWritten = true;
    }
    if (section == placeholderSection()) continue;
    if (section->printSummaryLine(out)) out << '\n';
    if (section->type != Section::kNoType) {
      sizeByType[section->type] += section->size;
      cyclesByType[section->type] += section->cycles;
    }
  }
  if (!sizeByType.empty()) {
    char field[64];
    out << "\nSection summary per section type:\n\n";
    std::snprintf(field, sizeof field, "%-15.15s    %-8.8s    %-6.6s\n", "Type", "Size", "Cycles");
    out << field << std::string(40, '-') << '\n';
    for (const auto& [type, typeSize] : sizeByType) {
      const char* typeName = sectionTypeName(type);
      if (std::strlen(typeName) > 15)
        std::snprintf(field, sizeof field, "%-12.12s...", typeName);
      else
        std::snprintf(field, sizeof field, "%-15.15s", typeName);
      out << field << "    ";
      std::snprintf(field, sizeof field, "0x%06lx", static_cast<unsigned long>(typeSize));
      out << field << "    ";
      uint64_t typeCycles = cyclesByType[type];
      if (typeCycles != 0)
        std::snprintf(field, sizeof field, "%06lu", static_cast<unsigned long>(static_cast<uint32_t>(typeCycles)));
      else
        std::snprintf(field, sizeof field, "%-6.6s", "-");
      out << field << '\n';
    }
  }
  const std::string text = out.str();
  // A failed write on the console is not worth a diagnostic.
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}
