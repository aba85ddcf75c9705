// Option post-processing: reports command-line errors, derives the run settings
// and prints usage, help and diagnostic descriptions, ending the program when
// nothing is to be assembled.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/DiagOutput.h"
#include "util/ErrorHandler.h"
#include "driver/OrbaAssembler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "driver/VersionText.h"
#include "driver/c-opt.h"

using namespace opt;

void OrbaAssembler::processOptions(const char*) {
  OrbaOptions* options = commandOptions();
  bool version = opt_get_bool(VERSION);
  bool diag = opt_count(DIAG) != 0;
  if (version) printBanner();

  bool failed = false;
  if (options->optionParser && options->optionParser->hasError()) {
    errorHandler()->reportWithoutLocation(E_command_line, options->optionParser->errorText);
    failed = true;
  }
  if (options->process() == 1) failed = true;
  for (uint32_t i = 0; i < opt_count(ERR); ++i) {
    errorHandler()->reportWithoutLocation(E_illegal_option, opt_get_string_at(ERR, i));
    failed = true;
  }

  // The merge mode without inputs is the sum of nothing: an empty report, not the usage.
  bool usage = options->inputFileCount() == 0 && !options->mergeMetrics && !version && !diag && !failed;
  bool help = opt_count(HELP) != 0;
  if (diag || help || usage) {
    if (help || usage) {
      std::printf("Usage: %s [options] file\n", "vekt");
      if (opt_get_bool(H_OPT))
        opt_print_list(stdout);
      else
        opt_print_summary(stdout);
    } else {
      std::string errorText;
      std::string description = diag_describe(opt_get_string(DIAG), &errorText);
      if (!errorText.empty()) {
        errorHandler()->reportWithoutLocation(E_command_line, errorText.c_str());
        failed = true;
      } else {
        std::printf("%s\n", description.c_str());
      }
    }
    std::fflush(stdout);
    std::exit(version || failed ? 1 : 0);
  }
  if (version || failed) std::exit(1);
}
