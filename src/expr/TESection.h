// Section reference leaf; it has no value of its own, only a place.
#pragma once

#include "expr/OrbaExpression.h"

class TESection : public OrbaExpression {
 public:
  static TESection* create(Section* section) { return new TESection(section); }
  explicit TESection(Section* section) : section_(section) {}

  Section* section() const { return section_; }
  // For a node made before its section existed: it names the section made for it.
  void moveTo(Section* section) { section_ = section; }

  bool isValue() const override { return true; }
  uint32_t getKind() const override { return EK_section; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override;
  uint32_t getUnit() const override { return 0; }
  OrbaExpression* clone() override { return new TESection(section_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;

 private:
  Section* section_;
};
