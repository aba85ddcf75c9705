#include <cstdio>
#include <cstdlib>
#include <new>

#include "driver/OrbaAssembler.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/c-memory.h"

int main(int argc, char** argv) {
  // Before the first allocation of the run: the assembler's own making may find no memory.
  std::set_new_handler(mem_out_of_memory);
  TriCoreFactory factory;
  auto* assembler = new TriCoreAssembler(argc, argv, &factory);
  int status = assembler->run();
#if defined(VEKT_FAST_EXIT)
  // Every output file is complete by now. Giving back millions of line, symbol and node
  // records one by one costs a good part of a large run; the system takes them at once.
  // exit still runs the exit-time handlers (they remove the outputs of a failed run).
  std::exit(status);
#endif
  // The assembler's destructor ends the run: managers, parts and pools.
  delete assembler;
  return status;
}
