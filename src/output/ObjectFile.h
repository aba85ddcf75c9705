// Fills the object store from the sections and symbols and writes the ELF file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "flow/ObjectWriter.h"
#include "objlib/ios_types.h"
#include "output/ObjectStoreAdapter.h"

class Section;
class Symbol;
struct ExprLibContext;

// The run's object-file writer: one store file, filled section by section and symbol
// by symbol, then handed to the ELF producer. It is also the context every flow
// node's emit operation receives.
class ObjectFile : public ObjectWriter {
 public:
  // The texts of store codes (F008) and producer classes (F009); the run lends them.
  using ErrorText = const char* (*)(int32_t code);

  // A writer for the store file fileId, whose expression context the run published.
  ObjectFile(uint32_t storeFileId, ErrorText storeErrorText, ErrorText producerErrorText);
  ~ObjectFile() override;

  // What the run knows of itself for the tool records: its version text and the
  // path it was started by, followed by the command-line words.
  std::string versionText;
  std::string programPath;
  std::vector<std::string> commandWords;

  // Fills the store and writes the object file named by the options.
  void write();
  // The file-level properties, scopes and debug root of the store file.
  void writeFileRecords(const char* objectName);
  // Creates the store section of a section with its attributes, size and a cleared
  // unit buffer; a section that is written, empty or the placeholder is skipped.
  void writeSection(Section* section);
  // Emits every node of every section into the sections' buffers and images.
  void emitSections();
  // Emits every node of the section's flow from offset 0, the location counter being
  // the emission offset.
  void emitFlow(Section* section);
  // The last additions before the producer runs.
  void completeFileRecords();
  // Opens the output and runs the ELF producer.
  void writeElfFile();
  // E139 and the value 0 for each equate whose value the ELF symbol table cannot hold
  // (more than one relocatable term, or terms the relocations cannot combine), where
  // the producer would fail on it.
  void checkEquateValues();

  ObjectStore& store() override { return store_; }
  void emitObjectSymbol(Symbol* symbol, int flag) override;
  ExprNode* objectExpression(OrbaExpression* value, LineInfo* line) override;
  Symbol* findRelocationBaseSymbol(OrbaExpression* expression, int flag) override;

  const std::string& name() const { return name_; }
  IosHandle globalScope() const { return globalScope_; }
  IosHandle localScope() const { return localScope_; }
  // The group of a name in the writer's name-to-group map, {0, 0} when absent.
  IosHandle findSectionGroup(const std::string& name) const;
  // Creates a store group named by the text and enters it in the map under key.
  IosHandle createSectionGroup(const std::string& key, const char* name);
  // Copies the image of a written section into its store image and frees it; the
  // section has no image afterwards.
  void commitImage(Section& section);

  // Fatal F008 for a failed store call.
  [[noreturn]] void storeFailed(IosErrorCode code) const;

 private:
  // What the writer keeps per assembler symbol: its location slot in the expression
  // context, and whether the slot and the store record exist.
  struct SymbolRecord {
    Symbol* symbol = nullptr;  // whose record it is: a symbol's index may be another writer's
    uint32_t slot = 0;
    bool registered = false;
    bool emitted = false;
    bool emitting = false;  // an alias chain that comes back here stops
  };

  // Made on first use. The symbol keeps its record's index, so that no lookup
  // by pointer is paid per label.
  SymbolRecord& recordOf(Symbol* symbol);
  // The symbol's record with its slot in the expression context, which a reference
  // to the symbol needs before the symbol is written.
  SymbolRecord& reserveObjectSymbol(Symbol* symbol);
  void emitToObject(Symbol* symbol, SymbolRecord& record, bool global, OrbaExpression* debugValue);
  // A symbol whose store symbol exists and that waits for the rest of its record:
  // an alias's target, its value converted, the symbols that value names, then its
  // value, section, size and type.
  struct PendingSymbol {
    enum Stage : uint8_t { kTarget, kValue, kNamed, kComplete };
    Symbol* symbol;
    IosHandle handle;
    Stage stage;
    uint32_t firstNamed = 0;  // in namedLater_, the symbols its value names
    uint32_t nextNamed = 0;
    Section* section = nullptr;
    bool holdsSectionOffset = false;
    uint32_t sectionOffset = 0;
    ExprNode* converted = nullptr;
  };
  // Emits the symbol for the last pending one: should the symbol become pending, it
  // joins the stack rather than completing at once.
  void askLater(Symbol* symbol);
  // Completes the pending symbols from the last one down to the given count.
  void completePendingSymbols(size_t outer);
  // The section and the converted value of a pending symbol; the symbols the value
  // names without their store symbol go to namedLater_.
  void convertSymbolValue(PendingSymbol& pending);
  // The symbol's value, section, size and type, once the symbols its value names
  // have their store symbols.
  void finishObjectSymbol(PendingSymbol& pending);
  void setSymbolValue(Symbol* symbol, uint32_t storeSymbolId);
  void emitDebugVariable(Symbol* symbol, OrbaExpression* value, uint32_t storeSymbolId);
  void setSectionAttributes(Section* section, uint32_t sectionId);
  // The assembler-section record of a section in the debug module.
  void describeAsmSection(Section* section, IosHandle handle);
  // Adds the written section to the group of its cluster name or link-once key.
  void joinSectionGroup(Section* section, IosHandle handle);
  uint32_t addString(const char* text);
  uint32_t addSymbolName(const char* name);
  // The code is taken by reference: it is read only after the call that fills it, which
  // as a value argument could be evaluated before that call ran.
  void check(int failed, const IosErrorCode& code) const {
    if (failed) storeFailed(code);
  }
  // Reference node to a symbol's slot, made when the expression conversion meets a
  // symbol that goes into the object file by name.
  static ExprNode* symbolReference(ExprLibContext* context, Symbol* symbol);
  // The writer of the run while one exists: the conversion hooks reach it here.
  static ObjectFile* activeWriter();
  static const LineInfo* conversionLine(const ObjectFile* writer);

  ErrorText storeErrorText_;
  ErrorText producerErrorText_;
  ObjectStoreAdapter store_;
  std::string name_;
  IosHandle globalScope_ = {0, 0};
  IosHandle localScope_ = {0, 0};
  // A deque: a record stays in place while the emission of an alias makes others.
  std::deque<SymbolRecord> symbolRecords_;
  // Symbols whose store symbol exists and whose record waits for other symbols,
  // innermost last: a chain of values or aliases of any length goes link by link here
  // rather than one call deeper per link. The symbol asked for on behalf of the last
  // one joins them instead of completing itself (askedLater_).
  std::vector<PendingSymbol> pendingSymbols_;
  Symbol* askedLater_ = nullptr;
  // The symbols that the values being converted name, to be written after the
  // conversion: while namingLater_ holds, a reference only reserves the symbol's slot.
  std::vector<Symbol*> namedLater_;
  bool namingLater_ = false;
  // The contents of a section while its flow is written: zero-filled, handed to the
  // store's image in one copy when the section is complete.
  struct ImageBuffer {
    struct Free {
      void operator()(uint8_t* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<uint8_t, Free> bytes;
    IosHandle storeImage = {0, 0};
  };
  std::unordered_map<const Section*, ImageBuffer> images_;
  // Sections too large for the address space: written without contents.
  std::vector<const Section*> unfitSections_;
  // The equates whose value went out as an expression, with their store symbol.
  std::vector<std::pair<Symbol*, IosHandle>> equateValues_;
  // The relocation bases of symbols found so far, for the strict and the relaxed search.
  SymbolAnswers<Symbol*> strictBases_;
  SymbolAnswers<Symbol*> relaxedBases_;
  std::unordered_map<std::string, IosHandle> groups_;
};

// The program name, command words appended one blank apart, as the tool-invocation
// record holds it: the name is what follows the path's last '\\', '/' or ':', and the
// text stops at maxLength characters, inside the word that crosses the limit.
std::string toolInvocationText(const std::string& programPath, const std::vector<std::string>& words,
                               size_t maxLength = 1023);
// The version text as the tool-version record holds it: at most 76 characters, the
// last line feed among them turned into a blank.
std::string toolVersionText(const std::string& version);

// The section summary table.
void printSectionSummary(FILE* stream);
