// The debug information entries: the compile unit, one subprogram per described
// section and one label entry per label worth naming.
#include <cctype>
#include <cstring>

#include "expr/TEBinary.h"
#include "expr/TESymbol.h"
#include "flow/FGeneric.h"
#include "flow/FLabel.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/FSimpleRun.h"
#include "output/DwarfAdmin.h"
#include "parser/FMacroCall.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

constexpr uint64_t kVendorLanguage = 0x9101;
constexpr uint8_t kCallingConventionNormal = 1;

// The section's end: its closing label, which the run appends to every described
// section; the start plus the size when a section has none.
OrbaExpression* highPc(const Section* section) {
  const FlowNode* last = section->lastNode();
  if (last && last->kind == FlowNode::kLabel) {
    if (Symbol* closing = static_cast<const FLabel*>(last)->symbol) return TESymbol::create(closing);
  }
  return TEBinary::create(TESymbol::create(section->sectionSymbol), OP_add, section->size);
}

// The bytes the node took in the section's last layout (the object output writes
// the same); a generic instruction's is that of its chosen expansion.
uint32_t nodeSize(const FlowNode* node) {
  int32_t size = node->getSize();
  return size > 0 ? static_cast<uint32_t>(size) : node->layoutSize;
}

bool givesLineRow(const FlowNode& node) {
  const uint8_t kind = node.kind;
  if (kind == FlowNode::kMacroCall) return static_cast<const FMacroCall&>(node).givesRow;
  return kind == FlowNode::kGeneric || kind == FlowNode::kInstruction || kind == FlowNode::kJumpRecord ||
         kind == FlowNode::kSimple;
}

}  // namespace

std::string subprogramName(const char* sectionName) {
  std::string name = sectionName ? sectionName : "";
  for (char& c : name)
    if (c != '_' && !std::isalnum(static_cast<unsigned char>(c))) c = '_';
  // Replaced first, so that .text names _text rather than __text.
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) name.insert(name.begin(), '_');
  return name;
}

void DwarfAdmin::writeCompileUnitHeader(SectionSink& info, Symbol* unitStart, Symbol* unitEnd, Symbol* afterLength,
                                        Symbol* abbrevStart, Symbol* lineStart, Section* described) {
  info.place(unitStart);
  info.difference(unitEnd, afterLength);
  info.place(afterLength);
  info.half(static_cast<uint16_t>(version_));
  info.address(abbrevStart);
  info.byte(4);  // address size
  info.byte(1);  // compile unit
  info.text(name_.c_str());
  info.text(producer_.c_str());
  info.text(directory_.c_str());
  info.uleb(kVendorLanguage);
  if (version_ >= 3) {
    info.address(described->sectionSymbol);
    info.word(highPc(described));
  } else {
    info.word(0u);  // the one range list at the start of .debug_ranges
  }
  info.address(lineStart);
}

void DwarfAdmin::writeSectionDebugInfo(Section* described, SectionSink& info, SectionSink& line,
                                       SectionSink* ranges) {
  const LineInfo* declaration = described->line;
  int32_t declarationFile = declaration ? static_cast<int32_t>(declaration->sourceFile) + 1 : 1;
  int32_t declarationLine = declaration ? declaration->lineNumberSigned() : 1;

  info.byte(2);  // subprogram
  info.text(subprogramName(described->getName()).c_str());
  info.uleb(static_cast<uint32_t>(declarationFile));
  info.uleb(static_cast<uint32_t>(declarationLine));
  info.byte(0);  // not external
  info.uleb(kCallingConventionNormal);
  info.address(described->sectionSymbol);
  info.word(highPc(described));

  if (ranges) {
    ranges->address(described->sectionSymbol);
    ranges->word(highPc(described));
  }

  // DW_LNE_set_address with the section's start.
  line.bytes({0, 5, 2});
  line.address(described->sectionSymbol);
  // The sequence after its address is bytes only: it is gathered here and goes into the
  // section as one item, not an item an opcode.
  ByteSink program;
  LineProgramState state;
  state.startSequence(program, declarationFile, declarationLine);

  for (const FlowNode* node = described->firstNode(); node; node = node->nextNode()) {
    if (node->kind == FlowNode::kLabel) {
      if (Symbol* label = static_cast<const FLabel*>(node)->symbol) writeLabelDie(info, label);
      state.pendingAdvance += nodeSize(node);
    } else if (node->kind == FlowNode::kSimpleRun) {
      // One row an instruction of the run, as each would have as a node of its own.
      const auto& run = static_cast<const FSimpleRun&>(*node);
      const uint32_t unitBits = described->mauBits > 0 ? static_cast<uint32_t>(described->mauBits) : 8u;
      // An entry keeps no line only when its line is a source line (no generic variant).
      for (FSimpleRun::Cursor entries(run); !entries.isDone(); entries.next()) {
        const FSimpleRun::Item& entry = entries.item();
        for (const FSimpleRun::Label& label : run.labelsBefore(entry)) writeLabelDie(info, label.symbol);
        bool skipped = (entry.line && entry.line->variant() >= 0) || entry.expansion();
        state.row(program, static_cast<int32_t>(entry.sourceFile()) + 1, static_cast<int32_t>(entry.lineNumber()),
                  FSimpleRun::unitsOf(entry, unitBits), skipped);
      }
    } else if (givesLineRow(*node) && node->line) {
      const LineInfo* row = node->line;
      // Expanded lines of a generic instruction fall under its own row; a generic whose
      // expansions were never built stands on its hardware form's line, which is its row.
      const bool ownRow = node->waitingExpansions() >= 0 ||
                          (node->kind == FlowNode::kGeneric && static_cast<const FGeneric*>(node)->rewritesDeferred());
      bool skipped = (row->variant() >= 0 && !ownRow) || (row->flags[0] & lineflag::kMacroExpansion);
      state.row(program, static_cast<int32_t>(row->sourceFile) + 1, row->lineNumberSigned(), nodeSize(node),
                skipped);
    } else {
      state.pendingAdvance += nodeSize(node);
    }
  }
  info.byte(0);  // end of the subprogram's children
  state.endSequence(program);
  line.bytes(program.bytes);
}

void DwarfAdmin::writeLabelDie(SectionSink& info, Symbol* label) {
  // Flags under the names of the object-file symbols.
  constexpr uint8_t kNeedsRelocatable = Symbol::kBinding0;
  constexpr uint8_t kSuppressed = Symbol::kInternal | Symbol::kBinding6;
  constexpr uint8_t kNoObject = Symbol::kSet;
  constexpr uint8_t kNoType = Symbol::kExpansion;

  if (label->flags[0] & (kNeedsRelocatable | kSuppressed)) return;
  if (!(label->flags[0] & Symbol::kGlobal)) {
    const char* name = label->name ? label->name : "";
    bool assemblerName = name[0] == '.' && std::strncmp(name, ".cocofun", 8) != 0;
    if (!label->isLocal() || !orbaOptions()->emitLocalSymbols || label->isEquate() ||
        (label->flags[1] & (kNoObject | kNoType)) || assemblerName)
      return;
  }
  info.byte(3);  // label
  info.text(label->name ? label->name : "");
  info.address(label);
}
