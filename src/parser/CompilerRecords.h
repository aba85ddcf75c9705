// What the compiler-record directives (.COMPILER_NAME, .COMPILER_VERSION,
// .COMPILER_INVOCATION, .MISRAC, .NAME, .CALLS) do once their operands are read: the
// once-only rules and the nodes they append to the line's section.
#pragma once

#include <cstdint>
#include <vector>

class OrbaExpression;
struct LineInfo;

// Run-wide: set at start-up, never reset during a run.
struct CompilerRecordState {
  // Open until the first accepted directive of the kind; later ones are warned about
  // and ignored, since the object file keeps one of each.
  bool versionOpen = true;
  bool nameOpen = true;
  bool invocationOpen = true;
  bool misraOpen = true;
  // The module has one name: a second .NAME would fail when the object file is
  // written, so it is refused here.
  bool moduleNameOpen = true;
  // The .CALLS nodes made; the object output writes a call graph only when there are any.
  int32_t callRecordCount = 0;
};
CompilerRecordState& compilerRecordState();

// The first directive of its kind makes its node and gives true; a later one is W309
// (W216 for .MISRAC) with directive and gives false. An empty .MISRAC text is E130
// and gives false without using up the kind's turn.
bool recordCompilerVersion(LineInfo* line, const char* text, const char* directive);
bool recordCompilerName(LineInfo* line, const char* text, const char* directive);
bool recordCompilerInvocation(LineInfo* line, const char* text, const char* directive);
bool recordMisraC(LineInfo* line, const char* text, const char* directive);
// The first .NAME names the module (true); a later one is W309 and gives false.
bool recordModuleName(LineInfo* line, const char* text, const char* directive);
// Makes the .CALLS node with a copy of the values and counts it; true.
bool createCallsNode(LineInfo* line, const char* caller, const char* callee,
                     const std::vector<OrbaExpression*>& values);
