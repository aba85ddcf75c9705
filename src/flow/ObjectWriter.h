// The writer context that every flow node's emit receives. The object-file writer
// of the output layer implements it; the flow graph sees only this face of it.
#pragma once

#include <cstdint>

#include "expr/SymbolValueMemo.h"

struct ExprNode;
struct LineInfo;
class ObjectStore;
class OrbaExpression;
class Section;
class Symbol;

class ObjectWriter {
 public:
  ObjectWriter() = default;
  virtual ~ObjectWriter() = default;
  ObjectWriter(const ObjectWriter&) = delete;
  ObjectWriter& operator=(const ObjectWriter&) = delete;

  // The object store the writer fills.
  virtual ObjectStore& store() = 0;
  // Makes sure the symbol has its object-file symbol; afterwards the symbol's
  // object ids are valid. The call-information node passes flag 1.
  virtual void emitObjectSymbol(Symbol* symbol, int flag) = 0;
  // The object-store form of a value written at line, or null when it has none;
  // reports nothing (the caller decides what a null means). The caller releases
  // the result through the store.
  virtual ExprNode* objectExpression(OrbaExpression* value, LineInfo* line) = 0;
  // The symbol a relocatable value is expressed against, or null.
  virtual Symbol* findRelocationBaseSymbol(OrbaExpression* expression, int flag) = 0;

  uint32_t fileId = 0;
  // The module handle; a module exists when its last word is positive.
  uint32_t module[3] = {0, 0, 0};
  // The section being written.
  Section* section = nullptr;
  // The line whose expressions are being converted for the object file.
  LineInfo* line = nullptr;
  // Symbol values evaluated for the debug records: one symbol after another names the
  // same chain of symbols, which is followed once.
  SymbolValueMemo debugValues;
  // Answers about symbol values asked as each symbol and value is written: a chain of
  // symbols named by each of its links is followed once for all of them.
  SymbolQuestionMemos symbolQuestions;
};
