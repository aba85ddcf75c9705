// How the DWARF generator appends its contents: through a sink, so that the same
// code fills a section with generated items or, for a check, a byte vector.
#pragma once

#include <cstdint>
#include <vector>

class OrbaExpression;
class Section;
class Symbol;

// A new debug section, in the group of the given name when one is given.
Section* createDebugSection(const char* name, const char* groupName);

// Where byte-sized debug contents go.
class DebugSink {
 public:
  virtual ~DebugSink() = default;
  virtual void byte(uint8_t value) = 0;
  virtual void uleb(uint64_t value) = 0;
  virtual void sleb(int64_t value) = 0;
};

// Collects the bytes themselves.
class ByteSink : public DebugSink {
 public:
  void byte(uint8_t value) override { bytes.push_back(value); }
  void uleb(uint64_t value) override;
  void sleb(int64_t value) override;

  std::vector<uint8_t> bytes;
};

// Appends generated data items and labels to one section.
class SectionSink : public DebugSink {
 public:
  explicit SectionSink(Section* section) : section_(section) {}
  Section* section() const { return section_; }

  void byte(uint8_t value) override;
  void uleb(uint64_t value) override;
  void sleb(int64_t value) override;
  // Several 8-bit values as one item.
  void bytes(const std::vector<uint8_t>& values);
  void half(uint16_t value);
  // A 32-bit item; its value may be a label address or a label difference, which
  // the object output writes with relocations when layout cannot settle it.
  void word(OrbaExpression* value);
  void word(uint32_t value);
  void address(Symbol* symbol);
  void difference(Symbol* end, Symbol* start);
  // The text and one NUL.
  void text(const char* text);

  // A new generated label of this section, placed later with place().
  Symbol* newLabel();
  void place(Symbol* label);

 private:
  Section* section_;
};
