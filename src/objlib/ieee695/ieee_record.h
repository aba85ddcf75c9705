// In-memory IEEE-695 records and the record codec: one body layout per record type,
// its defaults, its release, and one routine per type that writes or reads the body
// by the stream's mode.
#pragma once

#include <cstdint>

#include "objlib/ieee695/ieee_stream.h"

enum IeeeRecordType : uint32_t {
  IEEE_MB = 0xE0,
  IEEE_ME = 0xE1,
  IEEE_AS = 0xE2,
  IEEE_E3 = 0xE3,
  IEEE_LR = 0xE4,
  IEEE_SB = 0xE5,
  IEEE_ST = 0xE6,
  IEEE_SA = 0xE7,
  IEEE_NI = 0xE8,
  IEEE_NX = 0xE9,
  IEEE_CO = 0xEA,
  IEEE_DT = 0xEB,
  IEEE_AD = 0xEC,
  IEEE_LD = 0xED,
  IEEE_NN = 0xF0,
  IEEE_AT = 0xF1,
  IEEE_TY = 0xF2,
  IEEE_WX = 0xF4,
  IEEE_RE = 0xF7,
  IEEE_BB = 0xF8,
  IEEE_BE = 0xF9,
  IEEE_FA = 0xFA,
  IEEE_FB = 0xFB,
  IEEE_FC = 0xFC,
};

inline constexpr uint32_t IEEE_LR_DATA_BYTES = 128;
inline constexpr uint32_t IEEE_LD_DATA_BYTES = 184;
inline constexpr uint32_t IEEE_ST_LIST_WORDS = 16;  // 15 entries and the ending zero

enum IeeeLrItemKind : int16_t {
  IEEE_LR_NONE = -1,
  IEEE_LR_DATA = 0,
  IEEE_LR_VARIABLE = 1,
  IEEE_LR_EXPRESSION = 2,
};

struct IeeeBodyMB {
  StrBuf* processor;
  StrBuf* module;
};
struct IeeeBodyAS {
  uint32_t letter;
  uint64_t index;
  IosValue value;
};
struct IeeeBodyE3 {
  uint32_t letter;
  IosValue value;
};
struct IeeeBodyLR {
  int16_t parity;
  int16_t item_kind;
  uint64_t count;
  uint8_t data[IEEE_LR_DATA_BYTES];
  uint32_t letter;
  uint64_t index;
  IosValue variable_value;
  IosValue expression;
  uint16_t value_kind;  // 2 when the expression holds encoded bytes
};
struct IeeeBodyNumber {  // SB and RE
  uint64_t number;
};
struct IeeeBodyST {
  uint64_t section;
  uint32_t types[IEEE_ST_LIST_WORDS];
  StrBuf* name;
  uint64_t trailing;
};
struct IeeeBodySA {
  uint64_t section;
  uint64_t alignment;
  uint64_t page_size;
};
struct IeeeBodyName {  // NI, NX, NN and 0xFC (name unused there)
  uint32_t letter;
  uint64_t index;
  StrBuf* name;
};
struct IeeeBodyCO {
  uint64_t number;
  StrBuf* text;
};
struct IeeeBodyDT {
  uint64_t fields[6];  // year, month, day, hour, minute, second
};
struct IeeeBodyAD {
  uint64_t bits_per_mau;
  uint64_t maus_per_address;
  uint32_t order;
};
struct IeeeBodyLD {
  uint64_t count;
  uint8_t data[IEEE_LD_DATA_BYTES];
};
struct IeeeBodyAT {
  uint32_t letter;
  uint64_t index;
  uint64_t numbers[3];
  uint64_t third_present;
  IosValue value;
};
// TY items: numbers as their low 32 bits, a letter entry as the complement of the
// letter byte followed by its index.
struct IeeeItemList {
  uint32_t count;
  uint32_t capacity;
  uint32_t* items;
};
struct IeeeBodyTY {
  uint64_t type_index;
  IeeeItemList* items;
};
struct IeeeBodyWX {
  uint32_t letter;
  uint64_t index;
  IosValue value;
};
struct IeeeBodyBB {
  uint64_t block_type;
  uint64_t size;
  StrBuf* name;
  IosValue value;
};
struct IeeeBodyBE {
  IosValue value;
};
struct IeeeBodyFB {
  uint64_t first;
  uint64_t second;
};

union IeeeBody {
  IeeeBodyMB mb;
  IeeeBodyAS as;
  IeeeBodyE3 e3;
  IeeeBodyLR lr;
  IeeeBodyNumber number;
  IeeeBodyST st;
  IeeeBodySA sa;
  IeeeBodyName name;
  IeeeBodyCO co;
  IeeeBodyDT dt;
  IeeeBodyAD ad;
  IeeeBodyLD ld;
  IeeeBodyAT at;
  IeeeBodyTY ty;
  IeeeBodyWX wx;
  IeeeBodyBB bb;
  IeeeBodyBE be;
  IeeeBodyFB fb;
};

struct IeeeRecord {
  uint32_t type;  // 0 = no record
  IeeeBody* body;
  uint64_t start_offset;
  uint64_t length;
  IeeeBody storage;
};

// A zeroed record block from the pools (pool_free with its size gives it back); null
// when out of memory.
IeeeRecord* ieee_record_scratch_alloc();
// Whether a record of this type can be set up.
bool ieee_record_type_known(uint32_t type);
// Sets the record up for the type with its defaults; null for a null record or an
// unknown type (then nothing changes).
IeeeRecord* ieee_record_init(IeeeRecord* record, uint32_t type);
// Gives back what the body owns and sets type and body to 0. Safe to repeat.
void ieee_record_clear(IeeeRecord* record);
// Writes or reads the record by the stream's mode; 1 when it was coded and passes its
// type's validity check. The header's offsets are set in both cases.
int ieee_record_transfer(IeeeRecord* record, IeeeStream* stream);
// Codes the record's body onto a write stream that drops what it is given (see
// ieee_stream_open_discard): 1 when the whole record could be written and passes its
// check, so that a record which would fail halfway is refused before any byte of it
// reaches a file. The record and its header stay as they were.
int ieee_record_writable(IeeeRecord* record, IeeeStream* trial);
// The value of an AS or WX record (shared, not copied); an empty holder for others.
void ieee_record_get_value(IosValue* out, const IeeeRecord* record);
// Copies a holder into the value of an AS or WX record; a null record does nothing.
void ieee_record_set_value(IeeeRecord* record, const IosValue* value);

// One record type's defaults (ieee_init_rec_*) and its body coder (ieee_code_rec_*),
// named by the type byte; ieee_record_init and ieee_record_transfer dispatch to them.
// LR and its twin 0xFA share the routines of 0xE4, and SB and RE have the same ones.
// ME has no body and so no routine. A null body is left alone; a coder given a null
// body or stream reports 0.
void ieee_init_rec_e0(IeeeBodyMB* body);
void ieee_init_rec_e2(IeeeBodyAS* body);
void ieee_init_rec_e3(IeeeBodyE3* body);
void ieee_init_rec_e4(IeeeBodyLR* body);
void ieee_init_rec_e5(IeeeBodyNumber* body);
void ieee_init_rec_e6(IeeeBodyST* body);
void ieee_init_rec_e7(IeeeBodySA* body);
void ieee_init_rec_e8(IeeeBodyName* body);
void ieee_init_rec_e9(IeeeBodyName* body);
void ieee_init_rec_ea(IeeeBodyCO* body);
void ieee_init_rec_eb(IeeeBodyDT* body);
void ieee_init_rec_ec(IeeeBodyAD* body);
void ieee_init_rec_ed(IeeeBodyLD* body);
void ieee_init_rec_f0(IeeeBodyName* body);
void ieee_init_rec_f1(IeeeBodyAT* body);
// Gives the body a new empty item list; a body set up before must be cleared first.
void ieee_init_rec_f2(IeeeBodyTY* body);
void ieee_init_rec_f4(IeeeBodyWX* body);
void ieee_init_rec_f7(IeeeBodyNumber* body);
void ieee_init_rec_f8(IeeeBodyBB* body);
void ieee_init_rec_f9(IeeeBodyBE* body);
void ieee_init_rec_fb(IeeeBodyFB* body);
void ieee_init_rec_fc(IeeeBodyName* body);

int ieee_code_rec_e0(IeeeBodyMB* body, IeeeStream* stream);
int ieee_code_rec_e2(IeeeBodyAS* body, IeeeStream* stream);
int ieee_code_rec_e3(IeeeBodyE3* body, IeeeStream* stream);
int ieee_code_rec_e4(IeeeBodyLR* body, IeeeStream* stream);
int ieee_code_rec_e5(IeeeBodyNumber* body, IeeeStream* stream);
int ieee_code_rec_e6(IeeeBodyST* body, IeeeStream* stream);
int ieee_code_rec_e7(IeeeBodySA* body, IeeeStream* stream);
int ieee_code_rec_e8(IeeeBodyName* body, IeeeStream* stream);
int ieee_code_rec_e9(IeeeBodyName* body, IeeeStream* stream);
int ieee_code_rec_ea(IeeeBodyCO* body, IeeeStream* stream);
int ieee_code_rec_eb(IeeeBodyDT* body, IeeeStream* stream);
int ieee_code_rec_ec(IeeeBodyAD* body, IeeeStream* stream);
int ieee_code_rec_ed(IeeeBodyLD* body, IeeeStream* stream);
int ieee_code_rec_f0(IeeeBodyName* body, IeeeStream* stream);
int ieee_code_rec_f1(IeeeBodyAT* body, IeeeStream* stream);
int ieee_code_rec_f2(IeeeBodyTY* body, IeeeStream* stream);
int ieee_code_rec_f4(IeeeBodyWX* body, IeeeStream* stream);
int ieee_code_rec_f7(IeeeBodyNumber* body, IeeeStream* stream);
int ieee_code_rec_f8(IeeeBodyBB* body, IeeeStream* stream);
int ieee_code_rec_f9(IeeeBodyBE* body, IeeeStream* stream);
int ieee_code_rec_fb(IeeeBodyFB* body, IeeeStream* stream);
int ieee_code_rec_fc(IeeeBodyName* body, IeeeStream* stream);

// Appends one TY item; 0, or -1 when the list cannot grow.
int ieee_items_append(IeeeItemList* list, uint32_t item);
// Letter entry of a TY item list.
inline uint32_t ieee_item_letter(uint32_t letter) { return ~letter; }

// The LR parity flag: readers tell consecutive LR records apart by it.
int16_t ieee_lr_parity();
void ieee_lr_parity_set(int16_t parity);
