// The jump chains' view of TriCore instruction nodes: which forms jump and where, how
// their operands are sent to another label, and whether a form still holds its operands
// with a new target.
#pragma once

class OrbaExpression;
class Symbol;
class CandidateNodes;

namespace isa {

// Installs the instruction operations that the jump chains of the layout use.
void installJumpTargets();

// The expression with every reference to `from` naming `to` instead. Only the nodes on
// the way to such a reference are new, and each goes to `made`; the rest of the tree is
// shared, and the values of the symbols it names are not looked into. Returns the
// expression itself when it names `from` nowhere.
OrbaExpression* retargetedCopy(OrbaExpression* expression, Symbol* from, Symbol* to, CandidateNodes*& made);

}  // namespace isa
