// A generated table whose entries the start-up fills: the filled-in pointers would
// outlive the run that made them. The check must read generated objects too.
#include <cstdint>

struct BuiltIndex;

struct ValueTable {
  uint32_t count;
  BuiltIndex* built;
};

ValueTable kValueTables[] = {{3, nullptr}, {5, nullptr}};

ValueTable* valueTable(int index) { return &kValueTables[index]; }
