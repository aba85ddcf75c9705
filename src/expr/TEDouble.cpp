#include "expr/TEDouble.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>

int64_t TEDouble::getInteger() const {
  // The conversion of a value outside the 64-bit range has no defined result, so
  // the ends of the range stand for such values and NaN for nothing at all.
  if (std::isnan(value_)) return 0;
  if (value_ >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
  if (value_ < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value_);
}

void TEDouble::print(std::ostream& out, unsigned) const {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value_);
  out << text;
}
