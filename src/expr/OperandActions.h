// Actions that the instruction tables' operand conditions call while a condition
// is built: they raise the CPU functional-defect warnings at the instruction's line
// and answer the integer expression the condition goes on with.
#pragma once

class OrbaExpression;
struct LineInfo;

// W890 when the operand may be non-zero and the line's TC112_COR10 check is on.
OrbaExpression* reportOperandCor10(const LineInfo* position, OrbaExpression* operand);
// W819, W894, W895, W893 in this order, each when the operand may be non-zero and
// the line has that check on.
OrbaExpression* reportOperandDefect(const LineInfo* position, OrbaExpression* operand);
// W716 always: the data register was written first.
OrbaExpression* reportOldSwapSyntax(const LineInfo* position);
// The TC112_COR10 selection of the options as an integer expression; no option
// selects it, so only the per-line control turns the check on.
OrbaExpression* cor10CheckEnabled();
