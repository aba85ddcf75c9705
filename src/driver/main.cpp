#include "driver/OrbaAssembler.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"

int main(int argc, char** argv) {
  TriCoreFactory factory;
  _orbaFactory = &factory;
  int status;
  {
    TriCoreAssembler assembler(argc, argv);
    status = assembler.run();
  }
  // The assembler's destructor has already deleted the memory pools; they are
  // deleted once only.
  return status;
}
