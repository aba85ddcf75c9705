// Where a symbol's value lies: a plain number, an offset into one section, or neither.
// A label lies in its own section. An equate or a .SET symbol lies where its value
// does, whatever section was current on its line: `e .EQU lab+4` lies in lab's
// section, `n .EQU 0x10` is a number, and `d .EQU lab2-lab` is a number too when both
// labels share a section.
#pragma once

#include <cstdint>

class OrbaExpression;
class Section;
class Symbol;

struct ValuePlace {
  enum Kind : uint8_t {
    kUnknown,  // no one section: an external, a value only a linker could form, a cycle
    kNumber,
    kSection,
  };
  Kind kind = kUnknown;
  Section* section = nullptr;

  static ValuePlace number() { return {kNumber, nullptr}; }
  static ValuePlace in(Section* section) { return {kSection, section}; }
  bool operator==(const ValuePlace& other) const { return kind == other.kind && section == other.section; }
};

// Whether a symbol's place follows its value rather than a section of its own.
bool isPlacedByValue(const Symbol* symbol);

ValuePlace expressionPlace(const OrbaExpression* expression);
ValuePlace symbolPlace(Symbol* symbol);

// The section a symbol's value lies in; null for a number and for a value that lies
// in no one section.
Section* symbolValueSection(Symbol* symbol);

// Whether two symbols' values are known to lie in one section, or both to be numbers,
// so that their difference is a number.
bool shareValuePlace(Symbol* left, Symbol* right);
