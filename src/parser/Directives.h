// The keyword handlers of the statement frame. Each is entered with the scanner
// right after its keyword (parser.scanner()) and the statement; it returns true
// when its statement is complete, after which the frame accepts only a comment or
// the end of the line (E172), and false after a diagnostic that abandons the
// statement. A handler reads its operands with the scanner and the expression
// entry points (parser/ExpressionEntry.h) and reports at statement.line.
#pragma once

#include "parser/OrbaParser.h"

class ControlState;

using KeywordHandler = bool (*)(OrbaParser& parser, Statement& statement);

// The handler of a keyword code (1 to 110); null for the codes that are instructions.
KeywordHandler keywordHandler(int32_t code);

// E174 ("no label allowed with %s", the keyword's name) when the statement has a
// label; true when it had one, and the handler then returns false.
bool rejectLabel(const Statement& statement);
// The keyword's name as messages show it (".WORD", "$CASE").
const char* statementName(const Statement& statement);
// Makes the state the line's own (copy-on-write of the controls): the line refers
// to it from now on and deletes it at the end of the run.
void giveLineControlState(LineInfo* line, ControlState* state);
// A copy of the line's control state through the factory, not yet given to the line.
ControlState* copyLineControlState(const LineInfo* line);

// Section directives: .PREVIOUS, .SDECL, .SECT (SectionDirectives.cpp).
bool directivePrevious(OrbaParser& parser, Statement& statement);
bool directiveSdecl(OrbaParser& parser, Statement& statement);
bool directiveSect(OrbaParser& parser, Statement& statement);

// Symbol binding directives: .EXTERN, .GLOBAL, .LOAD, .LOCAL, .WEAK (SymbolDirectives.cpp).
bool directiveExtern(OrbaParser& parser, Statement& statement);
bool directiveGlobal(OrbaParser& parser, Statement& statement);
bool directiveLoad(OrbaParser& parser, Statement& statement);
bool directiveLocal(OrbaParser& parser, Statement& statement);
bool directiveWeak(OrbaParser& parser, Statement& statement);

// Symbol value, size, type and alias directives: .ALIAS, .EQU, .SET, .SIZE, .TYPE
// (SymbolDirectives.cpp). They take statement.label as the name they define and
// report E171 when statement.labelColon is set.
bool directiveAlias(OrbaParser& parser, Statement& statement);
bool directiveEqu(OrbaParser& parser, Statement& statement);
bool directiveSet(OrbaParser& parser, Statement& statement);
bool directiveSize(OrbaParser& parser, Statement& statement);
bool directiveType(OrbaParser& parser, Statement& statement);

// Data directives (DataDirectives.cpp).
bool directiveAccum(OrbaParser& parser, Statement& statement);
bool directiveAscii(OrbaParser& parser, Statement& statement);
bool directiveAsciiz(OrbaParser& parser, Statement& statement);
bool directiveByte(OrbaParser& parser, Statement& statement);
bool directiveDouble(OrbaParser& parser, Statement& statement);
bool directiveFloat(OrbaParser& parser, Statement& statement);
bool directiveFract(OrbaParser& parser, Statement& statement);
bool directiveHalf(OrbaParser& parser, Statement& statement);
bool directiveSfract(OrbaParser& parser, Statement& statement);
bool directiveWord(OrbaParser& parser, Statement& statement);

// Layout directives: .ALIGN, .ORG, .SPACE (LayoutDirectives.cpp).
bool directiveAlign(OrbaParser& parser, Statement& statement);
bool directiveOrg(OrbaParser& parser, Statement& statement);
bool directiveSpace(OrbaParser& parser, Statement& statement);

// Compiler-record directives (CompilerDirectives.cpp).
bool directiveCalls(OrbaParser& parser, Statement& statement);
bool directiveCompilerInvocation(OrbaParser& parser, Statement& statement);
bool directiveCompilerName(OrbaParser& parser, Statement& statement);
bool directiveCompilerVersion(OrbaParser& parser, Statement& statement);
bool directiveMisrac(OrbaParser& parser, Statement& statement);
bool directiveName(OrbaParser& parser, Statement& statement);

// Message directives, .END, .RADIX and .comment_prefix (MessageDirectives.cpp).
bool directiveEnd(OrbaParser& parser, Statement& statement);
bool directiveFail(OrbaParser& parser, Statement& statement);
bool directiveMessage(OrbaParser& parser, Statement& statement);
bool directiveRadix(OrbaParser& parser, Statement& statement);
bool directiveWarning(OrbaParser& parser, Statement& statement);
bool directiveCommentPrefix(OrbaParser& parser, Statement& statement);

// Every assembler control, told apart by statement.keyword (Controls.cpp).
bool controlStatement(OrbaParser& parser, Statement& statement);
