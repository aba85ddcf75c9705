#include "expr/TESection.h"

#include <ostream>

#include "expr/TEError.h"
#include "flow/Section.h"

OrbaExpression* TESection::evaluate() { return TEError::make(ERR_cannotEvaluate); }

void TESection::print(std::ostream& out, unsigned) const {
  out << "Section[" << (section_ ? section_->name() : "") << ']';
}
