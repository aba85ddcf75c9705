// Managers, lines and a recording object writer for the tests of sections and flow
// nodes. The writer stands in for the object-file writer: it records what the nodes
// hand to the object store instead of building an object file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ScopedManagers.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"

class RecordingStore : public ObjectStore {
 public:
  struct ZeroRange {
    uint32_t fileId, sectionId, offset, count;
  };
  struct SymbolValue {
    uint32_t fileId, symbolId;
    ExprNode* value;
  };

  uint32_t imageAddZeros(uint32_t fileId, uint32_t sectionId, uint32_t offset, uint32_t count,
                         uint32_t* error) override {
    zeros.push_back({fileId, sectionId, offset, count});
    return fail(error);
  }
  uint32_t symbolSetValue(uint32_t fileId, uint32_t symbolId, ExprNode* value, uint32_t* error) override {
    values.push_back({fileId, symbolId, value});
    return fail(error);
  }
  uint32_t imageAddExpression(uint32_t, uint32_t, uint32_t, uint32_t, ExprNode*, uint32_t* error) override {
    return fail(error);
  }
  uint32_t imageAddRelocation(uint32_t, uint32_t, uint32_t, uint32_t, ExprNode*, uint32_t, uint32_t* error) override {
    return fail(error);
  }
  uint32_t stringAdd(uint32_t, const char*, uint32_t*, uint32_t* error) override { return fail(error); }
  uint32_t moduleAddVariable(const uint32_t*, uint32_t*, uint32_t* error) override { return fail(error); }
  uint32_t variableSetName(uint32_t, uint32_t, uint32_t, uint32_t* error) override { return fail(error); }
  uint32_t variableSetValue(uint32_t, uint32_t, uint32_t, uint32_t* error) override { return fail(error); }
  uint32_t variableSetKind16(uint32_t, uint32_t, uint32_t, uint32_t* error) override { return fail(error); }
  uint32_t variableSetExpression(uint32_t, uint32_t, ExprNode*, uint32_t* error) override { return fail(error); }
  uint32_t variableSetValueExpression(uint32_t, uint32_t, ExprNode*, uint32_t* error) override {
    return fail(error);
  }
  void releaseExpression(ExprNode* expression) override { released.push_back(expression); }
  const char* statusText(uint32_t status) const override {
    return status == kDataTooLarge ? "size of data appears to be too large" : "other status";
  }

  // The status every operation fails with; none while negative.
  int64_t failWith = -1;
  std::vector<ZeroRange> zeros;
  std::vector<SymbolValue> values;
  std::vector<ExprNode*> released;

 private:
  uint32_t fail(uint32_t* error) const {
    if (failWith < 0) return 0;
    if (error) *error = static_cast<uint32_t>(failWith);
    return 1;
  }
};

// Writes file 7 unless told otherwise.
class RecordingWriter : public ObjectWriter {
 public:
  RecordingWriter() { fileId = 7; }
  ObjectStore& store() override { return store_; }
  void emitObjectSymbol(Symbol* symbol, int flag) override {
    objectSymbols.push_back(symbol);
    flags.push_back(flag);
    symbol->objectSymbolId = static_cast<uint32_t>(objectSymbols.size());
  }
  Symbol* findRelocationBaseSymbol(OrbaExpression*, int) override { return nullptr; }
  // Every converted value is the same stand-in handle; the value itself is kept.
  ExprNode* objectExpression(OrbaExpression* value, LineInfo*) override {
    converted.push_back(value);
    return reinterpret_cast<ExprNode*>(&handle_);
  }

  RecordingStore store_;
  std::vector<Symbol*> objectSymbols;
  std::vector<int> flags;
  std::vector<OrbaExpression*> converted;

 private:
  int handle_ = 0;
};

// The run-wide managers a section needs, made fresh for each test.
class FlowTest : public testing::Test {
 protected:
  FlowTest() {
    savedFactory_ = runState().orbaFactory;
    savedAdmin_ = runState().sectionAdmin;
    savedPlaceholder_ = runState().placeholderSection;
    runState().orbaFactory = &factory_;
    runState().sectionAdmin = new SectionAdmin();
    runState().placeholderSection = nullptr;
  }
  ~FlowTest() override {
    delete runState().sectionAdmin;
    runState().sectionAdmin = savedAdmin_;
    runState().orbaFactory = savedFactory_;
    runState().placeholderSection = savedPlaceholder_;
  }

  LineInfo* line(uint32_t number, Section* section = nullptr, const char* text = nullptr) {
    LineInfo& info = *lines_.emplace_back(new LineInfo());
    info.lineNumber = number;
    info.section = section;
    info.text = text ? runState().stringBuffer->intern(text) : nullptr;
    return &info;
  }

  // A section of the run, owned by the section administration.
  Section* section(const char* name, uint32_t definedAt = 1) {
    Section* made = new Section(line(definedAt), runState().stringBuffer->intern(name));
    runState().sectionAdmin->registerSection(made);
    return made;
  }

  // A symbol with all flags clear, owned by the symbol table.
  Symbol* symbol(const char* name) {
    Symbol* made = Symbol::create(runState().stringBuffer->intern(name), 0);
    runState().symbolTable->current->symbols.add(made);
    return made;
  }

  // The recorded diagnostics as "W179: text@line", in line order.
  static std::vector<std::string> diagnostics() {
    std::vector<std::string> texts;
    for (ErrorHandler::ErrorIter it(*runState().errorHandler); !it.isDone(); it.next()) {
      const ErrorLine* record = it.current();
      std::string text = record->text;
      if (record->position) text += "@" + std::to_string(record->position->lineNumber);
      texts.push_back(text);
    }
    return texts;
  }

  ScopedManagers managers_{ScopedManagers::kAll};
  OrbaFactory factory_;

 private:
  OrbaFactory* savedFactory_;
  SectionAdmin* savedAdmin_;
  Section* savedPlaceholder_;
  std::deque<std::unique_ptr<LineInfo>> lines_;  // from the line arena, which links need
};
