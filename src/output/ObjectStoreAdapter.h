// The object store as the flow nodes see it: the ObjectStore face over the store's
// image, string, symbol and debug-record operations of one run.
#pragma once

#include <cstdint>

#include "flow/ObjectStore.h"

class ObjectStoreAdapter : public ObjectStore {
 public:
  // statusText gives the text of a store code; it belongs to the run, which lends it.
  explicit ObjectStoreAdapter(const char* (*statusText)(int32_t code)) : statusText_(statusText) {}

  uint32_t imageAddZeros(uint32_t fileId, uint32_t sectionId, uint32_t offset, uint32_t count,
                         uint32_t* error) override;
  uint32_t imageAddExpression(uint32_t fileId, uint32_t sectionId, uint32_t offset, uint32_t units,
                              ExprNode* expression, uint32_t* error) override;
  uint32_t imageAddRelocation(uint32_t fileId, uint32_t sectionId, uint32_t offset, uint32_t units,
                              ExprNode* expression, uint32_t relocationType, uint32_t* error) override;
  uint32_t stringAdd(uint32_t fileId, const char* text, uint32_t* stringId, uint32_t* error) override;
  uint32_t moduleAddVariable(const uint32_t module[3], uint32_t* variableId, uint32_t* error) override;
  uint32_t variableSetName(uint32_t fileId, uint32_t variableId, uint32_t stringId, uint32_t* error) override;
  uint32_t variableSetValue(uint32_t fileId, uint32_t variableId, uint32_t value, uint32_t* error) override;
  uint32_t variableSetKind16(uint32_t fileId, uint32_t variableId, uint32_t kind, uint32_t* error) override;
  uint32_t variableSetExpression(uint32_t fileId, uint32_t variableId, ExprNode* address,
                                 uint32_t* error) override;
  uint32_t variableSetValueExpression(uint32_t fileId, uint32_t variableId, ExprNode* value,
                                      uint32_t* error) override;
  uint32_t symbolSetValue(uint32_t fileId, uint32_t symbolId, ExprNode* value, uint32_t* error) override;
  uint32_t fileSetCompilerName(uint32_t fileId, uint32_t stringId, uint32_t* error) override;
  uint32_t fileSetCompilerVersion(uint32_t fileId, uint32_t stringId, uint32_t* error) override;
  uint32_t fileSetCompilerInvocation(uint32_t fileId, uint32_t stringId, uint32_t* error) override;
  uint32_t fileSetMisraC(uint32_t fileId, const char* text, uint32_t* error) override;
  uint32_t moduleSetName(const uint32_t module[3], uint32_t stringId, uint32_t* error) override;
  uint32_t callGraphRecord(uint32_t fileId, uint32_t callerId, uint32_t calleeId, uint32_t index, uint32_t value,
                           uint32_t count, uint32_t* error) override;
  void releaseExpression(ExprNode* expression) override;
  const char* statusText(uint32_t status) const override;

 private:
  const char* (*statusText_)(int32_t code);
};
