// Builds the note section from arbitrary tool and compiler texts, through the real
// object store, and reads the stored bytes back as ELF note records: whatever the
// texts, the records must fill the section exactly, come in type order with only the
// properties that were set, and carry each text with its NUL and word padding. The
// first byte says which of the six properties are set; the texts follow, NUL-separated.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/OrbaOptions.h"
#include "expr/ObjectExpr.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/SymbolTable.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "output/NoteSection.h"
#include "output/ObjectFile.h"
#include "preproc/LineState.h"
#include "util/ErrorHandler.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"

namespace {

using Setter = int (*)(uint32_t, IosHandle, IosErrorCode*);
const Setter kSetters[6] = {ios_file_set_compiler_name,   ios_file_set_compiler_version,
                            ios_file_set_compiler_invocation, ios_file_set_tool_name,
                            ios_file_set_tool_version,    ios_file_set_tool_invocation};

const char* errorText(int32_t) { return "fuzz"; }

void setUp(OrbaFactory& factory) {
  char program[] = "vekt";
  char* argv[] = {program, nullptr};
  runState().orbaOptions = new OrbaOptions(1, argv);
  runState().stringBuffer = new StringBuffer();
  runState().lineState = new LineState();
  runState().lineState->addSourceFile("fuzz.asm");
  runState().symbolTable = new SymbolTable();
  runState().orbaFactory = &factory;
  IosErrorCode error = IOS_ERR_INTERNAL;
  if (ios_admin_init(&error) != 0) __builtin_trap();
}

uint32_t word(const uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

std::vector<uint8_t> storedBytes(const Section& section) {
  IosHandle handle = {section.objectHandle[0], section.objectHandle[1]};
  IosErrorCode error = IOS_ERR_INTERNAL;
  uint32_t size = 0;
  if (ios_section_get_size(handle, &size, &error) != 0) __builtin_trap();
  IosHandle image = {0, 0};
  if (ios_section_get_image(handle, &image, &error) != 0) __builtin_trap();
  std::vector<uint8_t> bytes;
  while (bytes.size() < size) {
    void* storage = nullptr;
    uint32_t left = 0;
    if (ios_image_get_data_entry(image, static_cast<uint32_t>(bytes.size()), &storage, &left, &error) != 0)
      __builtin_trap();
    const auto* units = static_cast<const uint8_t*>(storage);
    for (uint32_t index = 0; index < left && bytes.size() < size; ++index) bytes.push_back(units[index]);
  }
  return bytes;
}

}  // namespace

// Pooled objects go with the pools of each input's run, not one by one.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzRun run;
  OrbaFactory factory;
  setUp(factory);
  runState().errorHandler = new ErrorHandler();
  runState().sectionAdmin = new SectionAdmin();

  IosErrorCode error = IOS_ERR_INTERNAL;
  uint32_t fileId = 0;
  if (ios_file_create_sized(8, &fileId, &error) != 0) __builtin_trap();
  ExprLibContext* context = nullptr;
  if (ios_file_get_expr_context(fileId, &context, &error) != 0) __builtin_trap();
  setObjectExprContext(context);

  // The texts, each up to the next NUL; a missing one is empty.
  std::vector<std::string> texts;
  const char* cursor = reinterpret_cast<const char*>(data) + 1;
  const char* end = reinterpret_cast<const char*>(data) + size;
  for (int index = 0; index < 6; ++index) {
    const char* stop = static_cast<const char*>(std::memchr(cursor, '\0', static_cast<size_t>(end - cursor)));
    if (!stop) stop = end;
    texts.emplace_back(cursor, stop);
    cursor = stop < end ? stop + 1 : end;
  }
  std::vector<uint32_t> expectedTypes;
  for (int index = 0; index < 6; ++index) {
    if (!(data[0] & (1u << index))) continue;
    IosHandle string = {0, 0};
    if (ios_strtab_add(fileId, texts[index].c_str(), &string, &error) != 0) __builtin_trap();
    if (kSetters[index](fileId, string, &error) != 0) __builtin_trap();
    expectedTypes.push_back(static_cast<uint32_t>(NoteSection::kCompilerName + index));
  }

  {
    ObjectFile writer(fileId, errorText, errorText);
    NoteSection note;
    note.build(writer);
    if (expectedTypes.empty()) {
      if (note.section()) __builtin_trap();
    } else {
      const Section* section = note.section();
      if (!section || section->size != note.noteSize()) __builtin_trap();
      std::vector<uint8_t> bytes = storedBytes(*section);
      if (bytes.size() != note.noteSize()) __builtin_trap();
      size_t at = 0;
      for (uint32_t type : expectedTypes) {
        if (at + 20 > bytes.size()) __builtin_trap();
        uint32_t nameSize = word(&bytes[at]);
        uint32_t descSize = word(&bytes[at + 4]);
        if (nameSize != 7 || word(&bytes[at + 8]) != type) __builtin_trap();
        if (std::memcmp(&bytes[at + 12], "Veltra\0\0", 8) != 0) __builtin_trap();
        at += 20;
        const std::string& text = texts[type - NoteSection::kCompilerName];
        size_t padded = (descSize + 3u) & ~3u;
        if (descSize != text.size() + 1 || at + padded > bytes.size()) __builtin_trap();
        if (std::memcmp(&bytes[at], text.data(), text.size()) != 0) __builtin_trap();
        for (size_t index = text.size(); index < padded; ++index)
          if (bytes[at + index] != 0) __builtin_trap();
        at += padded;
      }
      if (at != bytes.size()) __builtin_trap();
    }
  }

  setObjectExprContext(nullptr);
  ios_file_delete(fileId, &error);
  return 0;
}
