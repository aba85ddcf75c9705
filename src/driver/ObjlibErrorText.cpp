#include "driver/ObjlibErrorText.h"

#include <cstdio>
#include <iterator>
#include "util/RunState.h"

namespace {

// Entry i holds the text of code i.
constexpr const char* kIosErrorTexts[] = {
    "could not allocate memory",
    "internal error",
    "requested ios object property does not exist",
    "admin id does not exist",
    "encountered id representing a deleted object",
    "file id does not exist",
    "value already exists",
    "section id does not exist",
    "section size must be set before creating an image",
    "callgraph id does not exist",
    "call id does not exist",
    "call type does not exist",
    "call recursion does not exist",
    "callee does not exist",
    "trying to add a recursive call or call alias",
    "illigal scope",
    "scope id does not exist",
    "symbol id does not exist",
    "multiple definition of symbol",
    "typetable id does not exist",
    "module id does not exist",
    "variable id does not exist",
    "lifetime id does not exist",
    "function id does not exist",
    "lexical_block id does not exist",
    "stack usage id does not exist",
    "typeref id does not exist",
    "type id does not exist",
    "delta id does not exist",
    "line id does not exist",
    "special id does not exist",
    "line block id does not exist",
    "asm section id does not exist",
    "image id does not exist",
    "overlapping data while setting constant image data",
    "size of data appears to be too large",
    "mausize of source and destination section differ",
    "string id does not exist",
    "expression id does not exist",
    "expression symbol id does not exist",
    "typeref is not a simple type",
    "typeref is not an array",
    "typeref is not a pointer",
    "typeref is not a reference",
    "typeref is not a structure",
    "typeref is not a member",
    "typeref is not a union",
    "typeref is not a typedef",
    "typeref is not an enum",
    "typeref is not a function type",
    "typeref is not a qualifier",
    "typeref is not a bitfield",
    "invalid misra-C settings",
    "mau size is not within 1..64",
    "data id does not exist",
    "group id does not exist",
    "Compiler name string was not present or too short",
    "Compiler version string was not present or too short",
    "Compiler invocation string was not present or too short",
};
static_assert(std::size(kIosErrorTexts) == 59);

constexpr const char* kObjlibErrorTexts[] = {
    "no error",
    "internal error",
    "file io error occurred",
    "could not allocate memory",
    "consumer error",
    "producer error",
    "could not extract/insert information from/into intermediate object storage",
    "could not extract/insert information from/into expression library",
    "obligated field is missing",
    "unsupported file format",
    "encountered syntactically incorrect file",
    "unsupported platform",
    "undefined reference",
    "undefined type reference",
    "unsupported abi version",
    "address overflow",
    "too many sections",
};
static_assert(std::size(kObjlibErrorTexts) == 17);

template <size_t N>
const char* lookup(const char* const (&texts)[N], int32_t code, char* unknownText,
                   size_t unknownSize) {
  if (code >= 0 && static_cast<size_t>(code) < N) return texts[code];
  // A fatal message is about to print this; naming the code beats an empty cause.
  std::snprintf(unknownText, unknownSize, "unknown error code %d", static_cast<int>(code));
  return unknownText;
}

// The text of an unknown code lives until the next such lookup.
struct UnknownCodeTexts {
  char ios[40] = {};
  char objlib[40] = {};
};

}  // namespace

const char* ios_error_text(int32_t code) {
  char* unknownText = runPart<UnknownCodeTexts>().ios;
  return lookup(kIosErrorTexts, code, unknownText, sizeof UnknownCodeTexts::ios);
}

const char* objlib_error_text(int32_t code) {
  char* unknownText = runPart<UnknownCodeTexts>().objlib;
  return lookup(kObjlibErrorTexts, code, unknownText, sizeof UnknownCodeTexts::objlib);
}
