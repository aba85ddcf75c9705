#include "flow/FLoad.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "expr/OrbaExpression.h"
#include "flow/DataEncoder.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "util/ErrorHandler.h"
#include "util/InputGate.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/OutputFile.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"
#include "util/c-memory.h"

VEKT_POOLED_CLASS_IMPL(FLoad, "FLoad")

namespace {

// Whether a name is a regular file that opens for reading, something else (a device,
// a FIFO, a directory), or nothing at all. Only a regular file is ever opened: a FIFO
// would wait for a writer, and a device may never end.
enum class FileKind { kMissing, kRegular, kOther };

FileKind fileKind(const char* path) {
  if (!inputPathAllowed(path)) return FileKind::kMissing;
  struct stat status;
  if (::stat(path, &status) != 0) return FileKind::kMissing;
  if (!S_ISREG(status.st_mode)) return FileKind::kOther;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return FileKind::kMissing;
  std::fclose(file);
  return FileKind::kRegular;
}

// The length of a regular file in bytes, in 64 bits; -1 when there is none.
int64_t fileLength(const char* path) {
  struct stat status;
  if (::stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return -1;
  return static_cast<int64_t>(status.st_size);
}

std::string joinPath(const std::string& directory, const char* name) {
  if (directory.empty()) return name;
  char last = directory.back();
  return last == '/' || last == '\\' ? directory + name : directory + "/" + name;
}

// The directory part of a source file's name; "." for a bare name.
std::string directoryOf(const char* file) {
  std::string directory = file;
  size_t slash = directory.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  directory.resize(slash == 0 ? 1 : slash);
  return directory;
}

constexpr const char* kNotRegularFile = "not a regular file";

// Bytes of a file read, stored and listed at a time.
constexpr size_t kLoadPieceBytes = size_t{64} << 10;

uint32_t bytesPerUnit(int32_t unitBits) { return unitBits > 8 ? static_cast<uint32_t>(unitBits + 7) / 8 : 1; }

// Zeros the bytes of an image range that are not zero yet. Nothing has written most of
// a large padding (only a part of a max section after a reset meets the bytes of an
// earlier part): its pages are only read, and a page that is only read takes no memory
// of its own.
void clearImage(uint8_t* bytes, size_t count) {
  size_t index = 0;
  for (; index + sizeof(uint64_t) <= count; index += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, bytes + index, sizeof word);
    if (word != 0) std::memset(bytes + index, 0, sizeof word);
  }
  for (; index < count; ++index)
    if (bytes[index] != 0) bytes[index] = 0;
}

}  // namespace

FLoad::FLoad(LineInfo* line, const char* fileName, OrbaExpression* sizeExpression, const Section* section)
    : FlowNode(line, kLoad),
      sizeExpression(sizeExpression),
      fileName(fileName),
      unitBits(section && section->mauBits > 0 ? section->mauBits : 8) {}

FlowNode* FLoad::clone() const {
  auto* copy = new (std::nothrow) FLoad(line, fileName, sizeExpression, nullptr);
  if (!copy) return nullptr;
  copy->copyBaseForClone(*this);
  copy->unitBits = unitBits;
  copy->directive = directive;
  copy->resolvedPath = resolvedPath;
  copy->searched = searched;
  copy->notRegular = notRegular;
  return copy;
}

const char* FLoad::path() {
  if (searched) return resolvedPath;
  searched = 1;
  if (!fileName || !*fileName) return nullptr;
  // A name that is there but not a regular file is remembered, so that the node says
  // so rather than that nothing was found.
  auto found = [this](const char* candidate) {
    FileKind kind = fileKind(candidate);
    if (kind == FileKind::kOther) notRegular = 1;
    return kind == FileKind::kRegular;
  };
  if (found(fileName)) {
    resolvedPath = fileName;
    return resolvedPath;
  }
  // An absolute name is found as written or not at all.
  if (fileName[0] == '/' || fileName[0] == '\\') return nullptr;
  // The directory of the source that holds the directive comes before the include path.
  const char* source = line && runState().sourceNameLookup ? sourceFileName(static_cast<int32_t>(line->sourceFile)) : nullptr;
  if (source && *source) {
    std::string candidate = joinPath(directoryOf(source), fileName);
    if (found(candidate.c_str())) {
      resolvedPath = stringBuffer()->intern(candidate.c_str());
      return resolvedPath;
    }
  }
  if (!runState().orbaOptions) return nullptr;
  for (const char* directory : runState().orbaOptions->includeDirectories) {
    if (!directory) continue;
    std::string candidate = joinPath(directory, fileName);
    if (found(candidate.c_str())) {
      resolvedPath = stringBuffer()->intern(candidate.c_str());
      return resolvedPath;
    }
  }
  return nullptr;
}

int64_t FLoad::requestedUnits() {
  if (sizeExpression) {
    OrbaExpression* value = sizeExpression->evaluate();
    if (!value || value->isError()) return 0;
    int64_t units = 0;
    if (value->getKind() == EK_integer) {
      units = value->getInteger();
    } else if (value->getKind() == EK_string) {
      const char* text = value->getString();
      uint32_t length = value->getStringLength();
      uint64_t packed = 0;
      for (uint32_t index = 0; index < length && index < 8; ++index)
        packed = (packed << 8) | static_cast<uint8_t>(text[index]);
      units = static_cast<int64_t>(packed);
    }
    return units < 0 ? 0 : units;
  }
  const char* found = path();
  int64_t length = found ? fileLength(found) : -1;
  if (length <= 0) return 0;
  int64_t unitBytes = bytesPerUnit(unitBits);
  return (length + unitBytes - 1) / unitBytes;
}

int32_t FLoad::computeSize(Section* section, uint32_t /*offset*/) {
  if (size > 0) return size;
  int64_t units = requestedUnits();
  // A size no section holds is laid out as the largest a node can take: the section
  // passes its bound at this line, and the object output reports it there.
  auto result = static_cast<int32_t>(std::min<int64_t>(units, INT32_MAX));
  if (section && section->laidOut) size = result;
  return result;
}

void FLoad::emit(ObjectWriter& writer) {
  emitHook(writer);
  Section* section = writer.section;
  auto location = static_cast<uint32_t>(section->currentLocation());
  int32_t units = size > 0 ? size : computeSize(section, location);
  if (units <= 0) {
    // A file, or a size, that no section can hold got no space: said here, before any
    // of the file is read.
    int64_t wanted = requestedUnits();
    if (wanted > INT32_MAX || !fitsInSection(location, wanted))
      section->reportTooLarge(line, static_cast<uint64_t>(location) + static_cast<uint64_t>(wanted));
    else if (!sizeExpression && !path() && notRegular)
      errorHandler()->report(E_cannot_load_file, line, fileName, kNotRegularFile);
    else
      errorHandler()->report(W_no_storage_allocation, line, directive);
    setLineCycles(line, cycles);
    return;
  }
  if (!section->image) {
    errorHandler()->report(E_no_constant_allocation, line, directive);
  } else if (!path()) {
    errorHandler()->report(E_cannot_load_file, line, fileName,
                           notRegular ? kNotRegularFile : "file does not exists in search path");
  } else {
    errno = 0;
    std::FILE* file = std::fopen(resolvedPath, "rb");
    if (!file) {
      if (errno == ENOMEM) mem_out_of_memory();
      errorHandler()->report(E_cannot_load_file, line, fileName, std::strerror(errno));
    } else {
      guardInputFile(fileno(file));
      if (location + static_cast<uint64_t>(units) > section->size) {
        std::fclose(file);
        reportObjectStoreError(writer.store(), ObjectStore::kDataTooLarge);
      }
      // The list shows the bytes the file gives; the padding after a short file is
      // reserved space, which the line's size lists as .SPACE lists it. The bytes are
      // made at once, as a buffer grown piece by piece would keep each of its smaller
      // sizes.
      uint8_t* listed = nullptr;
      uint32_t listedUnits = 0;
      if (listsBytes()) {
        listedUnits = static_cast<uint32_t>(std::min<int64_t>(units, openFileUnits(file)));
        listed = appendListingZeros(line, listedUnits * bytesPerUnit(unitBits));
      }
      uint32_t fileUnits =
          placeFileUnits(file, *section, location, static_cast<uint32_t>(units), listed, listedUnits);
      std::fclose(file);
      // A file shorter than the size is padded with reserved space, as .SPACE makes it.
      if (fileUnits < static_cast<uint32_t>(units))
        padUnits(writer, location + fileUnits, static_cast<uint32_t>(units) - fileUnits);
    }
  }
  if (section->advanceLocation(units, line)) setLineSize(line, static_cast<uint32_t>(units));
  setLineCycles(line, cycles);
}

bool FLoad::listsBytes() const {
  // Only the list file shows the bytes: a run without one keeps none of a large file.
  const RunSettings* settings = runState().orbaOptions;
  return line && (!settings || settings->listFileWanted);
}

int64_t FLoad::openFileUnits(std::FILE* file) const {
  struct stat status;
  if (::fstat(fileno(file), &status) != 0 || status.st_size <= 0) return 0;
  const int64_t unitBytes = bytesPerUnit(unitBits);
  return (static_cast<int64_t>(status.st_size) + unitBytes - 1) / unitBytes;
}

uint32_t FLoad::placeFileUnits(std::FILE* file, Section& section, uint32_t location, uint32_t units,
                               uint8_t* listed, uint32_t listedUnits) {
  const uint32_t unitBytes = bytesPerUnit(unitBits);
  // The file is read a piece at a time, straight into the image: a large one is never
  // held twice. A piece is whole units; a file ending inside a unit ends it with zeros.
  const size_t pieceUnits = kLoadPieceBytes / unitBytes;
  std::vector<uint8_t> piece(pieceUnits * unitBytes);
  uint32_t placed = 0;
  while (placed < units) {
    const size_t wanted = std::min<size_t>(pieceUnits, units - placed) * unitBytes;
    const size_t read = std::fread(piece.data(), 1, wanted, file);
    const size_t whole = (read + unitBytes - 1) / unitBytes * unitBytes;
    std::fill(piece.begin() + static_cast<std::ptrdiff_t>(read), piece.begin() + static_cast<std::ptrdiff_t>(whole),
              0);
    if (whole > 0) {
      storeImageUnits(static_cast<uint32_t>(whole), piece.data(), kUnitMostSignificantFirst,
                      static_cast<uint32_t>(unitBits), section.imageUnit(location + placed));
      // A file that grew since it was measured lists no more than was measured.
      if (listed && placed < listedUnits)
        std::memcpy(listed + static_cast<size_t>(placed) * unitBytes, piece.data(),
                    std::min<size_t>(whole, static_cast<size_t>(listedUnits - placed) * unitBytes));
      placed += static_cast<uint32_t>(whole / unitBytes);
    }
    // A short read is the end of the file (or a failure to read on, which ends it too).
    if (read < wanted) break;
  }
  return placed;
}

void FLoad::padUnits(ObjectWriter& writer, uint32_t location, uint32_t units) {
  Section& section = *writer.section;
  clearImage(section.imageUnit(location), static_cast<size_t>(units) * imageUnitBytes(section.mauBits));
  ObjectStore& store = writer.store();
  uint32_t status = 0;
  if (store.imageAddZeros(section.objectHandle[0], section.objectHandle[1], location, units, &status))
    reportObjectStoreError(store, status);
}

void FLoad::dump(std::ostream& out) const {
  out << "FLoad(file = " << (fileName ? fileName : "") << ", size = " << exprToString(sizeExpression) << ")\n";
}
