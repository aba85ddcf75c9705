#include "driver/OrbaAssembler.h"
#include "driver/OrbaFactory.h"
#include "driver/OrbaState.h"

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
