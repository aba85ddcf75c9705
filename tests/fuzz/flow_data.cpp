// Feeds arbitrary operand lists to the data and storage directives: the operands are
// parsed as expressions, the node is laid out in a section and then written through
// a stand-in object writer. Whatever the values, the units written must be exactly
// those the layout counted, and every object-store expression handed out must be
// given back. The first byte picks the directive and whether the section is cleared;
// the operand text ends at the first NUL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/OrbaOptions.h"
#include "expr/ExprParser.h"
#include "expr/ExprScanner.h"
#include "expr/ObjectExpr.h"
#include "expr/OrbaExpression.h"
#include "expr/TEError.h"
#include "expr/TEInteger.h"
#include "expr/TELineInfo.h"
#include "expr/TEString.h"
#include "flow/FConstant.h"
#include "flow/FFloatData.h"
#include "flow/FStorage.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "objlib/exprlib.h"
#include "preproc/LineState.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/MemoryPools.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"

namespace {

// Larger images are not worth the time; the layout alone is still checked.
constexpr int32_t kLargestImage = 1 << 16;

class FuzzStore : public ObjectStore {
 public:
  uint32_t imageAddZeros(uint32_t, uint32_t, uint32_t offset, uint32_t count, uint32_t* error) override {
    return inImage(offset, count, error);
  }
  uint32_t imageAddExpression(uint32_t, uint32_t, uint32_t offset, uint32_t units, ExprNode*,
                              uint32_t* error) override {
    return inImage(offset, units, error);
  }
  uint32_t imageAddRelocation(uint32_t, uint32_t, uint32_t offset, uint32_t units, ExprNode*, uint32_t,
                              uint32_t* error) override {
    return inImage(offset, units, error);
  }
  uint32_t stringAdd(uint32_t, const char*, uint32_t*, uint32_t*) override { return 0; }
  uint32_t moduleAddVariable(const uint32_t*, uint32_t*, uint32_t*) override { return 0; }
  uint32_t variableSetName(uint32_t, uint32_t, uint32_t, uint32_t*) override { return 0; }
  uint32_t variableSetValue(uint32_t, uint32_t, uint32_t, uint32_t*) override { return 0; }
  uint32_t variableSetKind16(uint32_t, uint32_t, uint32_t, uint32_t*) override { return 0; }
  uint32_t variableSetExpression(uint32_t, uint32_t, ExprNode*, uint32_t*) override { return 0; }
  uint32_t variableSetValueExpression(uint32_t, uint32_t, ExprNode*, uint32_t*) override { return 0; }
  uint32_t symbolSetValue(uint32_t, uint32_t, ExprNode*, uint32_t*) override { return 0; }
  void releaseExpression(ExprNode* expression) override { expr_release(expression); }
  const char* statusText(uint32_t) const override { return "fuzz store"; }

  uint64_t sectionSize = 0;

 private:
  // As the real store: a record must lie within the section.
  uint32_t inImage(uint32_t offset, uint32_t units, uint32_t* error) const {
    if (static_cast<uint64_t>(offset) + units <= sectionSize) return 0;
    if (error) *error = kDataTooLarge;
    return 1;
  }
};

class FuzzWriter : public ObjectWriter {
 public:
  ObjectStore& store() override { return store_; }
  void emitObjectSymbol(Symbol*, int) override {}
  Symbol* findRelocationBaseSymbol(OrbaExpression*, int) override { return nullptr; }
  ExprNode* objectExpression(OrbaExpression* value, LineInfo*) override {
    return value->toObject(nullptr, false);
  }
  FuzzStore store_;
};

ExprLibContext* g_context = nullptr;

ExprNode* symbolReference(ExprLibContext* context, Symbol* symbol) {
  ExprNode* node = nullptr;
  if (objexpr_make_slot_ref(context, &node, symbol->objectSymbolId, context) != 0) return nullptr;
  return node;
}

void setUp() {
  char program[] = "vekt";
  char* argv[] = {program, nullptr};
  runState().orbaOptions = new OrbaOptions(1, argv);
  runState().stringBuffer = new StringBuffer();
  runState().lineState = new LineState();
  runState().lineState->addSourceFile("fuzz.asm");
  runState().symbolTable = new SymbolTable();
  if (expr_context_new(&g_context, 8) != 0) __builtin_trap();
  setObjectExprContext(g_context);
  ObjectExprHooks hooks;
  hooks.symbolReference = symbolReference;
  setObjectExprHooks(hooks);
}

// Symbols the operands can name: an external one and an equate of each kind.
void defineSymbols() {
  SymbolTable::LocalSymbolTable* scope = symbolTable()->current;
  Symbol* ext = scope->defineSymbol(stringBuffer()->intern("ext"), nullptr);
  ext->flags[0] = Symbol::kExternal | Symbol::kGlobal;
  ext->flags[2] |= Symbol::kRelocatable;
  ext->objectSymbolId = 3;
  Symbol* other = scope->defineSymbol(stringBuffer()->intern("other"), nullptr);
  other->flags[0] = Symbol::kExternal | Symbol::kGlobal;
  other->flags[2] |= Symbol::kRelocatable;
  other->objectSymbolId = 4;
  scope->defineSymbol(stringBuffer()->intern("n"), nullptr)->valueExpression = TEInteger::create(300);
  scope->defineSymbol(stringBuffer()->intern("s"), nullptr)->valueExpression = TEString::intern("xyz", 3);
}

FlowNode* makeNode(uint8_t choice, LineInfo* line, Section* section) {
  switch (choice % 11) {
    case 0: return FConstant::create(FConstant::kByte, line);
    case 1: return FConstant::create(FConstant::kHalf, line);
    case 2: return FConstant::create(FConstant::kWord, line);
    case 3: return FConstant::create(FConstant::kAscii, line);
    case 4: return FConstant::create(FConstant::kAsciiz, line);
    case 5: return FFloat::create(FFloat::kFloat, line);
    case 6: return FFloat::create(FFloat::kDouble, line);
    case 7: return FFract::create(FFract::kFract, line);
    case 8: return FFract::create(FFract::kSfract, line);
    case 9: return FFract::create(FFract::kAccum, line);
    default: return new FStorage(line, nullptr, section);
  }
}

}  // namespace

// Pooled objects go with the pools of each input's run, not one by one.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzRun run;
  setUp();
  runState().errorHandler = new ErrorHandler();
  runState().errorHandler->setErrorLimit(0);
  defineSymbols();

  ControlState control;
  LineInfo line;
  line.lineNumber = 1;
  line.controlState = &control;
  bool cleared = data[0] & 0x80;
  auto* section = new Section("fuzz");
  section->type = (data[0] & 0x40) ? Section::kDebug : Section::kData;
  line.section = section;
  FlowNode* node = makeNode(data[0], &line, section);

  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  text = text.c_str();
  ExprScanner stream;
  stream.reset(text.c_str(), &line);
  for (int operand = 0; operand < 8 && *stream.cursor != '\0'; ++operand) {
    const char* before = stream.cursor;
    const char* message = nullptr;
    OrbaExpression* value = parseExpressionAt(&stream, &message, false);
    if (value) {
      if (auto* storage = dynamic_cast<FStorage*>(node)) {
        if (!storage->sizeExpression) storage->sizeExpression = value;
      } else if (auto* constant = dynamic_cast<FConstant*>(node)) {
        constant->addOperand(value);
      } else {
        static_cast<FDataNode*>(node)->addValue(value);
      }
    }
    if (stream.cursor == before) ++stream.cursor;
  }
  section->addNode(node, true);

  int32_t laidOut = node->computeSize(section, 0);
  if (laidOut < 0) laidOut = 0;
  if (cleared || laidOut <= kLargestImage) {
    std::vector<uint8_t> image(cleared ? 0 : static_cast<size_t>(laidOut), 0);
    section->size = static_cast<uint32_t>(laidOut);
    section->laidOut = 1;
    section->image = cleared ? nullptr : image.data();
    section->writing = 1;
    FuzzWriter writer;
    writer.store_.sectionSize = section->size;
    writer.section = section;
    node->emit(writer);
    // The layout fixed the size; the bytes written must keep to it.
    if (section->locationCounter != laidOut) __builtin_trap();
    if (node->computeSize(section, 0) != laidOut && laidOut > 0) __builtin_trap();
    section->image = nullptr;
  }
  if (expr_live_node_count(g_context) != 0) __builtin_trap();

  delete section;
  setObjectExprContext(nullptr);
  expr_context_free(g_context);
  g_context = nullptr;
  return 0;
}
