// Relocation-expression nodes of the object library.
//
// Every value that stays open while an object file is filled (section addresses and
// sizes, symbol locations, relocation expressions) is a tree of reference-counted
// ExprNodes owned by the expression context of its file. A node holds one reference
// on each of its operands; a slot, a relocation record or any other holder owns one
// reference; nothing is freed except through expr_release, and whatever is still
// alive when the context is freed goes with it.
//
// Operations return 0 on success and 1 on failure; the failure's code is left in the
// context's error field, which a success never clears.
#pragma once

#include <cstddef>
#include <cstdint>

struct BlockPool;
struct ExprLibContext;
struct IdTable;
struct ExprNode;

enum ExprNodeKind : int32_t {
  EXPR_VALUE = 0,
  EXPR_SLOT_REF = 1,
  EXPR_TRUE = 2,
  EXPR_FALSE = 3,
  EXPR_ABS = 4,
  EXPR_ADD = 5,
  EXPR_BIT_AND = 6,
  EXPR_BIT_NOT = 7,
  EXPR_DIV = 8,
  EXPR_LOGICAL_AND = 9,
  EXPR_LOGICAL_OR = 10,
  EXPR_MAX = 11,
  EXPR_REM = 12,
  EXPR_MIN = 13,
  EXPR_MUL = 14,
  EXPR_NEG = 15,
  EXPR_LOGICAL_NOT = 16,
  EXPR_BIT_OR = 17,
  EXPR_SHL = 18,
  EXPR_SHR = 19,  // zero fill
  EXPR_SAR = 20,  // sign fill
  EXPR_SUB = 21,
  EXPR_BIT_XOR = 22,
  EXPR_EQ = 23,
  EXPR_NE = 24,
  EXPR_LE = 25,
  EXPR_GE = 26,
  EXPR_GT = 27,
  EXPR_LT = 28,
  EXPR_COND = 29,  // condition, then, else
  EXPR_PLACEHOLDER = 30,
  EXPR_CONVERT = 31,  // one operand, held directly; the node's value type is the target
  EXPR_DEFERRED = 32,  // tag word and one operand, held directly
  EXPR_LIST = 33,
  EXPR_RANGE_CHECK = 34,  // violation, value, code
  EXPR_BUILTIN_KIND_COUNT = 35,
  EXPR_USER_FIRST = 256,
};

enum ExprValueType : uint32_t {
  EXPR_TYPE_UNTYPED = 0,
  EXPR_TYPE_UNTYPED_ALT = 1,  // treated like 0 everywhere; no builder makes it
  EXPR_TYPE_SIGNED = 2,       // integer width bytes, least significant first
  EXPR_TYPE_UNSIGNED = 3,
  EXPR_TYPE_DOUBLE = 4,  // IEEE binary64 in the first 8 bytes
  EXPR_TYPE_FRACT = 5,   // width/8 bytes, most significant first
  EXPR_TYPE_STRING = 6,  // a string value object
};

// Codes left in the context's error field.
enum ExprErrorCode : uint32_t {
  EXPR_ERR_NONE = 0,
  EXPR_ERR_NOT_REDUCIBLE = 1,
  EXPR_ERR_OPERAND_TRUNCATED = 2,  // recorded without failing
  EXPR_ERR_BAD_OPERANDS = 3,  // missing, foreign or too many operands for the kind
  EXPR_ERR_NO_MEMORY = 4,
  EXPR_ERR_NO_HANDLER = 6,
  EXPR_ERR_TYPE_UNDEFINED = 7,
  EXPR_ERR_TYPE_MISMATCH = 8,
  EXPR_ERR_EMPTY_SLOT = 9,
  EXPR_ERR_DIVIDE_BY_ZERO = 10,
  EXPR_ERR_OUT_OF_RANGE = 11,
  EXPR_ERR_FRACT_RANGE = 13,
  EXPR_ERR_NO_RESOLVER = 14,
  EXPR_ERR_RANGE_CHECK = 15,
  EXPR_ERR_FRACT_DIVISION = 16,
};

// A link of an operator's operand list, in operand order.
struct ExprLink {
  ExprLink* next;
  ExprNode* operand;
};

// The value of a string node; all of a context's string values form one list so
// that freeing the context can return their texts.
struct ExprValueObject {
  ExprValueObject* next;
  ExprValueObject* previous;
  char* text;   // NUL-terminated
  size_t size;  // bytes of the text buffer
};

struct ExprSlotRef {
  uint32_t index;
  ExprLibContext* context;  // whose slot table holds the slot
};

struct ExprDeferred {
  uint32_t tag;
  ExprNode* operand;
};

struct ExprOperandList {
  ExprLink* head;
  ExprLink* tail;  // appending stays constant time for long lists
};

union ExprPayload {
  unsigned char bytes[16];
  ExprValueObject* string;  // kind 0, type 6
  ExprSlotRef slot;         // kind 1
  ExprNode* held;           // kind 31
  ExprDeferred deferred;    // kind 32
  ExprOperandList operands;  // every other kind
};

struct ExprNode {
  ExprLibContext* context;  // owner; never changes
  int32_t kind;
  uint32_t value_type;  // of the value, or by which an operator is dispatched
  uint16_t width;       // bits
  uint32_t flag;        // travels with values: results OR their operands' flags
  int32_t ref_count;
  ExprPayload payload;  // the node's block extends it to the context's integer width
};

// A location slot: the expression stored there (one reference), or a located value:
// another slot of the same context plus a constant offset, held as two words with no
// tree. Most symbols of a file are labels whose value is just that, so the tree
// (three nodes and a link) is made only when a reader asks for it.
struct ExprSlot {
  ExprNode* expr;
  uint32_t base;    // located value: the slot it is relative to; else EXPR_NO_BASE
  uint32_t offset;  // located value: the unsigned offset added to the base
};
inline constexpr uint32_t EXPR_NO_BASE = 0xFFFFFFFFu;

// The entries come from pool_alloc(capacity * sizeof(ExprSlot)) and go back the same
// way; whoever grows the table keeps to that.
struct ExprSlotTable {
  uint32_t next_index;  // slot 0 is never handed out
  uint32_t capacity;
  ExprSlot* entries;
};

using ExprOperatorHandler = int (*)(ExprNode* node, uintptr_t argument);

struct ExprUserOperator {
  int32_t kind;
  ExprOperatorHandler handler;
  uintptr_t argument;
};

// Entries from pool_alloc(capacity * sizeof(ExprUserOperator)), none until the first
// registration.
struct ExprUserOperators {
  uint32_t count;
  uint32_t capacity;
  ExprUserOperator* entries;
};

// Produces the value of a deferred node's operand; 0 on success.
using ExprResolver = int (*)(uint32_t tag, ExprNode* operand);
// Told of a failed range check with the check's code and its value node.
using ExprRangeReport = void (*)(uint32_t code, ExprNode* value);

struct ExprLibContext {
  uint32_t registry_index;
  uint32_t error;
  uint32_t int_width;    // bytes of integer and fraction values
  uint32_t extra_width;  // int_width - 8, or 0
  uint32_t live_nodes;
  ExprSlotTable slots;
  // Contexts that imported slots of this one: IdTable of ExprDependantEntry, made on
  // the first import (expr_slots.h); and a second table kept beside it.
  IdTable* dependants;
  IdTable* slot_table2;
  ExprUserOperators user_operators;
  ExprResolver resolver;
  ExprRangeReport report;
  ExprValueObject* values;
  BlockPool* value_pool;
  BlockPool* node_pool;
  BlockPool* link_pool;
  unsigned char* scratch;  // int_width bytes of work space for the arithmetic
};

inline constexpr uint32_t EXPR_DEFAULT_INT_WIDTH = 8;
// Fraction widths are counted in bits in a 16-bit field.
inline constexpr uint32_t EXPR_LARGEST_INT_WIDTH = 8191;
inline constexpr uint32_t EXPR_FIRST_SLOT_CAPACITY = 1000;

// Makes a context whose integers are int_width bytes wide (0 means 8). Fails, with no
// context to record a code in, when memory is short or the width exceeds 8191.
int expr_context_new(ExprLibContext** context, uint32_t int_width);
// Frees the context with every node, link and string value it still holds, and
// removes it from the run's registry. Null is ignored.
void expr_context_free(ExprLibContext* context);

// A zeroed node (kind 0, type 0) with one reference, owned by the caller.
int expr_new_node(ExprLibContext* context, ExprNode** node);
// A zeroed string value object, entered in the context's list; null without memory.
ExprValueObject* expr_new_value(ExprLibContext* context);
// Gives a string value object a private copy of the text.
int expr_value_set_text(ExprLibContext* context, ExprValueObject* value, const char* text);

// Appends the operand to the node's operand list, taking one reference on it.
// Refused (EXPR_ERR_BAD_OPERANDS) for a null or foreign operand, for kinds that hold
// no operand list, and when the kind's operands are already complete.
int expr_add_operand(ExprNode* node, ExprNode* operand);

// Makes an operator node over count operands (each gains one reference) with the
// value type of the first operand, and stores it through *node. An operand that is
// the very node *node held on entry takes over the caller's reference instead (once),
// so an expression can be rebuilt in place around itself. *node must hold null or a
// live node on entry; on failure it is left unchanged and no reference moves.
// count must be 0 (operands added later) or the kind's operand count; kinds 31 and
// 32 hold their one operand directly and need it at once.
int objexpr_make_operator(ExprLibContext* context, ExprNode** node, int32_t kind,
                          uint32_t count, ...);
int objexpr_make_operator_n(ExprLibContext* context, ExprNode** node, int32_t kind,
                            uint32_t count, ExprNode* const* operands);

// A signed integer value node (type 2, width 64), sign-extended to the integer width.
int objexpr_make_integer(ExprLibContext* context, ExprNode** node, int64_t value);
// An unsigned integer value node (type 3, width 64), zero-extended.
int objexpr_make_unsigned(ExprLibContext* context, ExprNode** node, uint64_t value);
// A reference to the expression stored in a location slot of slot_context.
int objexpr_make_slot_ref(ExprLibContext* context, ExprNode** node, uint32_t slot_index,
                          ExprLibContext* slot_context);
// A deferred value: the context's resolver produces it from the tag and the operand,
// on which the node takes one reference.
int objexpr_make_deferred(ExprLibContext* context, ExprNode** node, uint32_t tag,
                          ExprNode* operand);

// Whether slot i of the context holds a located value (and no tree yet).
bool expr_slot_located(const ExprLibContext* context, uint32_t index);
// The expression slot i of the context holds (no reference taken), null when it is
// empty or not a slot of the context. A located value gets its tree, base slot
// reference + signed integer offset, made here and kept in the slot from then on;
// null when memory runs out (error in the context).
ExprNode* expr_slot_expression(ExprLibContext* context, uint32_t index);

// Drops one reference; at zero the node is freed and its operands released in turn.
// Null is allowed. Returns 1 only for a node that was already freed.
int expr_release(ExprNode* node);

// Gives back what the node's payload holds (operand links and their references, a
// held child, a string value), clears the payload and makes the node a plain value
// leaf of kind 0; type and width stay. For writing a new value over an old node.
void expr_drop_payload(ExprNode* node);

// Operand count that a kind takes: a fixed number, EXPR_ANY_OPERANDS, or
// EXPR_NOT_AN_OPERATOR for kinds that objexpr_make_operator does not build.
inline constexpr int EXPR_ANY_OPERANDS = -1;
inline constexpr int EXPR_NOT_AN_OPERATOR = -2;
int expr_kind_operand_count(int32_t kind);

// Operands of any node kind, in order; count 0 and null for leaves.
uint32_t expr_operand_count(const ExprNode* node);
ExprNode* expr_operand(const ExprNode* node, uint32_t index);

// The value bytes of a node: the payload, max(16, int_width) bytes long.
unsigned char* expr_value_bytes(ExprNode* node);
const unsigned char* expr_value_bytes(const ExprNode* node);

// Nodes allocated and not yet freed, in one context and in the whole process.
uint32_t expr_live_node_count(const ExprLibContext* context);
uint64_t expr_live_node_total();
