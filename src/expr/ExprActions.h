// The semantic actions of the expression parser: literal conversion, the nodes of
// each construct, symbol and local-label references, the location counter and
// @-function calls. Problems are stored as the parse's message, never reported.
#pragma once

#include <cstdint>

#include "expr/functions.h"

class OrbaExpression;
class Symbol;
struct LineInfo;

// Stores the message unless one is stored already; literal errors also stop the scan.
void exprStoreMessage(const char* text, bool setErrorFlag);

uint64_t convertIntegerLiteral();
double convertFloatLiteral();
// Decodes the current quoted literal into a scratch buffer valid until the next call.
const char* convertStringLiteral(uint32_t* length);

OrbaExpression* makeIntegerLiteral();
OrbaExpression* makeFloatLiteral();
OrbaExpression* makeStringLiteral();
OrbaExpression* makeSymbolReference();
OrbaExpression* makeLocalLabelReference();
OrbaExpression* makeLocationCounterReference();

OrbaExpression* makeUnaryPlus(OrbaExpression* operand);
OrbaExpression* makeLogicalNot(OrbaExpression* operand);
OrbaExpression* makeNegate(OrbaExpression* operand);
OrbaExpression* makeComplement(OrbaExpression* operand);
// Folds constants at once; otherwise a new TEBinary.
OrbaExpression* makeBinary(int32_t op, OrbaExpression* left, OrbaExpression* right);
OrbaExpression* makeConditional(OrbaExpression* condition, OrbaExpression* ifTrue,
                                OrbaExpression* ifFalse);

void beginArguments();
void pushArgument(OrbaExpression* argument);
// Closes the open argument list: an error node of kind 12 or 13 for a wrong count,
// otherwise the builder's node.
OrbaExpression* makeFunction(int32_t code, int32_t minArgs, int32_t maxArgs,
                             FunctionBuilder builder);

// The label that a "*" operand stands for: defined at the line in the line's
// section with its label node appended there; null when no label can be made.
// Tests may replace the maker; null restores the flow subsystem's own.
using LocationLabelMaker = Symbol* (*)(LineInfo* line);
void setLocationLabelMaker(LocationLabelMaker maker);
