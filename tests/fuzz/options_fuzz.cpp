// The command-line parser, the option-file reader and the --diag selection must
// never crash, whatever words or file contents they get. The files they read are the
// target's own: an option file named in the input is looked for in its scratch
// folder only, and standard input is an empty file there.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/DiagOutput.h"
#include "driver/c-opt.h"
#include "FuzzRun.h"
#include "ScratchFolder.h"
#include "util/InputGate.h"
#include "util/OutputFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // "-f -" reads an option file from standard input: it must end at once, not wait.
  const std::string empty = scratch::path("options", "stdin");
  std::FILE* made = std::fopen(empty.c_str(), "wb");
  if (!made || std::fclose(made) != 0 || !std::freopen(empty.c_str(), "rb", stdin)) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzRun run;  // the parser's state starts fresh for each input
  setInputPathFilter(scratch::inside);
  std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0: {
      // Words separated by zero bytes, as on a command line.
      std::vector<std::string> words{"vekt"};
      size_t start = 0;
      for (size_t end; (end = input.find('\0', start)) != std::string::npos; start = end + 1)
        words.push_back(input.substr(start, end - start));
      words.push_back(input.substr(start));
      std::vector<char*> argv;
      for (std::string& word : words) argv.push_back(word.data());
      opt_parse(static_cast<int>(argv.size()), argv.data());
      break;
    }
    case 1: {
      // The same bytes as an option file, gone again before the next input.
      const std::string path = scratch::path("options", "input.opt");
      FILE* file = std::fopen(path.c_str(), "wb");
      if (!file) return 0;
      std::fwrite(input.data(), 1, input.size(), file);
      std::fclose(file);
      char program[] = "vekt", flag[] = "-f";
      std::string name = path;
      char* argv[] = {program, flag, name.data()};
      opt_parse(3, argv);
      std::remove(path.c_str());
      break;
    }
    default: {
      std::string error;
      diag_describe(input.c_str(), &error);
      break;
    }
  }
  opt_release();
  // The option files read are remembered against the outputs: one run per input.
  resetOutputFiles();
  return 0;
}
