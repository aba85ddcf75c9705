// One run's state: the managers, pools, counters and intern tables of one assembly.
// The driver makes it when a run starts and destroys it when the run ends, so that a
// second run in the same process starts as clean as the first. No other mutable
// variable lives at namespace scope or as a function static.
//
// How a module (of any layer, objlib included) adds state of its own:
//   1. Define a struct whose members start at their initial values, in the module's
//      own header or .cpp (in an unnamed namespace when only the .cpp needs it), e.g.
//        struct WriterState { Ieee695Writer* current = nullptr; uint8_t lastKind = 0; };
//      Parts are told apart by type: a struct of the module's own, never a plain
//      std::vector or int that another module might ask for too.
//   2. Reach it through runPart<WriterState>() wherever the module needs it. The run
//      makes the struct at the first call and destroys it with the run, parts in the
//      reverse order of their making, before the memory pools.
// Nothing is registered in this header, so modules add parts without touching it.
// scripts/check-run-state.py, run by ctest, refuses any other mutable variable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "util/assertion.h"

class DwarfAdmin;
class ErrorHandler;
class DependencyHandler;
class InstructionParser;
class LineState;
class MetricsAdmin;
class OrbaPreprocessor;
class SectionAdmin;
class StringBuffer;
class SymbolTable;
class OrbaFactory;
class RunSettings;
class Section;
class LineArena;
class MemoryPools;
struct MemPool;

class RunState {
 public:
  RunState();
  ~RunState();
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  // The managers the accessors of util/OrbaState.h hand out. The driver makes and
  // deletes them (their classes belong to the layers above this one).
  DwarfAdmin* dwarfAdmin = nullptr;
  ErrorHandler* errorHandler = nullptr;
  DependencyHandler* dependencyHandler = nullptr;
  InstructionParser* instructionParser = nullptr;
  LineState* lineState = nullptr;
  MetricsAdmin* metricsAdmin = nullptr;
  OrbaPreprocessor* preProcessor = nullptr;
  SectionAdmin* sectionAdmin = nullptr;
  StringBuffer* stringBuffer = nullptr;
  SymbolTable* symbolTable = nullptr;
  OrbaFactory* orbaFactory = nullptr;
  RunSettings* orbaOptions = nullptr;
  const char* (*sourceNameLookup)(int32_t nameIndex) = nullptr;
  Section* placeholderSection = nullptr;
  // The run's line arena (a part of the run), reached on every step along the line
  // list: kept here so that the step is two loads.
  LineArena* lineArena = nullptr;

  // The registry of the run's memory pools; made at the first use.
  MemoryPools& pools();
  // Destroys the registry and every pool in it (the pools' last act); the next use makes
  // a new one.
  void deletePools();
  // The pool handle of one pooled class (see MemoryPools.h); stays put while the run lasts.
  MemPool*& poolHandle(size_t slot) {
    if (slot / kHandleBlock < handleBlocks_.size()) return handleBlocks_[slot / kHandleBlock][slot % kHandleBlock];
    return addPoolHandle(slot);
  }

  // Reached on every access to run state: the lookup stays inline, the making does not.
  template <typename T>
  [[gnu::always_inline]] T& part(size_t index) {
    if (index < parts_.size())
      if (void* object = parts_[index].object) return *static_cast<T*>(object);
    return *static_cast<T*>(makePart(
        index, [] { return static_cast<void*>(new T()); },
        [](void* object) { delete static_cast<T*>(object); }));
  }

 private:
  struct Part {
    void* object = nullptr;
    void (*destroy)(void*) = nullptr;
  };
  void* makePart(size_t index, void* (*make)(), void (*destroy)(void*));
  MemPool*& addPoolHandle(size_t slot);

  static constexpr size_t kHandleBlock = 64;
  std::vector<Part> parts_;
  std::vector<size_t> madeOrder_;
  MemoryPools* pools_ = nullptr;
  // Blocks that never move, so a handle's address stays valid while more are added.
  std::vector<std::unique_ptr<MemPool*[]>> handleBlocks_;
};

// The run in progress. Library callers without a driver (tools, unit tests) get one
// made at their first use, which lasts until the process ends.
extern RunState* _currentRun;
RunState& startDefaultRun();
[[gnu::always_inline]] inline RunState& runState() { return _currentRun ? *_currentRun : startDefaultRun(); }

// Numbers the kinds of part and of pooled class once per process; the numbers index
// the slots of every run and are never state of a run themselves.
size_t nextRunPartIndex();
size_t nextPoolSlot();

template <typename T>
[[gnu::always_inline]] inline T& runPart() {
  static const size_t index = nextRunPartIndex();
  return runState().part<T>(index);
}

// A run of its own for the scope: made and made current on entry; destroyed and the
// previous run made current again on exit.
class ScopedRun {
 public:
  ScopedRun();
  ~ScopedRun();
  ScopedRun(const ScopedRun&) = delete;
  ScopedRun& operator=(const ScopedRun&) = delete;
  RunState& state() { return *state_; }

 private:
  RunState* state_;
  RunState* previous_;
};
