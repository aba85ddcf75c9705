// Assembler symbols into the object store: which symbols reach the object file, with
// which binding, and the symbol a relocation is expressed against.
#include <cstring>

#include "expr/ObjectExpr.h"
#include "expr/SymbolValueMemo.h"
#include "expr/SymbolWalk.h"
#include "expr/OrbaExpression.h"
#include "expr/TEInteger.h"
#include "expr/TESymbol.h"
#include "flow/DataEncoder.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "objlib/elf_reloc.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"
#include "output/ObjectFile.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/RunState.h"

namespace {

// Flags of the object-file view of a symbol, under the names this file uses.
constexpr uint8_t kNeedsRelocatable = Symbol::kBinding0;       // first byte
constexpr uint8_t kSuppressed = Symbol::kInternal | Symbol::kBinding6;  // first byte
constexpr uint8_t kGlobalKinds = Symbol::kExternal | Symbol::kGlobal;   // first byte
constexpr uint8_t kNoObject = Symbol::kSet;                    // second byte
constexpr uint8_t kNoType = Symbol::kExpansion;                // second byte
constexpr uint8_t kAlias = Symbol::kSectionByValue;            // second byte

// Local names that start with '.' are the assembler's own, except the compiler's
// ".cocofun" function labels.
bool emittableLocalName(const char* name) {
  return name && (name[0] != '.' || std::strncmp(name, ".cocofun", 8) == 0);
}

bool isRelocatableSymbol(const Symbol* symbol) {
  if (symbol->isRelocatable()) return true;
  return symbol->valueExpression && symbol->valueExpression->isRelocatable();
}

// Whether a relocation can name the symbol itself rather than what its value holds.
bool usableAsBase(const Symbol* symbol) {
  if (symbol->isLocal() && !(symbol->flags[0] & Symbol::kInternal) && emittableLocalName(symbol->name) &&
      orbaOptions()->emitLocalSymbols)
    return true;
  return symbol->isGlobal() || isRelocatableSymbol(symbol);
}

struct BaseKey {
  bool relaxed = false;
  bool operator==(const BaseKey& other) const { return relaxed == other.relaxed; }
};
struct RunBaseWalks {
  SymbolWalkState<Symbol*, BaseKey> bases;
};

// Whether the base of a reference to the symbol is that of the symbol's value.
bool baseFromValue(const Symbol* symbol, bool relaxed) {
  return symbol->valueExpression && (relaxed || symbol->isEquate() || !usableAsBase(symbol));
}

Symbol* findBase(OrbaExpression* expression, bool relaxed) {
  while (expression) {
    switch (expression->getKind()) {
      case EK_symbol: {
        Symbol* symbol = expression->getSymbol();
        if (!symbol) return nullptr;
        if (!baseFromValue(symbol, relaxed)) return symbol;
        // An alias or equate chain that leads back to itself has no base: the
        // conversion then reports the value as one it cannot emit.
        if (symbol->valueVisit) return nullptr;
        return askThroughValue(
            symbol, runPart<RunBaseWalks>().bases, BaseKey{relaxed},
            [relaxed](const Symbol* named) { return baseFromValue(named, relaxed); },
            [relaxed](Symbol* named) { return findBase(named->valueExpression, relaxed); },
            [](Symbol* base) { return base; });
      }
      case EK_binary: {
        int32_t op = expression->getOperator();
        if (op == OP_add) {
          if (Symbol* left = findBase(expression->getArgument(0), relaxed)) return left;
          expression = expression->getArgument(1);
        } else if (op == OP_subtract) {
          expression = expression->getArgument(0);
        } else {
          return nullptr;
        }
        break;
      }
      default: return nullptr;
    }
  }
  return nullptr;
}

// The offset of a value that reads S + constant with S the section's own base symbol:
// a label's value. False for any other shape, and for an offset that the store's
// unsigned 32-bit pair cannot hold as the converted sum would.
bool sectionOffsetValue(OrbaExpression* value, const Section* section, uint32_t* offset) {
  // The section's symbol alone goes out as its tree: only the sum becomes a pair.
  int64_t constant = 0;
  if (!section || !section->sectionSymbol || value->getKind() != EK_binary ||
      !sectionOffsetOfValue(value, section->sectionSymbol, constant))
    return false;
  if (constant < 0 || constant > static_cast<int64_t>(UINT32_MAX)) return false;
  *offset = static_cast<uint32_t>(constant);
  return true;
}

// The symbol S of a value that reads S or S + constant: the shape of every label's
// value, its section's base symbol plus its offset. Null for any other shape.
Symbol* plainBaseSymbol(OrbaExpression* value) {
  if (value->getKind() == EK_symbol) return value->getSymbol();
  if (value->getKind() != EK_binary || value->getOperator() != OP_add) return nullptr;
  OrbaExpression* left = value->getArgument(0);
  OrbaExpression* right = value->getArgument(1);
  if (!left || !right || left->getKind() != EK_symbol || right->getKind() != EK_integer) return nullptr;
  return left->getSymbol();
}

}  // namespace

Symbol* ObjectFile::findRelocationBaseSymbol(OrbaExpression* expression, int flag) {
  bool relaxed = flag != 0;
  SymbolAnswersUse<Symbol*, BaseKey> use(runPart<RunBaseWalks>().bases, relaxed ? relaxedBases_ : strictBases_,
                                         BaseKey{relaxed});
  return findBase(expression, relaxed);
}

ExprNode* ObjectFile::objectExpression(OrbaExpression* value, LineInfo* at) {
  if (!value) return nullptr;
  const LineInfo* previous = line;
  line = at;
  ExprNode* converted = value->toObject(this, true);
  line = const_cast<LineInfo*>(previous);
  return converted;
}

ExprNode* ObjectFile::symbolReference(ExprLibContext* context, Symbol* symbol) {
  ObjectFile* writer = activeWriter();
  if (!writer || !symbol) return nullptr;
  if (writer->namingLater_) {
    // The reference needs only the slot; the symbol itself is written once the value
    // that names it is converted.
    SymbolRecord& named = writer->reserveObjectSymbol(symbol);
    if (!named.emitted && !named.emitting) writer->namedLater_.push_back(symbol);
  } else {
    writer->emitObjectSymbol(symbol, 1);
  }
  SymbolRecord& record = writer->recordOf(symbol);
  if (!record.registered) return nullptr;
  ExprNode* node = nullptr;
  if (!objectNodeMade(context, objexpr_make_slot_ref(context, &node, record.slot, objectExprContext()))) return nullptr;
  return node;
}

const LineInfo* ObjectFile::conversionLine(const ObjectFile* writer) { return writer ? writer->line : nullptr; }

ObjectFile::SymbolRecord& ObjectFile::recordOf(Symbol* symbol) {
  uint32_t index = symbol->writerRecord;
  if (index != 0 && index <= symbolRecords_.size() && symbolRecords_[index - 1].symbol == symbol)
    return symbolRecords_[index - 1];
  SymbolRecord& record = symbolRecords_.emplace_back();
  record.symbol = symbol;
  symbol->writerRecord = static_cast<uint32_t>(symbolRecords_.size());
  return record;
}

ObjectFile::SymbolRecord& ObjectFile::reserveObjectSymbol(Symbol* symbol) {
  // An absolute file has no relocations: a reference to a symbol that only a linker
  // could resolve (an external, or a label of a section not placed at an address)
  // would silently stay 0.
  if (line && orbaOptions()->absoluteMode &&
      (symbol->isExternal() || (symbol->section && !symbol->section->hasAddress)))
    errorHandler()->report(E_unresolved_expression, line);
  SymbolRecord& record = recordOf(symbol);
  if (!record.registered) {
    ExprSlotRef slot = {0, nullptr};
    IosErrorCode error = IOS_ERR_INTERNAL;
    check(ios_entry_array_push(objectExprContext(), &slot, &error), error);
    record.slot = slot.index;
    record.registered = true;
  }
  return record;
}

void ObjectFile::emitObjectSymbol(Symbol* symbol, int flag) {
  bool force = flag != 0;
  bool reserved = recordOf(symbol).registered;
  SymbolRecord& record = reserveObjectSymbol(symbol);
  if (reserved && (!force || record.emitted)) return;
  if (record.emitted || record.emitting) return;

  if (symbol->flags[1] & kNoObject) {
    record.emitted = true;
    return;
  }
  const RunSettings* options = orbaOptions();
  int32_t debugMode = options->debugInfoMode;
  bool localDebug = options->localDebugSymbols;
  if (symbol->definitionLine && symbol->definitionLine->controlState) {
    debugMode = symbol->definitionLine->controlState->debugKind;
    localDebug = symbol->definitionLine->controlState->localSymbolDebug;
  }

  if (symbol->flags[0] & kSuppressed) return;
  if ((symbol->flags[0] & kNeedsRelocatable) && !isRelocatableSymbol(symbol)) return;

  bool equate = symbol->isEquate();
  if (!(symbol->flags[0] & Symbol::kExternal) && !equate) {
    if (symbol->isGlobal() && debugMode == 1 && options->asmDebugInfo) {
      emitToObject(symbol, record, !symbol->isLocal(), symbol->valueExpression);
      return;
    }
    if (symbol->isLocal() && localDebug) {
      emitToObject(symbol, record, false, symbol->valueExpression);
      return;
    }
  }
  if (symbol->flags[0] & kGlobalKinds) {
    emitToObject(symbol, record, true, nullptr);
    return;
  }
  if (!symbol->isLocal()) {
    // Nothing defines it here and something refers to it: it is external.
    if (force) emitToObject(symbol, record, true, nullptr);
    return;
  }
  bool wanted = force;
  if (!equate && options->emitLocalSymbols && emittableLocalName(symbol->name)) wanted = true;
  if (equate && options->emitLocalEqus) wanted = true;
  if (wanted) emitToObject(symbol, record, false, nullptr);
}

void ObjectFile::emitToObject(Symbol* symbol, SymbolRecord& record, bool global, OrbaExpression* debugValue) {
  if (record.emitted || record.emitting) return;
  SymbolQuestionMemos::Use use(symbolQuestions);
  record.emitting = true;
  IosErrorCode error = IOS_ERR_INTERNAL;
  IosHandle scope = global ? globalScope_ : localScope_;
  IosHandle handle = {0, 0};
  check(ios_symbol_create_with_slot(fileId, scope, {record.slot, objectExprContext()}, &handle, &error), error);
  if (debugValue && module[2] > 0) emitDebugVariable(symbol, debugValue, handle.object_id);
  symbol->objectSymbolId = handle.object_id;

  check(ios_symbol_set_name(handle, {fileId, addSymbolName(symbol->name)}, &error), error);
  check(ios_symbol_init_other(handle, &error), error);
  if (symbol->isWeak()) check(ios_symbol_set_weak(handle, &error), error);

  bool alias = (symbol->flags[1] & kAlias) && symbol->valueExpression && symbol->valueExpression->getSymbol();
  PendingSymbol pending{symbol, handle, alias ? PendingSymbol::kTarget : PendingSymbol::kValue};
  if (askedLater_ == symbol) {
    askedLater_ = nullptr;
    pendingSymbols_.push_back(pending);
    return;
  }
  size_t outer = pendingSymbols_.size();
  pendingSymbols_.push_back(pending);
  completePendingSymbols(outer);
}

void ObjectFile::askLater(Symbol* symbol) {
  askedLater_ = symbol;
  emitObjectSymbol(symbol, 1);
  askedLater_ = nullptr;
}

void ObjectFile::completePendingSymbols(size_t outer) {
  // Each symbol goes through its stages as the calls of a recursion would, one call
  // per link, in the same order: store symbols are made in the order in which they
  // are first named, and a symbol is complete before the one whose value names it.
  // A symbol that is asked for here (askLater) only joins the stack.
  while (pendingSymbols_.size() > outer) {
    size_t index = pendingSymbols_.size() - 1;
    PendingSymbol& pending = pendingSymbols_[index];
    switch (pending.stage) {
      case PendingSymbol::kTarget:
        // The alias names its target in the object file too, so the target goes first.
        pending.stage = PendingSymbol::kValue;
        askLater(pending.symbol->valueExpression->getSymbol());
        break;
      case PendingSymbol::kValue: {
        PendingSymbol current = pending;
        current.stage = PendingSymbol::kNamed;
        convertSymbolValue(current);
        pendingSymbols_[index] = current;
        break;
      }
      case PendingSymbol::kNamed:
        if (pending.nextNamed < namedLater_.size()) {
          askLater(namedLater_[pending.nextNamed++]);
          break;
        }
        pending.stage = PendingSymbol::kComplete;
        break;
      case PendingSymbol::kComplete: {
        PendingSymbol done = pending;
        pendingSymbols_.pop_back();
        namedLater_.resize(done.firstNamed);
        finishObjectSymbol(done);
        break;
      }
    }
  }
}

void ObjectFile::convertSymbolValue(PendingSymbol& pending) {
  Symbol* symbol = pending.symbol;
  IosErrorCode error = IOS_ERR_INTERNAL;
  if (pending.symbol->flags[1] & kAlias) {
    // The call graph folds calls recorded under the alias into its target.
    Symbol* aliased = symbol->valueExpression ? symbol->valueExpression->getSymbol() : nullptr;
    if (aliased && aliased->objectSymbolId != 0)
      check(ios_alias_add_record(fileId, pending.handle, {fileId, aliased->objectSymbolId}, &error), error);
  }
  pending.firstNamed = pending.nextNamed = static_cast<uint32_t>(namedLater_.size());
  bool outerNaming = namingLater_;
  namingLater_ = true;
  Section* section = symbol->section;
  bool holdsSectionOffset = false;
  uint32_t sectionOffset = 0;
  ExprNode* converted = nullptr;
  if (symbol->valueExpression) {
    OrbaExpression* value = symbol->valueExpression;
    bool equate = symbol->isEquate();
    if (value->countSymbolReferences() == 1) {
      if (Symbol* base = findRelocationBaseSymbol(value, equate)) {
        bool keepsSection = !equate && ((base->isLocal() && !(base->flags[0] & Symbol::kInternal) &&
                                         emittableLocalName(base->name) && orbaOptions()->emitLocalSymbols) ||
                                        base->isGlobal() || isRelocatableSymbol(base));
        if (!keepsSection) section = base->section;
      }
    }
    if (!section || section == placeholderSection()) {
      OrbaExpression* simplified = value->evaluate();
      if (simplified && isConstantValue(simplified)) {
        value = simplified;
      } else {
        errorHandler()->report(E_invalid_object_expression, symbol->definitionLine);
        value = TEInteger::create(0);
      }
    } else if (equate) {
      // An equate whose value is a number once the sections are laid out (a difference
      // of two labels of one section) is that number, as data that uses it gets it.
      OrbaExpression* simplified = value->evaluate();
      if (simplified && simplified->getKind() == EK_integer) value = simplified;
    }
    // A value that is its own relocation base plus a constant goes out as it stands:
    // the general conversion would take the base out and put the same sum together
    // again, with three new expressions per label. When the base is the section's
    // own symbol the store keeps just the section and the offset.
    Symbol* plainBase = plainBaseSymbol(value);
    bool relocationBase = plainBase && findRelocationBaseSymbol(value, equate ? 1 : 0) == plainBase;
    // Only a section with contents reaches the store, and with it the address slot it
    // shares with its base symbol: the pair is then the sum the conversion would make.
    if (relocationBase && !equate && section && section != placeholderSection() &&
        (section->objectHandle[1] != 0 || section->nodeCount() != 0) &&
        sectionOffsetValue(value, section, &sectionOffset)) {
      holdsSectionOffset = true;
      line = nullptr;
    } else if (relocationBase) {
      line = symbol->definitionLine;
      converted = objectExpression(value, symbol->definitionLine);
      line = nullptr;
      if (!converted) {
        errorHandler()->report(E_invalid_object_expression, symbol->definitionLine);
        converted = objectInteger(0);
      }
    } else {
      converted = emitExpressionValue(value, *this, symbol->definitionLine, equate ? 1 : 0);
    }
  }
  namingLater_ = outerNaming;
  pending.section = section;
  pending.holdsSectionOffset = holdsSectionOffset;
  pending.sectionOffset = sectionOffset;
  pending.converted = converted;
}

void ObjectFile::finishObjectSymbol(PendingSymbol& pending) {
  Symbol* symbol = pending.symbol;
  SymbolRecord& record = recordOf(symbol);
  IosHandle handle = pending.handle;
  Section* section = pending.section;
  bool holdsSectionOffset = pending.holdsSectionOffset;
  uint32_t sectionOffset = pending.sectionOffset;
  IosErrorCode error = IOS_ERR_INTERNAL;
  if (symbol->valueExpression && !holdsSectionOffset) {
    ExprNode* converted = pending.converted;
    if (symbol->isEquate() && converted && converted->kind != EXPR_VALUE) equateValues_.emplace_back(symbol, handle);
    int failed = ios_symbol_set_value_expr(handle, converted, &error);
    expr_release(converted);
    check(failed, error);
  }

  if (section && section != placeholderSection()) {
    writeSection(section);
    if (section->objectHandle[1] != 0) {
      check(ios_symbol_set_section(handle, {section->objectHandle[0], section->objectHandle[1]}, &error), error);
      check(ios_symbol_set_section_number(handle, section->number, &error), error);
      check(ios_symbol_set_mau(handle, static_cast<uint32_t>(section->mauBits), &error), error);
    }
  }
  if (holdsSectionOffset) check(ios_symbol_set_section_offset(handle, sectionOffset, &error), error);

  if (symbol->sizeExpression) {
    OrbaExpression* size = symbol->sizeExpression->evaluate();
    if (!size || size->isError() || size->getKind() != EK_integer)
      errorHandler()->report(E_invalid_symbol_size, symbol->definitionLine);
    else
      check(ios_symbol_set_size(handle, static_cast<uint32_t>(size->getInteger()), &error), error);
  }

  if (symbol->type != Symbol::kNoType) {
    check(ios_symbol_set_type(handle, static_cast<uint32_t>(symbol->type), &error), error);
  } else if (symbol->section && !symbol->isEquate() && !(symbol->flags[0] & Symbol::kExternal) &&
             !(symbol->flags[1] & kNoType)) {
    const Section::SectionFlags& flags = symbol->section->flags;
    if (flags.isCode())
      check(ios_symbol_set_type(handle, Symbol::kFunc, &error), error);
    else if (flags.isData() && !flags.isDebug())
      check(ios_symbol_set_type(handle, Symbol::kObject, &error), error);
  }
  record.emitting = false;
  record.emitted = true;
}

void ObjectFile::emitDebugVariable(Symbol* symbol, OrbaExpression* value, uint32_t /*storeSymbolId*/) {
  IosErrorCode error = IOS_ERR_INTERNAL;
  IosDebugHandle variable = {0, 0, 0};
  check(ios_module_add_variable({module[0], module[1], module[2]}, &variable, &error), error);
  check(ios_variable_set_name(variable, {fileId, addSymbolName(symbol->name)}, &error), error);
  Section* section = symbol->section;
  if (section && section != placeholderSection()) {
    uint32_t word = (static_cast<uint32_t>(section->mauBits) << 4) | (section->number & 0xF);
    check(ios_variable_set_value(variable, word, &error), error);
  }
  if (symbol->isEquate())
    check(ios_variable_set_kind16(variable, &error), error);
  else
    check(ios_variable_set_kind32(variable, &error), error);
  if (value) {
    ExprNode* converted = emitExpressionValue(value, *this, symbol->definitionLine, 0);
    int failed = ios_variable_set_expression(variable, converted, &error);
    expr_release(converted);
    check(failed, error);
  }
}

uint32_t ObjectFile::addSymbolName(const char* name) {
  // A symbol's name is interned for the whole run, longer than the store file lives:
  // the store refers to it instead of copying it.
  IosErrorCode error = IOS_ERR_INTERNAL;
  IosHandle string = {0, 0};
  check(ios_strtab_add_borrowed(fileId, name ? name : "", &string, &error), error);
  return string.object_id;
}

uint32_t ObjectFile::addString(const char* text) {
  IosErrorCode error = IOS_ERR_INTERNAL;
  IosHandle string = {0, 0};
  check(ios_strtab_add(fileId, text, &string, &error), error);
  return string.object_id;
}

void ObjectFile::checkEquateValues() {
  // As the producer reads a symbol's value: an integer, or one relocatable term and a
  // constant once the symbols it names stand for their values.
  for (auto& [symbol, handle] : equateValues_) {
    ExprNode* location = nullptr;
    if (ios_symbol_get_section_expr(handle, &location, nullptr) != 0 || location == nullptr) continue;
    if (location->kind == EXPR_VALUE &&
        (location->value_type == EXPR_TYPE_SIGNED || location->value_type == EXPR_TYPE_UNSIGNED))
      continue;
    ElfReference reference{};
    int64_t constant = 0;
    bool holds = elfw_build_relocation(location, &reference, &constant, true) == 0;
    if (!holds) errorHandler()->report(E_invalid_object_expression, symbol->definitionLine);
    IosErrorCode error = IOS_ERR_INTERNAL;
    ExprSlotRef slot = {0, nullptr};
    check(ios_symbol_get_slot(handle, &slot, &error), error);
    if (holds) {
      // The slot keeps the term and the constant its value came to. The equates are
      // checked after those their values name, so an equate of a long chain reads
      // the sum of the link before it rather than the rest of the chain again, which
      // the producer would read once per symbol too. A value without a term stays as
      // it is: a plain number in the slot would make the symbol absolute.
      if (reference.slot_index == 0) continue;
      ExprLibContext* context = objectExprContext();
      ExprNode* term = nullptr;
      if (!objectNodeMade(context, objexpr_make_slot_ref(context, &term, reference.slot_index,
                                                         reference.slot_context)))
        continue;
      ExprNode* sum = objectTake(OBJ_add, {term, objectInteger(constant)});
      int failed = ios_location_set(slot, sum, &error);
      expr_release(sum);
      check(failed, error);
      continue;
    }
    // The slot gives up the value it held for the 0.
    ExprNode* zero = objectInteger(0);
    int failed = ios_location_set(slot, zero, &error);
    expr_release(zero);
    check(failed, error);
  }
  equateValues_.clear();
}
