// Measures interning the types of a large program: N structures, each with its own
// name and a member pointing to the previous structure, plus a typedef and a
// pointer per structure, half of which repeat an earlier one.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "objlib/ios_admin.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_typeops.h"
#include "objlib/ios_typeref.h"
#include "objlib/ios_typestore.h"
#include "objlib/ios_typetable.h"

int main(int argc, char** argv) {
  uint32_t count = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 5000;
  uint32_t file = 0;
  IosHandle root{};
  IosTypeStore* store = nullptr;
  if (ios_admin_init(nullptr) != 0 || ios_file_create(&file, nullptr) != 0 ||
      ios_file_get_debug_root(file, &root, nullptr) != 0 ||
      ios_get_type_store(&store, nullptr, file) != 0) {
    std::fprintf(stderr, "cannot make the store\n");
    return 1;
  }
  std::vector<uint32_t> tops;
  uint32_t previous = 0;
  for (uint32_t i = 0; i < count; ++i) {
    IosHandle name{};
    std::string text = "s" + std::to_string(i / 2);  // every name twice
    ios_strtab_add(file, text.c_str(), &name, nullptr);
    TypeHandle s{}, m{}, p{}, t{};
    ios_typetable_add_entry(store, IOS_TYPEREF_STRUCTURE, &s);
    ios_typetable_add_entry(store, IOS_TYPEREF_MEMBER, &m);
    ios_typetable_add_entry(store, IOS_TYPEREF_POINTER, &p);
    ios_typetable_add_entry(store, IOS_TYPEREF_TYPEDEF, &t);
    ios_typeref_set_struct_name(s, name, nullptr);
    ios_typeref_set_member_name(m, name, nullptr);
    ios_typeref_set_member_type(m, i % 2 == 0 ? previous : p.type_id, nullptr);
    ios_typeref_add_struct_member(s, m.type_id, nullptr);
    ios_typeref_set_pointer_target(file, 1, p.type_id, i % 2 == 0 ? 0 : s.type_id - 4, nullptr);
    ios_typeref_set_typedef_name(t, name, nullptr);
    if (i % 2 == 0) previous = s.type_id;
    tops.push_back(s.type_id);
    tops.push_back(t.type_id);
  }
  auto start = std::chrono::steady_clock::now();
  for (uint32_t id : tops) {
    TypeHandle type{};
    ios_typeref_intern_by_id(&type, nullptr, file, 1, id);
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%u typerefs interned into %u types in %.3f s\n", count * 4,
              store->table->types->highest_id, seconds);
  ios_admin_release();
  return 0;
}
