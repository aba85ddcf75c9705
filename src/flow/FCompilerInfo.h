// The nodes of .COMPILER_NAME, .COMPILER_VERSION and .COMPILER_INVOCATION: each hands
// its text to the object file as the compiler's name, version or command line. They
// take no place in their section.
#pragma once

#include <cstdint>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class ObjectStore;

// What the three kinds share: the text, and an emit that enters it in the file's
// string table and gives the string to the file property of the kind.
class FCompilerRecord : public FlowNode {
 public:
  FCompilerRecord(LineInfo* line, Kind kind, const char* text) : FlowNode(line, kind), text(text) {}

  void emit(ObjectWriter& writer) override;
  bool hasAddress() const override { return false; }
  virtual void assign(const FCompilerRecord& other);

  // The directive's text as the line scanner gave it (interned).
  const char* text;

 protected:
  // Stores the string as the kind's file property; the store's result.
  virtual uint32_t storeProperty(ObjectStore& store, uint32_t fileId, uint32_t stringId, uint32_t* error) = 0;
  // "name = ", "version = " ... after the class name in the dump.
  void dumpAs(std::ostream& out, const char* className, const char* field) const;
};

class FCompilerName : public FCompilerRecord {
  VEKT_POOLED_CLASS(FCompilerName)

 public:
  FCompilerName(LineInfo* line, const char* text) : FCompilerRecord(line, kCompilerName, text) {}
  FlowNode* clone() const override;
  void dump(std::ostream& out) const override;

 protected:
  uint32_t storeProperty(ObjectStore& store, uint32_t fileId, uint32_t stringId, uint32_t* error) override;
};

class FCompilerVers : public FCompilerRecord {
  VEKT_POOLED_CLASS(FCompilerVers)

 public:
  FCompilerVers(LineInfo* line, const char* text) : FCompilerRecord(line, kCompilerVers, text) {}
  FlowNode* clone() const override;
  void dump(std::ostream& out) const override;

 protected:
  uint32_t storeProperty(ObjectStore& store, uint32_t fileId, uint32_t stringId, uint32_t* error) override;
};

class FCompilerInvoc : public FCompilerRecord {
  VEKT_POOLED_CLASS(FCompilerInvoc)

 public:
  FCompilerInvoc(LineInfo* line, const char* text) : FCompilerRecord(line, kCompilerInvoc, text) {}
  FlowNode* clone() const override;
  void dump(std::ostream& out) const override;

 protected:
  uint32_t storeProperty(ObjectStore& store, uint32_t fileId, uint32_t stringId, uint32_t* error) override;
};
