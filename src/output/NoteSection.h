// The ".note" section: ELF note records that name the tools that made the object
// file, the compiler of the source (when its directives said so) and the assembler.
#pragma once

#include <cstdint>
#include <iosfwd>

class ObjectFile;
class Section;

class NoteSection {
 public:
  // The owner name of every record, and its size with the NUL.
  static constexpr const char* kVendorName = "Veltra";
  static constexpr uint32_t kNameSize = 7;
  // Record types of the tool properties, in the order they are written.
  enum NoteType : uint32_t {
    kCompilerName = 3,
    kCompilerVersion = 4,
    kCompilerInvocation = 5,
    kToolName = 6,
    kToolVersion = 7,
    kToolInvocation = 8,
  };

  NoteSection() = default;
  virtual ~NoteSection() = default;
  NoteSection(const NoteSection&) = delete;
  NoteSection& operator=(const NoteSection&) = delete;
  virtual void dump(std::ostream& out) const;

  // Builds the section from the store file's tool properties and writes it into the
  // store like any other section; nothing when no property is set.
  void build(ObjectFile& context);
  // Reads the properties and appends their records; the section stays null when none
  // is set.
  void fill(ObjectFile& context);
  // A generated section for the records.
  Section* createSection(const char* name);
  // Appends one record: header words, owner name and the text with its NULs.
  void addNote(Section& section, const char* text, uint32_t type);

  Section* section() const { return section_; }
  // Bytes of records appended so far.
  uint32_t noteSize() const { return noteSize_; }

 private:
  void emitContents(ObjectFile& context);
  void finishSection(ObjectFile& context);
  void mergeImage(ObjectFile& context, Section& section);

  uint32_t noteSize_ = 0;
  Section* section_ = nullptr;
};
