// The face of the object store that the flow nodes write through. Every operation
// returns 0 on success and 1 on failure, and then stores the store's status code
// through error when error is not null. Sections, images and symbols are named by
// 1-based ids within a file.
#pragma once

#include <cstdint>

struct ExprNode;

class ObjectStore {
 public:
  ObjectStore() = default;
  virtual ~ObjectStore() = default;
  ObjectStore(const ObjectStore&) = delete;
  ObjectStore& operator=(const ObjectStore&) = delete;

  // Status codes the flow nodes meet.
  enum Status : uint32_t {
    kNoMemory = 0,
    kValueExists = 6,
    kNoSection = 7,
    kNoAsmSection = 32,
    kNoImage = 33,
    kDataTooLarge = 35,
    kNoString = 37,
    kInvalidMisraC = 52,
    kUnitWidthRange = 53,
  };

  // Records count units at offset of the section's image as zero data and clears
  // them. Fails with kNoImage when the section has no image and with kDataTooLarge
  // when offset + count passes the section's size.
  virtual uint32_t imageAddZeros(uint32_t fileId, uint32_t sectionId, uint32_t offset, uint32_t count,
                                 uint32_t* error) = 0;
  // Records the expression as the contents of units units at offset (the store
  // takes a reference) and clears those units of the image.
  virtual uint32_t imageAddExpression(uint32_t fileId, uint32_t sectionId, uint32_t offset, uint32_t units,
                                      ExprNode* expression, uint32_t* error) = 0;
  // Records a relocation of the given type over units units at offset (the store
  // takes a reference); the image is left as it is.
  virtual uint32_t imageAddRelocation(uint32_t fileId, uint32_t sectionId, uint32_t offset, uint32_t units,
                                      ExprNode* expression, uint32_t relocationType, uint32_t* error) = 0;
  // Enters the text in the file's string table.
  virtual uint32_t stringAdd(uint32_t fileId, const char* text, uint32_t* stringId, uint32_t* error) = 0;
  // Debug variable records of a module.
  virtual uint32_t moduleAddVariable(const uint32_t module[3], uint32_t* variableId, uint32_t* error) = 0;
  virtual uint32_t variableSetName(uint32_t fileId, uint32_t variableId, uint32_t stringId, uint32_t* error) = 0;
  virtual uint32_t variableSetValue(uint32_t fileId, uint32_t variableId, uint32_t value, uint32_t* error) = 0;
  virtual uint32_t variableSetKind16(uint32_t fileId, uint32_t variableId, uint32_t kind, uint32_t* error) = 0;
  virtual uint32_t variableSetExpression(uint32_t fileId, uint32_t variableId, ExprNode* address,
                                         uint32_t* error) = 0;
  virtual uint32_t variableSetValueExpression(uint32_t fileId, uint32_t variableId, ExprNode* value,
                                              uint32_t* error) = 0;
  // Attaches the value to the object-file symbol; kValueExists when it has one.
  virtual uint32_t symbolSetValue(uint32_t fileId, uint32_t symbolId, ExprNode* value,
                                  uint32_t* error) = 0;
  // The compiler records of the file: the string (from stringAdd) that names the
  // compiler, its version or its command line, replacing an earlier one; kNoString
  // for a string id below 1. The defaults keep nothing until the object file has a
  // place for them.
  virtual uint32_t fileSetCompilerName(uint32_t /*fileId*/, uint32_t /*stringId*/, uint32_t* /*error*/) {
    return 0;
  }
  virtual uint32_t fileSetCompilerVersion(uint32_t /*fileId*/, uint32_t /*stringId*/, uint32_t* /*error*/) {
    return 0;
  }
  virtual uint32_t fileSetCompilerInvocation(uint32_t /*fileId*/, uint32_t /*stringId*/, uint32_t* /*error*/) {
    return 0;
  }
  // The file's MISRA-C settings text (the store keeps a copy); null drops it and an
  // empty text fails with kInvalidMisraC.
  virtual uint32_t fileSetMisraC(uint32_t /*fileId*/, const char* /*text*/, uint32_t* /*error*/) { return 0; }
  // Names the module; kValueExists when it has a name already.
  virtual uint32_t moduleSetName(const uint32_t /*module*/[3], uint32_t /*stringId*/, uint32_t* /*error*/) {
    return 0;
  }
  // One call-graph record of the file between object-file symbols. calleeId 0: the
  // value is the caller's own stack usage at index (replacing an earlier one);
  // otherwise it goes on the caller-to-callee edge, which keeps the largest value
  // per index and counts its calls up by count. index is 0 or 1.
  virtual uint32_t callGraphRecord(uint32_t /*fileId*/, uint32_t /*callerId*/, uint32_t /*calleeId*/,
                                   uint32_t /*index*/, uint32_t /*value*/, uint32_t /*count*/,
                                   uint32_t* /*error*/) {
    return 0;
  }
  // Drops the caller's reference to an expression of the store.
  virtual void releaseExpression(ExprNode* expression) = 0;
  // The text of a status code, for F008.
  virtual const char* statusText(uint32_t status) const = 0;
};

// F008 with the text of the status, F005 when the store ran out of memory; the run ends.
[[noreturn]] void reportObjectStoreError(const ObjectStore& store, uint32_t status);
// The same for a status of the store's own calls, with its text.
[[noreturn]] void reportObjectStoreFailure(uint32_t status, const char* text);
