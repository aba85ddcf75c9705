// The IEEE-695 module writer over the object store of a whole assembler run. Each input
// is assembled in-process; once the run has filled its object store and written its
// object file, the store is written as an IEEE-695 module into a file of the target's
// scratch folder and read back with the record codec. The first byte picks options
// (bit 0 -g, bit 1 -OS, bits 2-3 the core, bit 4 --emit-locals, bit 5 -ig, bit 6
// --concatenate-sections, bit 7 -c); the rest is the source.
//
// What must hold for every module written:
//  - every record reads back, the module begins with MB and ends with ME, and each
//    part-offset assignment names 0 or the start of a record (W7 the ME);
//  - written again, the records read give the module byte for byte;
//  - the sections part names the store's sections in their order, with their sizes;
//  - the externals part names the store's symbols in the order the writer numbers
//    them; the value of each defined one, reduced to a number plus multiples of
//    section bases and external names, is the store's value reduced alike, and a
//    label's value lies in the label's section at its offset;
//  - the data part loads, for every section with contents, data that equals the
//    store's image at the same units, and an expression at every relocated field.
// A fatal message ends an input, not the process.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "driver/OrbaAssembler.h"
#include "objlib/expr_values.h"
#include "objlib/exprlib.h"
#include "objlib/ieee695/ieee_record.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"
#include "util/InputGate.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunState.h"
#include "ScratchFolder.h"
#include "StoppingRun.h"

namespace {

constexpr const char* kTarget = "ieee_module";
constexpr size_t kMaxLines = 20000;
// The writer loads data a record of at most 127 bytes at a time: a store of larger
// sections is written all the same but not by this target, whose inputs stay quick.
constexpr uint64_t kMaxStoreUnits = 1u << 18;

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "IEEE-695 module check failed: %s\n", what);
  __builtin_trap();
}

std::string file(const char* name) { return scratch::path(kTarget, name); }

void writeFile(const std::string& name, const void* data, size_t size) {
  check(scratch::writeFile(name, data, size), "scratch file written");
}

void setUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  static const char include[] =
      " .sdecl \".data.inc\",data\n"
      " .sect \".data.inc\"\n"
      "inc_word: .word 0x11223344,inc_word\n";
  writeFile(file("a.inc"), include, sizeof include - 1);
}

class FuzzFactory : public TriCoreFactory {
 public:
  OrbaOptions* createOptions(int argc, char** argv) override {
    OrbaOptions* options = TriCoreFactory::createOptions(argc, argv);
    delete runState().errorHandler;
    runState().errorHandler = new StoppingErrorHandler();
    runState().lineState = new BoundedLineState(kMaxLines);
    setInputPathFilter(scratch::inside);
    return options;
  }
};

using Bytes = std::vector<uint8_t>;

Bytes readAll(std::FILE* stream) {
  Bytes bytes;
  std::rewind(stream);
  uint8_t buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) bytes.insert(bytes.end(), buffer, buffer + got);
  return bytes;
}

Bytes bufferBytes(const StrBuf* buffer) {
  size_t length = ieee_buf_length(buffer);
  return length == 0 ? Bytes() : Bytes(ieee_buf_bytes(buffer), ieee_buf_bytes(buffer) + length);
}

std::string bufferText(const StrBuf* buffer) {
  const Bytes bytes = bufferBytes(buffer);
  return std::string(bytes.begin(), bytes.end());
}

std::string text(IosHandle string) {
  const char* chars = nullptr;
  if (string.object_id < 1 || ios_string_get_text(string, &chars, nullptr) != 0 || chars == nullptr) return "";
  return chars;
}

// ---- What the store holds ------------------------------------------------------

struct StoreSection {
  IosHandle handle{0, 0};
  std::string name;
  bool sized = false;
  uint32_t size = 0;
  uint32_t mauBits = 8;
  bool hasImage = false;
  // Relocated fields by offset: the units the first entry at that offset fills.
  std::map<uint32_t, uint32_t> fields;
};

struct StoreName {
  IosHandle symbol{0, 0};
  std::string name;
  bool global = false;
  bool relative = false;  // its value refers to a location: a section or another symbol
};

// A value as a number plus multiples of what a linker places: section bases ('S', by
// the module's section index) and external names ('X', by the module's name index).
// Numbers are compared in the 32 bits the target's addresses have; the multiples wrap
// as the numbers do.
struct Linear {
  bool known = true;
  uint32_t number = 0;
  std::map<std::pair<char, uint64_t>, uint64_t> terms;

  static Linear unknown() {
    Linear value;
    value.known = false;
    return value;
  }
  static Linear of(char kind, uint64_t index) {
    Linear value;
    value.terms[{kind, index}] = 1;
    return value;
  }
  void add(const Linear& other, int64_t factor) {
    known = known && other.known;
    number += static_cast<uint32_t>(other.number * static_cast<uint64_t>(factor));
    for (const auto& [term, count] : other.terms) {
      if ((terms[term] += count * static_cast<uint64_t>(factor)) == 0) terms.erase(term);
    }
  }
  bool operator==(const Linear& other) const {
    return known == other.known && number == other.number && terms == other.terms;
  }
};

// The product of two values, known when one of them is a plain number.
Linear product(const Linear& left, const Linear& right) {
  if (!left.known || !right.known || (!left.terms.empty() && !right.terms.empty())) return Linear::unknown();
  const Linear& scaled = left.terms.empty() ? right : left;
  const uint32_t factor = left.terms.empty() ? left.number : right.number;
  Linear out;
  out.add(scaled, static_cast<int32_t>(factor));
  return out;
}

struct Store {
  uint32_t fileId = 0;
  std::vector<StoreSection> sections;  // in the order the module numbers them
  std::vector<StoreName> names;        // in the order the module numbers them
  uint64_t units = 0;
};

void addFields(StoreSection& section) {
  IosHandle imageHandle{0, 0};
  IosImage* image = nullptr;
  if (ios_section_get_image(section.handle, &imageHandle, nullptr) != 0 ||
      ios_get_image(imageHandle, &image, nullptr) != 0 || image == nullptr) {
    return;
  }
  for (uint32_t i = 0; i < image->relocations.count; ++i) {
    const auto* entry = static_cast<const IosRelocEntry*>(ios_array_at(&image->relocations, sizeof(IosRelocEntry), i));
    if (entry->units != 0) section.fields.emplace(entry->offset, entry->units);
  }
  for (uint32_t i = 0; i < image->expressions.count; ++i) {
    const auto* entry = static_cast<const IosExprEntry*>(ios_array_at(&image->expressions, sizeof(IosExprEntry), i));
    if (entry->units != 0) section.fields.emplace(entry->offset, entry->units);
  }
}

// Whether an expression refers to a location slot anywhere in it.
bool refersToLocation(ExprNode* root) {
  std::vector<ExprNode*> open{root};
  while (!open.empty()) {
    ExprNode* node = open.back();
    open.pop_back();
    if (node == nullptr) continue;
    switch (node->kind) {
      case EXPR_SLOT_REF: return true;
      case EXPR_VALUE: break;
      case EXPR_CONVERT: open.push_back(node->payload.held); break;
      case EXPR_DEFERRED: open.push_back(node->payload.deferred.operand); break;
      default:
        for (ExprLink* link = node->payload.operands.head; link != nullptr; link = link->next) open.push_back(link->operand);
        break;
    }
  }
  return false;
}

void addNames(Store& store, std::map<uint32_t, bool>& seen, IosHandle scope, bool global) {
  uint32_t count = 0;
  if (ios_scope_count_symbols(scope, &count, nullptr) != 0) return;
  for (uint32_t i = 0; i < count; ++i) {
    IosHandle symbol{0, 0};
    IosSymbol* record = nullptr;
    if (ios_scope_get_symbol(scope, i, &symbol, nullptr) != 0 || ios_get_symbol(symbol, &record, nullptr) != 0 ||
        record == nullptr || !seen.emplace(symbol.object_id, true).second) {
      continue;
    }
    // A label held as section and offset is asked for as that pair: asking for its tree
    // makes one in its place, and the writer would then never write a pair.
    ExprNode* value = nullptr;
    bool relative = ios_symbol_get_section_offset(symbol, nullptr, nullptr, nullptr) == 0 ||
                    (ios_symbol_get_section_expr(symbol, &value, nullptr) == 0 && refersToLocation(value));
    store.names.push_back(StoreName{symbol, text(record->name), global, relative});
  }
}

Store readStore(uint32_t fileId) {
  Store store;
  store.fileId = fileId;
  IosFile* file = nullptr;
  check(ios_get_file(fileId, &file, nullptr) == 0 && file != nullptr, "store file");
  uint32_t cursor = 0;
  IosHandle handle{0, 0};
  while (ios_section_next(fileId, &cursor, &handle, nullptr) == 0 && handle.object_id != 0) {
    IosSection* live = nullptr;
    if (ios_get_section(handle, &live, nullptr) != 0 || live == nullptr) continue;
    uint32_t type = 0;
    if (ios_section_get_type(handle, &type, nullptr) == 0 && type == 2 && file->kind_word != 5) continue;
    StoreSection section;
    section.handle = handle;
    IosHandle name{0, 0};
    if (ios_section_get_name(handle, &name, nullptr) == 0) section.name = text(name);
    ExprNode* size = nullptr;
    section.sized = ios_section_get_size_expr(handle, &size, nullptr) == 0 && size != nullptr &&
                    ios_section_get_size(handle, &section.size, nullptr) == 0;
    uint32_t bits = 0;
    if (ios_section_get_mau_size(handle, &bits, nullptr) == 0 && bits != 0) section.mauBits = bits;
    uint32_t has = 0;
    section.hasImage = ios_section_has_image(handle, &has, nullptr) == 0 && has != 0;
    addFields(section);
    if (section.sized) store.units += section.size;
    store.sections.push_back(section);
  }
  std::map<uint32_t, bool> seen;
  IosHandle global{0, 0};
  if (ios_scope_get_global_handle(fileId, &global, nullptr) == 0) addNames(store, seen, global, true);
  uint32_t scopes = 0;
  if (ios_scope_list_count(fileId, &scopes, nullptr) == 0) {
    for (uint32_t i = 0; i < scopes; ++i) {
      IosHandle scope{0, 0};
      if (ios_scope_list_get(i, fileId, &scope, nullptr) == 0) addNames(store, seen, scope, false);
    }
  }
  return store;
}

// The store's value of a symbol reduced to a Linear: a label is its section's base plus
// its offset, a symbol without a value an external name, any other the reduced tree of
// its value. Unknown for what the reduction does not follow, and for a value that leads
// back to itself. Each symbol is reduced once: chains of equates that name the one
// before twice stay linear.
class StoreValues {
 public:
  explicit StoreValues(const Store& store) : store_(store) {
    for (size_t i = 0; i < store.sections.size(); ++i) {
      sectionIndex_[store.sections[i].handle.object_id] = i + 1;
      IosSection* section = nullptr;
      if (ios_get_section(store.sections[i].handle, &section, nullptr) == 0 && section != nullptr)
        bySlot_[section->address_slot.index] = i + 1;
    }
    for (size_t i = 0; i < store.names.size(); ++i) nameIndex_[store.names[i].symbol.object_id] = 32 + i;
  }

  // The module's index of a section of the store; 0 for one the module does not number.
  uint64_t sectionIndex(IosHandle section) const {
    auto found = sectionIndex_.find(section.object_id);
    return found != sectionIndex_.end() ? found->second : 0;
  }
  // Of the section whose address slot is `slot`.
  uint64_t sectionOfSlot(uint32_t slot) const {
    auto found = bySlot_.find(slot);
    return found != bySlot_.end() ? found->second : 0;
  }

  Linear symbol(IosHandle symbol) {
    auto [held, first] = reduced_.try_emplace(symbol.object_id, Linear::unknown());
    if (!first) return held->second;
    const Linear value = reduce(symbol);
    reduced_[symbol.object_id] = value;
    return value;
  }

 private:
  Linear reduce(IosHandle symbol) {
    uint32_t offset = 0;
    ExprSlotRef base{};
    if (ios_symbol_get_section_offset(symbol, &offset, &base, nullptr) == 0) {
      const uint64_t section = sectionOfSlot(base.index);
      if (section == 0) return Linear::unknown();
      Linear value = Linear::of('S', section);
      value.number = offset;
      return value;
    }
    ExprNode* tree = nullptr;
    if (ios_symbol_get_section_expr(symbol, &tree, nullptr) == 0 && tree != nullptr) return node(tree, 0);
    auto name = nameIndex_.find(symbol.object_id);
    return name != nameIndex_.end() ? Linear::of('X', name->second) : Linear::unknown();
  }

  Linear node(const ExprNode* tree, uint32_t depth) {
    if (depth > 4000) return Linear::unknown();
    switch (tree->kind) {
      case EXPR_VALUE: {
        uint32_t words[2] = {};
        if (tree->value_type != EXPR_TYPE_SIGNED && tree->value_type != EXPR_TYPE_UNSIGNED &&
            tree->value_type != EXPR_TYPE_UNTYPED)
          return Linear::unknown();
        expr_get_int64(tree, words);
        Linear value;
        value.number = words[0];
        return value;
      }
      case EXPR_SLOT_REF: {
        const uint32_t slot = tree->payload.slot.index;
        if (const uint64_t section = sectionOfSlot(slot)) return Linear::of('S', section);
        IosHandle symbol{0, 0};
        if (ios_symbol_find_by_slot(store_.fileId, slot, &symbol, nullptr) != 0) return Linear::unknown();
        return this->symbol(symbol);
      }
      case EXPR_ADD:
      case EXPR_SUB: {
        if (expr_operand_count(tree) != 2) return Linear::unknown();
        Linear value = node(expr_operand(tree, 0), depth + 1);
        value.add(node(expr_operand(tree, 1), depth + 1), tree->kind == EXPR_ADD ? 1 : -1);
        return value;
      }
      case EXPR_NEG: {
        if (expr_operand_count(tree) != 1) return Linear::unknown();
        Linear value;
        value.add(node(expr_operand(tree, 0), depth + 1), -1);
        return value;
      }
      case EXPR_MUL:
        if (expr_operand_count(tree) != 2) return Linear::unknown();
        return product(node(expr_operand(tree, 0), depth + 1), node(expr_operand(tree, 1), depth + 1));
      default:
        return Linear::unknown();
    }
  }

  const Store& store_;
  std::map<uint32_t, uint64_t> sectionIndex_;
  std::map<uint32_t, uint64_t> bySlot_;
  std::map<uint32_t, uint64_t> nameIndex_;
  std::map<uint32_t, Linear> reduced_;  // unknown while a symbol is being reduced
};

// The units [first, first + count) of a section's image, one byte per unit of up to
// eight bits, or the bytes of each wider unit, most significant first, as data records
// carry them.
Bytes storeData(const StoreSection& section, uint32_t first, uint32_t count) {
  IosHandle image{0, 0};
  IosHandle window{0, 0};
  IosData* data = nullptr;
  check(ios_section_get_image(section.handle, &image, nullptr) == 0, "image of a section with data");
  check(ios_data_place(image, section.mauBits, first, count, &window, nullptr) == 0 &&
            ios_get_data(window, &data, nullptr) == 0 && data != nullptr && data->words != nullptr,
        "store data of a loaded range");
  const uint32_t bytesPerUnit = (section.mauBits + 7) / 8;
  Bytes bytes;
  for (uint32_t unit = 0; unit < count; ++unit) {
    for (uint32_t i = bytesPerUnit; i-- > 0;) bytes.push_back(static_cast<uint8_t>(data->words[unit] >> (8 * i)));
  }
  check(ios_section_remove_data(section.handle, window, nullptr) == 0, "store data window closed");
  return bytes;
}

// ---- What the module says -------------------------------------------------------

struct Record {
  uint64_t offset = 0;
  uint32_t type = 0;
  uint32_t letter = 0;
  uint64_t index = 0;
  Bytes value;  // AS and LR values, without a record byte that ended them
  std::string name;
  Bytes data;   // LD
};

// The record byte that ended an expression run is the last byte the reader keeps in
// the run (it also stays on the stream for the next record).
void dropRecordByte(IosValue& value) {
  if (value.text != nullptr && ieee_buf_length(value.text) != 0 && static_cast<uint8_t>(value.text->end[-1]) >= 0xE0) {
    --value.text->end;
  }
}

size_t namePrefix(size_t length) { return length < 128 ? 1 : length < 256 ? 2 : 3; }

// Undoes what the reader adds to a record so that writing it again must give the bytes
// it was read from: the record bytes ending runs, the brackets the writer puts around
// the value of G, and the empty module name it reads where the writer wrote none.
void asWritten(IeeeRecord& record) {
  IeeeBody& body = *record.body;
  switch (record.type) {
    case IEEE_MB: {
      size_t processor = ieee_buf_length(body.mb.processor);
      if (body.mb.module != nullptr && ieee_buf_length(body.mb.module) == 0 &&
          record.length < 1 + namePrefix(processor) + processor + 1) {
        ieee_buf_free(body.mb.module);
        body.mb.module = nullptr;
      }
      break;
    }
    case IEEE_AS: {
      dropRecordByte(body.as.value);
      StrBuf* run = body.as.value.text;
      size_t length = ieee_buf_length(run);
      if (body.as.letter == 0xC7 && body.as.index == 0 && length >= 2 && static_cast<uint8_t>(run->base[0]) == 0xBE &&
          static_cast<uint8_t>(run->end[-1]) == 0xBF) {
        std::memmove(run->base, run->base + 1, length - 2);
        run->end -= 2;
      }
      break;
    }
    case IEEE_E3: dropRecordByte(body.e3.value); break;
    case IEEE_LR:
    case IEEE_FA:
      dropRecordByte(body.lr.variable_value);
      dropRecordByte(body.lr.expression);
      break;
    case IEEE_AT: dropRecordByte(body.at.value); break;
    case IEEE_WX: dropRecordByte(body.wx.value); break;
    case IEEE_BB: dropRecordByte(body.bb.value); break;
    case IEEE_BE: dropRecordByte(body.be.value); break;
    default: break;
  }
}

Record summary(const IeeeRecord& record) {
  Record out;
  out.offset = record.start_offset;
  out.type = record.type;
  const IeeeBody& body = *record.body;
  switch (record.type) {
    case IEEE_AS:
      out.letter = body.as.letter;
      out.index = body.as.index;
      out.value = bufferBytes(body.as.value.text);
      break;
    case IEEE_LR:
      out.value = bufferBytes(body.lr.expression.text);
      break;
    case IEEE_SB: out.index = body.number.number; break;
    case IEEE_ST:
      out.index = body.st.section;
      out.name = bufferText(body.st.name);
      break;
    case IEEE_NI:
    case IEEE_NX:
    case IEEE_NN:
      out.letter = body.name.letter;
      out.index = body.name.index;
      out.name = bufferText(body.name.name);
      break;
    case IEEE_LD: out.data.assign(body.ld.data, body.ld.data + body.ld.count); break;
    default: break;
  }
  return out;
}

// Reads every record of the module and writes each again, as the reader left it less
// what the reader adds; the records read, and the bytes written again.
std::vector<Record> readModule(std::FILE* module, Bytes* again) {
  std::FILE* copy = std::fopen(file("again.ieee").c_str(), "w+b");
  check(copy != nullptr, "scratch file for the records written again");
  std::rewind(module);
  ieee_process_state_reset();
  IeeeStream* in = ieee_stream_open(module, 0);
  IeeeStream* out = ieee_stream_open_write(copy);
  check(in != nullptr && out != nullptr, "streams");
  std::vector<Record> records;
  IeeeRecord record{};
  uint8_t next = 0;
  while (ieee_stream_peek_byte(in, &next) != 0) {
    check(ieee_record_transfer(&record, in) == 1, "every record reads back");
    asWritten(record);
    records.push_back(summary(record));
    check(ieee_record_transfer(&record, out) == 1, "every record read is written again");
    ieee_record_clear(&record);
  }
  ieee_record_clear(&record);
  ieee_stream_close(&in);
  check(ieee_stream_close(&out) == 1, "records written again");
  *again = readAll(copy);
  std::fclose(copy);
  return records;
}

// Decodes a value that is one number.
bool valueNumber(const Bytes& value, uint64_t* number) {
  return !value.empty() && ieee_decode_number(value.data(), value.size(), number) == value.size();
}

// The section indexes that the variables L, P and R of an encoded expression name;
// *others counts the other variables.
std::vector<uint64_t> sectionVariables(const Bytes& value, size_t* others = nullptr) {
  std::vector<uint64_t> found;
  if (others != nullptr) *others = 0;
  for (size_t at = 0; at < value.size();) {
    uint8_t byte = value[at];
    if (byte >= 0x80 && byte <= 0x88) {
      at += 1 + (byte - 0x80u);
    } else if (byte >= 0xC1 && byte <= 0xDA && byte != 0xC7) {
      uint64_t index = 0;
      uint32_t used = ieee_decode_number(value.data() + at + 1, value.size() - at - 1, &index);
      if (used == 0) break;
      if (byte == 0xCC || byte == 0xD0 || byte == 0xD2) found.push_back(index);
      else if (others != nullptr) ++*others;
      at += 1 + used;
    } else {
      ++at;
    }
  }
  return found;
}

// The values the module gives its names, reduced to Linears: a section variable L or
// R is the section's base, X an external name, I and N the value of that name. Each
// name is reduced once, and one whose value leads back to itself is unknown.
class ModuleValues {
 public:
  explicit ModuleValues(const std::map<uint64_t, const Record*>& values) : values_(values) {}

  Linear name(uint64_t index) {
    auto [held, first] = reduced_.try_emplace(index, Linear::unknown());
    if (!first) return held->second;
    auto found = values_.find(index);
    const Linear value = found != values_.end() ? expression(found->second->value) : Linear::unknown();
    reduced_[index] = value;
    return value;
  }

 private:
  Linear expression(const Bytes& value) {
    std::vector<Linear> stack;
    auto number = [&](size_t at, uint64_t* out) {
      return ieee_decode_number(value.data() + at, value.size() - at, out);
    };
    for (size_t at = 0; at < value.size();) {
      const uint8_t byte = value[at];
      uint64_t index = 0;
      if (byte < 0x80 || (byte >= 0x81 && byte <= 0x88)) {
        const uint32_t used = number(at, &index);
        if (used == 0) return Linear::unknown();
        Linear constant;
        constant.number = static_cast<uint32_t>(index);
        stack.push_back(constant);
        at += used;
      } else if (byte == 0xCC || byte == 0xD2 || byte == 0xD8 || byte == 0xC9 || byte == 0xCE) {
        const uint32_t used = at + 1 < value.size() ? number(at + 1, &index) : 0;
        if (used == 0) return Linear::unknown();
        stack.push_back(byte == 0xCC || byte == 0xD2 ? Linear::of('S', index)
                        : byte == 0xD8              ? Linear::of('X', index)
                                                    : name(index));
        at += 1 + used;
      } else if (byte == 0xA5 || byte == 0xA6 || byte == 0xA8) {
        if (stack.size() < 2) return Linear::unknown();
        Linear right = stack.back();
        stack.pop_back();
        if (byte == 0xA8) stack.back() = product(stack.back(), right);
        else stack.back().add(right, byte == 0xA5 ? 1 : -1);
        ++at;
      } else if (byte == 0xA3) {
        if (stack.empty()) return Linear::unknown();
        Linear negated;
        negated.add(stack.back(), -1);
        stack.back() = negated;
        ++at;
      } else {
        return Linear::unknown();
      }
    }
    return stack.size() == 1 ? stack.back() : Linear::unknown();
  }

  const std::map<uint64_t, const Record*>& values_;
  std::map<uint64_t, Linear> reduced_;
};

// ---- The checks ----------------------------------------------------------------

void checkFrame(const std::vector<Record>& records, uint64_t parts[8]) {
  check(!records.empty() && records.front().type == IEEE_MB, "the module begins with MB");
  check(records.back().type == IEEE_ME, "the module ends with ME");
  std::map<uint64_t, uint32_t> starts;
  for (const Record& record : records) starts[record.offset] = record.type;
  for (uint32_t n = 0; n < 8; ++n) parts[n] = ~uint64_t{0};
  for (const Record& record : records) {
    if (record.type != IEEE_AS || record.letter != 0xD7 || record.index >= 8) continue;
    check(valueNumber(record.value, &parts[record.index]), "a part offset is a number");
  }
  for (uint32_t n = 0; n < 8; ++n) {
    check(parts[n] != ~uint64_t{0}, "eight part-offset assignments");
    check(parts[n] == 0 || starts.count(parts[n]) != 0, "a part offset names the start of a record");
  }
  check(parts[7] == records.back().offset, "W7 names the module end");
}

// The records of part n: from its offset up to the next part that has records.
std::vector<const Record*> partRecords(const std::vector<Record>& records, const uint64_t parts[8], uint32_t n) {
  std::vector<const Record*> out;
  if (parts[n] == 0) return out;
  uint64_t end = ~uint64_t{0};
  for (uint32_t m = 0; m < 8; ++m) {
    if (parts[m] > parts[n] && parts[m] < end) end = parts[m];
  }
  for (const Record& record : records) {
    if (record.offset >= parts[n] && record.offset < end) out.push_back(&record);
  }
  return out;
}

void checkSections(const Store& store, const std::vector<const Record*>& part) {
  std::vector<const Record*> types;
  std::map<uint64_t, uint64_t> sizes;
  for (const Record* record : part) {
    if (record->type == IEEE_ST) types.push_back(record);
    if (record->type == IEEE_AS && record->letter == 0xD3) {
      uint64_t size = 0;
      check(valueNumber(record->value, &size), "a section size is a number");
      check(sizes.emplace(record->index, size).second, "one size per section");
    }
  }
  check(types.size() == store.sections.size(), "one ST per section of the store");
  for (size_t i = 0; i < types.size(); ++i) {
    const StoreSection& section = store.sections[i];
    check(types[i]->index == i + 1, "sections are numbered in the store's order");
    check(types[i]->name == section.name, "a section's name");
    auto size = sizes.find(i + 1);
    check(section.sized == (size != sizes.end()), "a size for every section that has one");
    check(!section.sized || size->second == section.size, "a section's size");
  }
  check(sizes.size() <= types.size(), "sizes only of sections");
}

void checkNames(const Store& store, const std::vector<const Record*>& part) {
  std::vector<const Record*> names;
  std::map<uint64_t, const Record*> values;
  for (const Record* record : part) {
    if (record->type == IEEE_NI || record->type == IEEE_NX || record->type == IEEE_NN) names.push_back(record);
    if (record->type == IEEE_AS && (record->letter == 0xC9 || record->letter == 0xCE)) values[record->index] = record;
  }
  check(names.size() == (store.sections.empty() ? 0 : store.names.size()), "one name record per symbol of the store");
  for (size_t i = 0; i < names.size(); ++i) {
    const StoreName& name = store.names[i];
    check(names[i]->index == 32 + i, "names are numbered in the store's order");
    check(names[i]->name == name.name, "a symbol's name");
    check((names[i]->type == IEEE_NN) == !name.global, "local symbols have NN records, global ones NI or NX");
    if (names[i]->type == IEEE_NX) continue;
    auto value = values.find(names[i]->index);
    check(value != values.end(), "a defined name has a value");
    size_t others = 0;
    const size_t sectionsNamed = sectionVariables(value->second->value, &others).size();
    check(name.relative == (sectionsNamed + others != 0),
          "a symbol's value refers to a location when the store's does, else it is a plain number");
    for (uint64_t index : sectionVariables(value->second->value)) {
      check(index >= 1 && index <= store.sections.size(), "a value names a section of the module");
    }
  }
  StoreValues stored(store);
  ModuleValues read(values);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i]->type == IEEE_NX) continue;
    const IosHandle symbol = store.names[i].symbol;
    const Linear expected = stored.symbol(symbol);
    if (!expected.known) continue;
    const Linear found = read.name(names[i]->index);
    if (!(found == expected)) {
      std::fprintf(stderr, "%s: the module gives 0x%x%s, the store 0x%x\n", store.names[i].name.c_str(), found.number,
                   found.known ? "" : " (not reduced)", expected.number);
    }
    check(found == expected, "a symbol's value is the store's");
    // A label lies in its own section.
    IosHandle section{0, 0};
    if (ios_symbol_get_section_offset(symbol, nullptr, nullptr, nullptr) == 0 &&
        ios_symbol_section(symbol, &section, nullptr) == 0) {
      const uint64_t index = stored.sectionIndex(section);
      check(index != 0 && found.terms.size() == 1 && found.terms.count({'S', index}) == 1,
            "a label's value lies in the label's section");
    }
  }
}

void checkData(const Store& store, const std::vector<const Record*>& part) {
  const StoreSection* section = nullptr;
  uint64_t address = 0;
  bool started = false;
  std::map<uint32_t, bool> loaded;  // relocated fields the module loads
  auto finish = [&]() {
    if (section == nullptr) return;
    uint64_t covered = 0;
    for (const auto& [offset, units] : section->fields) {
      if (offset >= section->size || offset < covered) continue;
      check(loaded.count(offset) != 0, "every relocated field is loaded");
      covered = uint64_t{offset} + units;
    }
  };
  std::map<uint64_t, bool> begun;
  for (const Record* record : part) {
    switch (record->type) {
      case IEEE_SB:
        finish();
        check(record->index >= 1 && record->index <= store.sections.size(), "SB names a section");
        check(begun.emplace(record->index, true).second, "one SB per section");
        section = &store.sections[record->index - 1];
        check(section->hasImage && section->sized && section->size != 0, "data only of sections with contents");
        address = 0;
        started = false;
        loaded.clear();
        break;
      case IEEE_AS: {
        if (record->letter != 0xD0) break;
        check(section != nullptr && record->index == static_cast<uint64_t>(section - store.sections.data()) + 1,
              "P of the section being loaded");
        if (!started) {
          // The first P is the section's start.
          std::vector<uint64_t> named = sectionVariables(record->value);
          check(named.size() == 1 && named[0] == record->index && record->value.size() <= 1 + 9,
                "the data of a section starts at its base");
          started = true;
          break;
        }
        // A step: P n, a count of units, plus or minus.
        const Bytes& v = record->value;
        check(v.size() >= 4 && v[0] == 0xD0 && (v.back() == 0xA5 || v.back() == 0xA6), "a step of the load address");
        uint64_t index = 0;
        uint32_t used = ieee_decode_number(v.data() + 1, v.size() - 1, &index);
        uint64_t units = 0;
        check(used != 0 && index == record->index &&
                  ieee_decode_number(v.data() + 1 + used, v.size() - 2 - used, &units) == v.size() - 2 - used,
              "a step's count");
        if (v.back() == 0xA5) {
          address += units;
        } else {
          check(units <= address, "a step back stays in the section");
          address -= units;
        }
        check(address <= section->size, "a step stays in the section");
        break;
      }
      case IEEE_LD: {
        check(section != nullptr && started, "LD after SB and P");
        const uint32_t perUnit = (section->mauBits + 7) / 8;
        check(!record->data.empty() && record->data.size() % perUnit == 0, "LD of whole units");
        const uint64_t units = record->data.size() / perUnit;
        check(address + units <= section->size, "LD inside the section");
        check(record->data == storeData(*section, static_cast<uint32_t>(address), static_cast<uint32_t>(units)),
              "LD holds the store's data");
        address += units;
        break;
      }
      case IEEE_LR: {
        check(section != nullptr && started, "LR after SB and P");
        auto field = section->fields.find(static_cast<uint32_t>(address));
        check(field != section->fields.end(), "LR where the store has a relocated field");
        check(record->value.size() >= 2 && record->value.front() == 0xBE && record->value.back() == 0xBF,
              "LR holds one bracketed expression");
        loaded[field->first] = true;
        address += field->second;
        break;
      }
      default:
        break;
    }
  }
  finish();
  for (size_t i = 0; i < store.sections.size(); ++i) {
    const StoreSection& s = store.sections[i];
    check(begun.count(i + 1) == (s.hasImage && s.sized && s.size != 0 ? 1u : 0u), "every section with contents is loaded");
  }
}

void checkModule(uint32_t fileId) {
  Store store = readStore(fileId);
  if (store.units > kMaxStoreUnits) return;
  std::FILE* module = std::fopen(file("t.ieee").c_str(), "w+b");
  check(module != nullptr, "scratch file for the module");
  uint32_t error = 0;
  int written = ieee_write_module("t", module, fileId, &error);
  if (written != 0) std::fprintf(stderr, "module not written: error class %u\n", error);
  check(written == 0 && error == 0, "the store is written as a module");
  const Bytes bytes = readAll(module);
  Bytes again;
  std::vector<Record> records = readModule(module, &again);
  std::fclose(module);
  if (again != bytes) {
    size_t at = 0;
    while (at < again.size() && at < bytes.size() && again[at] == bytes[at]) ++at;
    std::fprintf(stderr, "records written again differ from the module at 0x%zx\n", at);
  }
  check(again == bytes, "the records read give the module again");
  uint64_t parts[8];
  checkFrame(records, parts);
  checkSections(store, partRecords(records, parts, 2));
  checkNames(store, partRecords(records, parts, 3));
  checkData(store, partRecords(records, parts, 5));
}

// The run's object store is complete once the object file is written.
class ModuleAssembler : public TriCoreAssembler {
 public:
  using TriCoreAssembler::TriCoreAssembler;
  void afterWriteObject() override {
    uint32_t fileId = 0;
    if (ios_admin_file_id_at(0, &fileId, nullptr) != 0) return;
    checkModule(fileId);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  setUpOnce();
  writeFile(file("t.asm"), data + 1, size - 1);
  static const char* const cores[] = {"--core=tc1.3", "--core=tc1.3.1", "--core=tc1.6", "--core=tc1.6.x"};
  const uint8_t settings = data[0];
  std::vector<std::string> words{"vekt", "-o", file("t.o"), "--error-file=" + file("t.ers"), "--error-limit=0"};
  if (settings & 0x01) words.push_back("-g");
  if (settings & 0x02) words.push_back("-OS");
  words.push_back(cores[(settings >> 2) & 3]);
  if (settings & 0x10) words.push_back("--emit-locals");
  if (settings & 0x20) words.push_back("-ig");
  if (settings & 0x40) words.push_back("--concatenate-sections");
  if (settings & 0x80) words.push_back("-c");
  words.push_back(file("t.asm"));
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  ieee_process_state_reset();
  FuzzFactory factory;
  ModuleAssembler assembler(static_cast<int>(words.size()), argv.data(), &factory);
  try {
    assembler.run();
  } catch (const FatalStop&) {
  }
  return 0;
}
