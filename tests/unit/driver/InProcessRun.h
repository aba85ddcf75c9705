// Runs the assembler inside the test process, with one of the per-run memos switched on or
// off, and collects what the run wrote: the memo tests compare the two runs byte for byte.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver/OrbaAssembler.h"
#include "util/OrbaFactory.h"

struct InProcessRun {
  int status = 0;
  std::string object;
  std::string list;
  std::string errors;
  uint64_t taken = 0;    // statements the memo served
  uint64_t emitted = 0;  // emissions it served, for a memo that counts them
  uint64_t entries = 0;  // jumps it wrote as run entries, for a memo that counts them
  uint64_t remade = 0;   // and of those, the ones made records again
};

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Assembles the source with the options given, the diagnostics into a file and, unless the
// options ask for a check, the object and (unless `withList` is false) the list file alongside. `memo` is the accessor
// of a memo with `enabled` and `taken`; it is reached once the run exists.
template <class Memo>
InProcessRun runInProcess(const std::string& source, const std::vector<std::string>& options, Memo& (*memo)(),
                          bool enabled, bool withList = true) {
  // Named for the process: test runs of other build trees share the temporary folder.
  const std::string base = testing::TempDir() + "in_process_" + std::to_string(getpid());
  const std::string input = base + ".asm";
  const std::string object = base + ".o";
  const std::string list = base + ".lst";
  const std::string errors = base + ".err";
  std::ofstream(input, std::ios::binary) << source;
  for (const std::string& path : {object, list, errors}) std::remove(path.c_str());
  std::vector<std::string> words = {"vekt", "--error-file=" + errors};
  words.insert(words.end(), options.begin(), options.end());
  bool check = false;
  for (const std::string& option : options) check = check || option == "--check";
  if (!check && withList) words.push_back("--list-file=" + list);
  if (!check) words.insert(words.end(), {"-o", object});
  words.push_back(input);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  InProcessRun made;
  {
    TriCoreFactory factory;
    TriCoreAssembler assembler(static_cast<int>(words.size()), argv.data(), &factory);
    memo().enabled = enabled;
    made.status = assembler.run();
    made.taken = memo().taken;
    if constexpr (requires { memo().emitted; }) made.emitted = memo().emitted;
    if constexpr (requires { memo().entries; }) {
      made.entries = memo().entries;
      made.remade = memo().remade;
    }
  }
  made.object = readWholeFile(object);
  made.list = readWholeFile(list);
  made.errors = readWholeFile(errors);
  for (const std::string& path : {input, object, list, errors}) std::remove(path.c_str());
  return made;
}
