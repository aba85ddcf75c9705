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
  // Drops the caller's reference to an expression of the store.
  virtual void releaseExpression(ExprNode* expression) = 0;
  // The text of a status code, for F008.
  virtual const char* statusText(uint32_t status) const = 0;
};

// F008 with the text of the status; the run ends.
[[noreturn]] void reportObjectStoreError(const ObjectStore& store, uint32_t status);
