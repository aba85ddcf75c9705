// The node of .NAME: gives the object file's module its name. It takes no place in
// its section.
#pragma once

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class FName : public FlowNode {
  VEKT_POOLED_CLASS(FName)

 public:
  FName(LineInfo* line, const char* moduleName) : FlowNode(line, kName), moduleName(moduleName) {}

  FlowNode* clone() const override;
  // Names the writer's module; nothing when the writer has no module.
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;
  bool hasAddress() const override { return false; }
  virtual void assign(const FName& other);

  // The module name as the line scanner gave it (interned).
  const char* moduleName;
};
