// A store file built by hand, written with elf_write_object into a temporary stream
// and read back with a small ELF32 reader of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/elf_writer.h"
#include "objlib/exprlib.h"
#include "objlib/ios_admin.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"

struct ReadSection {
  std::string name;
  uint32_t type, flags, addr, offset, size, link, info, addralign, entsize;
};

struct ReadSymbol {
  std::string name;
  uint32_t value, size;
  uint8_t info;
  uint16_t shndx;
  uint8_t binding() const { return info >> 4; }
  uint8_t type() const { return info & 0xF; }
};

struct ReadRela {
  uint32_t offset, info, addend;
  bool operator==(const ReadRela&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ReadRela& rela) {
  return out << "{" << rela.offset << ", 0x" << std::hex << rela.info << ", 0x" << rela.addend
             << std::dec << "}";
}

// Reads what the producer wrote, in either byte order.
struct ElfImage {
  std::vector<unsigned char> bytes;
  bool big = false;

  uint32_t word(size_t at, size_t size) const {
    uint32_t value = 0;
    for (size_t index = 0; index < size; ++index) {
      size_t byte = big ? at + index : at + size - 1 - index;
      value = value << 8 | bytes.at(byte);
    }
    return value;
  }
  uint32_t u32(size_t at) const { return word(at, 4); }
  uint16_t u16(size_t at) const { return static_cast<uint16_t>(word(at, 2)); }

  uint16_t type() const { return u16(16); }
  uint16_t machine() const { return u16(18); }
  uint32_t flags() const { return u32(36); }
  uint32_t shoff() const { return u32(32); }
  uint16_t ehsize() const { return u16(40); }
  uint16_t shentsize() const { return u16(46); }
  uint16_t shnum() const { return u16(48); }
  uint16_t shstrndx() const { return u16(50); }

  std::string cstring(size_t at) const {
    std::string text;
    while (bytes.at(at) != 0) text += static_cast<char>(bytes[at++]);
    return text;
  }

  std::vector<ReadSection> sections() const {
    std::vector<ReadSection> list;
    for (uint32_t index = 0; index < shnum(); ++index) {
      size_t at = shoff() + size_t{index} * shentsize();
      list.push_back({"", u32(at + 4), u32(at + 8), u32(at + 12), u32(at + 16), u32(at + 20),
                      u32(at + 24), u32(at + 28), u32(at + 32), u32(at + 36)});
    }
    if (shstrndx() < list.size()) {
      uint32_t strings = list[shstrndx()].offset;
      for (uint32_t index = 0; index < list.size(); ++index)
        list[index].name = cstring(strings + u32(shoff() + size_t{index} * shentsize()));
    }
    return list;
  }

  int sectionIndex(const std::string& name) const {
    std::vector<ReadSection> list = sections();
    for (size_t index = 0; index < list.size(); ++index)
      if (list[index].name == name) return static_cast<int>(index);
    return -1;
  }

  std::vector<ReadSymbol> symbols() const {
    std::vector<ReadSection> list = sections();
    std::vector<ReadSymbol> result;
    int symtab = sectionIndex(".symtab");
    if (symtab < 0) return result;
    const ReadSection& table = list[symtab];
    uint32_t strings = list.at(table.link).offset;
    for (uint32_t at = table.offset; at < table.offset + table.size; at += 16)
      result.push_back({cstring(strings + u32(at)), u32(at + 4), u32(at + 8), bytes.at(at + 12),
                        u16(at + 14)});
    return result;
  }

  std::vector<ReadRela> relocations(const std::string& section_name) const {
    std::vector<ReadRela> result;
    int index = sectionIndex(section_name);
    if (index < 0) return result;
    const ReadSection table = sections()[index];
    for (uint32_t at = table.offset; at < table.offset + table.size; at += 12)
      result.push_back({u32(at), u32(at + 4), u32(at + 8)});
    return result;
  }
};

// Members are public so that table-driven cases can reach them from plain lambdas.
class ElfStore : public OneStoreFile {
 public:
  using OneStoreFile::context_;
  using OneStoreFile::file_;

  void SetUp() override {
    OneStoreFile::SetUp();
    ASSERT_EQ(ios_file_set_string3(file_, text("t.asm"), nullptr), 0);
    ASSERT_EQ(ios_file_set_string5(file_, text("TRI"), nullptr), 0);
    ASSERT_EQ(ios_file_set_string6(file_, text("TC1V1.6.X"), nullptr), 0);
    ASSERT_EQ(ios_file_set_string7(file_, text("tc"), nullptr), 0);
    ASSERT_EQ(ios_file_set_string9(file_, text("tc"), nullptr), 0);
    ASSERT_EQ(ios_file_set_flag_two(file_, nullptr), 0);
    ASSERT_EQ(ios_file_set_kind_word(file_, nullptr), 0);
    ASSERT_EQ(ios_file_set_little_endian(file_, nullptr), 0);
    ASSERT_EQ(ios_file_set_mau_size(file_, 8, nullptr), 0);
  }

  IosHandle text(const char* characters) {
    IosHandle handle{};
    EXPECT_EQ(ios_strtab_add(file_, characters, &handle, nullptr), 0);
    return handle;
  }

  // An ordinary section; bytes (when given) fill its image, none gives NOBITS.
  IosHandle section(const char* name, uint32_t size, const std::vector<uint8_t>* bytes,
                    bool code = false) {
    IosHandle handle{};
    EXPECT_EQ(ios_section_create(file_, nullptr, &handle, nullptr), 0);
    EXPECT_EQ(ios_section_set_name(handle, text(name), nullptr), 0);
    EXPECT_EQ(ios_section_set_type_normal(handle, nullptr), 0);
    EXPECT_EQ(ios_section_set_mau_size(handle, 8, nullptr), 0);
    EXPECT_EQ(ios_section_set_alignment(handle, 2, nullptr), 0);
    if (code) {
      EXPECT_EQ(ios_section_set_content_code(handle, nullptr), 0);
      EXPECT_EQ(ios_section_set_access_ro(handle, 0, nullptr), 0);
    } else {
      EXPECT_EQ(ios_section_set_access_rw(handle, 0, nullptr), 0);
    }
    EXPECT_EQ(ios_section_set_size(handle, size, nullptr), 0);
    if (bytes != nullptr) {
      EXPECT_EQ(ios_section_create_image(handle, nullptr, nullptr), 0);
      IosHandle data{};
      EXPECT_EQ(ios_section_add_data(handle, 0, 0, &data, nullptr), 0);
      uint32_t* words = nullptr;
      EXPECT_EQ(ios_data_get_buffer(data, &words, nullptr), 0);
      for (size_t index = 0; index < bytes->size(); ++index) words[index] = (*bytes)[index];
      EXPECT_EQ(ios_section_merge_data(handle, data, nullptr), 0);
    }
    return handle;
  }

  IosHandle listScope(const char* name = nullptr) {
    IosHandle scope{};
    EXPECT_EQ(ios_scope_create(file_, name != nullptr ? text(name) : IosHandle{file_, 0}, &scope,
                               nullptr),
              0);
    return scope;
  }
  IosHandle globalScope() {
    IosHandle scope{};
    EXPECT_EQ(ios_scope_get_global(file_, &scope, nullptr), 0);
    return scope;
  }

  // A symbol at offset in section (null section: undefined, no value).
  IosHandle symbol(IosHandle scope, const char* name, const IosHandle* in_section,
                   int64_t offset = 0, uint32_t type = IOS_SYMBOL_NONE) {
    IosHandle handle{};
    EXPECT_EQ(ios_symbol_create_with_slot(file_, scope, ExprSlotRef{0, nullptr}, &handle, nullptr), 0);
    EXPECT_EQ(ios_symbol_set_name(handle, text(name), nullptr), 0);
    if (type != IOS_SYMBOL_NONE) {
      EXPECT_EQ(ios_symbol_set_type(handle, type, nullptr), 0);
    }
    if (in_section != nullptr) {
      EXPECT_EQ(ios_symbol_set_section(handle, *in_section, nullptr), 0);
      ExprSlotRef slot{};
      EXPECT_EQ(ios_section_get_address_slot(*in_section, &slot, nullptr), 0);
      ExprNode* value = add(slotRef(slot), integer(offset));
      EXPECT_EQ(ios_symbol_set_value_expr(handle, value, nullptr), 0);
      expr_release(value);
    }
    return handle;
  }

  using OneStoreFile::integer;
  ExprNode* slotRef(ExprSlotRef slot) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_slot_ref(context_, &node, slot.index, slot.context), 0);
    return node;
  }
  ExprNode* ref(IosHandle symbol) {
    ExprSlotRef slot{};
    EXPECT_EQ(ios_symbol_get_slot(symbol, &slot, nullptr), 0);
    return slotRef(slot);
  }
  // Operator over the operands, which it takes over from the caller.
  ExprNode* op(int32_t kind, std::vector<ExprNode*> operands) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_operator_n(context_, &node, kind, static_cast<uint32_t>(operands.size()),
                                      operands.data()),
              0);
    for (ExprNode* operand : operands) expr_release(operand);
    return node;
  }
  ExprNode* add(ExprNode* left, ExprNode* right) { return op(EXPR_ADD, {left, right}); }

  // Records a relocation whose expression the image takes over.
  void relocate(IosHandle in_section, uint32_t offset, ExprNode* expression, uint32_t type) {
    EXPECT_EQ(ios_image_add_relocation(in_section, offset, 4, expression, type, 0, 0, nullptr), 0);
    expr_release(expression);
  }

  // Runs the producer; the class is returned, 0 on success.
  uint32_t write(ElfImage* image) {
    std::FILE* stream = std::tmpfile();
    EXPECT_NE(stream, nullptr);
    ObjLibErrorClass error = OBJLIB_ERR_NONE;
    int status = elf_write_object("t.o", stream, file_, &error);
    if (status == 0) {
      EXPECT_EQ(error, OBJLIB_ERR_NONE);
      std::fseek(stream, 0, SEEK_END);
      long size = std::ftell(stream);
      std::fseek(stream, 0, SEEK_SET);
      image->bytes.resize(static_cast<size_t>(size));
      EXPECT_EQ(std::fread(image->bytes.data(), 1, image->bytes.size(), stream),
                image->bytes.size());
      image->big = image->bytes.size() > 5 && image->bytes[5] == 2;
    } else {
      EXPECT_NE(error, OBJLIB_ERR_NONE);
    }
    std::fclose(stream);
    return status == 0 ? 0u : static_cast<uint32_t>(error);
  }
};
