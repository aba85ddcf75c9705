// Test driver of the IEEE-695 writer, not a product feature. Three modes:
//
//   ieee-probe <module> [assembler arguments]   assembles as the assembler would and,
//       once the object store file is complete, also writes it as an IEEE-695 module
//   ieee-probe --elf-copy <copy> [assembler arguments]   the same, but writes the store
//       file a second time as ELF through the library's translating entry, without a
//       translator, so that it can be compared with the assembler's own object file
//   ieee-probe --dump <module>                  prints the module's records, one a line
//
// The dump prints each record's offset, its type byte and its fields as the record
// codec reads them; date and time fields are printed as "*" so that output is stable.
// After the records it prints one line per part-offset assignment W0-W7: the offset it
// holds and the type byte of the record found there ("none" for offset 0).
// It exits 1 when a record does not read back, 2 when the module cannot be opened.
//
// The module (or the copy) is an output like the object file: named before anything is
// written, refused with F007 when it is a file the run reads or another output, written
// beside its place and put there when complete, and removed after an assembly with errors.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "driver/OrbaAssembler.h"
#include "objlib/ieee695/ieee_record.h"
#include "objlib/ieee695/ieee_state.h"
#include "objlib/ieee695/ieee_writer.h"
#include "objlib/elf_writer.h"
#include "objlib/ios_admin.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/OutputFile.h"

namespace {

class IeeeProbeAssembler : public TriCoreAssembler {
 public:
  IeeeProbeAssembler(const char* modulePath, bool elfCopy, int argc, char** argv,
                     OrbaFactory* factory)
      : TriCoreAssembler(argc, argv, factory), modulePath_(modulePath), elfCopy_(elfCopy) {
    // The assembler's own start-up has named its outputs and the source by now.
    claimOutputPath(OutputRole::kObjectCopy, modulePath_, elfCopy_ ? "--elf-copy" : "the module argument");
  }
  int writeStatus() const { return writeStatus_; }

  void afterWriteObject() override {
    uint32_t fileId = 0;
    IosErrorCode code = IOS_ERR_INTERNAL;
    if (ios_admin_file_id_at(0, &fileId, &code) != 0) {
      std::fprintf(stderr, "ieee-probe: no store file (error %u)\n", code);
      writeStatus_ = 3;
      return;
    }
    OutputFile output(OutputRole::kObjectCopy);
    FILE* out = output.open(modulePath_, "w+b");
    if (out == nullptr) {
      std::fprintf(stderr, "ieee-probe: cannot open %s\n", modulePath_);
      writeStatus_ = 3;
      return;
    }
    if (elfCopy_) {
      ObjLibErrorClass elfError = OBJLIB_ERR_NONE;
      if (elf_write_object_ex(modulePath_, out, fileId, nullptr, nullptr, &elfError) != 0) {
        std::fprintf(stderr, "ieee-probe: ELF copy not written (error class %u)\n", elfError);
        writeStatus_ = 3;
      }
      if (writeStatus_ != 0) output.discard();
      else if (!output.commit()) writeStatus_ = 3;
      return;
    }
    uint32_t error = 0;
    std::string name = modulePath_;
    if (ieee_write_module(name.c_str(), out, fileId, &error) != 0) {
      std::fprintf(stderr, "ieee-probe: module not written (error class %u)\n", error);
      writeStatus_ = 3;
    }
    if (writeStatus_ != 0) output.discard();
    else if (!output.commit()) writeStatus_ = 3;
  }

 private:
  const char* modulePath_;
  bool elfCopy_;
  int writeStatus_ = 0;
};

std::string hex(const StrBuf* buffer) {
  std::string text;
  char byte[4];
  size_t length = ieee_buf_length(buffer);
  for (size_t i = 0; i < length; ++i) {
    std::snprintf(byte, sizeof byte, "%s%02X", i != 0 ? " " : "", ieee_buf_bytes(buffer)[i]);
    text += byte;
  }
  return text;
}

std::string text(const StrBuf* buffer) {
  return buffer == nullptr ? std::string("-")
                           : "\"" + std::string(reinterpret_cast<const char*>(ieee_buf_bytes(buffer)),
                                                ieee_buf_length(buffer)) + "\"";
}

std::string number(uint64_t value) {
  if (value == IEEE_UNSET) return "-";
  char out[24];
  std::snprintf(out, sizeof out, "0x%" PRIX64, value);
  return out;
}

std::string letter(uint32_t code) {
  if (code < 0xC1 || code > 0xDA) return "?";
  return std::string(1, static_cast<char>('A' + code - 0xC1));
}

// A run read from a record ends with the record byte that follows it; it is not
// part of the value.
std::string value(const IosValue& holder) {
  std::string bytes = hex(holder.text);
  size_t length = ieee_buf_length(holder.text);
  if (length != 0 && ieee_buf_bytes(holder.text)[length - 1] >= 0xE0) {
    bytes.resize(bytes.size() >= 3 ? bytes.size() - 3 : 0);
  }
  return "[" + bytes + "]";
}

void print(const IeeeRecord& record) {
  const IeeeBody& b = *record.body;
  std::printf("%06" PRIX64 " %02X", record.start_offset, record.type);
  switch (record.type) {
    case IEEE_MB: std::printf(" MB %s %s", text(b.mb.processor).c_str(), text(b.mb.module).c_str()); break;
    case IEEE_ME: std::printf(" ME"); break;
    case IEEE_AS:
      std::printf(" AS %s%s %s", letter(b.as.letter).c_str(), b.as.letter == 0xC7 ? "" : number(b.as.index).c_str(),
                  value(b.as.value).c_str());
      break;
    case IEEE_LR:
    case IEEE_FA:
      if (b.lr.item_kind == IEEE_LR_DATA) {
        std::printf(" LR data %s", number(b.lr.count).c_str());
      } else if (b.lr.item_kind == IEEE_LR_VARIABLE) {
        std::printf(" LR %s%s %s", letter(b.lr.letter).c_str(), number(b.lr.index).c_str(),
                    value(b.lr.variable_value).c_str());
      } else {
        std::printf(" LR %s", value(b.lr.expression).c_str());
      }
      break;
    case IEEE_SB: std::printf(" SB %s", number(b.number.number).c_str()); break;
    case IEEE_RE: std::printf(" RE %s", number(b.number.number).c_str()); break;
    case IEEE_ST: {
      std::printf(" ST %s", number(b.st.section).c_str());
      for (uint32_t i = 0; i < IEEE_ST_LIST_WORDS && b.st.types[i] != 0; ++i) {
        if (b.st.types[i] == 0xD9 && i + 1 < IEEE_ST_LIST_WORDS) {
          std::printf(" Y%s", number(b.st.types[++i]).c_str());
        } else {
          std::printf(" %s", letter(b.st.types[i]).c_str());
        }
      }
      std::printf(" %s", text(b.st.name).c_str());
      break;
    }
    case IEEE_SA:
      std::printf(" SA %s %s %s", number(b.sa.section).c_str(), number(b.sa.alignment).c_str(),
                  number(b.sa.page_size).c_str());
      break;
    case IEEE_NI:
    case IEEE_NX:
    case IEEE_NN:
      std::printf(" N%s %s%s %s", record.type == IEEE_NI ? "I" : record.type == IEEE_NX ? "X" : "N",
                  letter(b.name.letter).c_str(), number(b.name.index).c_str(), text(b.name.name).c_str());
      break;
    case IEEE_CO: std::printf(" CO %s %s", number(b.co.number).c_str(), text(b.co.text).c_str()); break;
    case IEEE_DT: std::printf(" DT * * * * * *"); break;
    case IEEE_AD:
      std::printf(" AD %s %s %s", number(b.ad.bits_per_mau).c_str(), number(b.ad.maus_per_address).c_str(),
                  letter(b.ad.order).c_str());
      break;
    case IEEE_LD: {
      std::printf(" LD %s", number(b.ld.count).c_str());
      for (uint64_t i = 0; i < b.ld.count && i < IEEE_LD_DATA_BYTES; ++i) std::printf(" %02X", b.ld.data[i]);
      break;
    }
    case IEEE_AT:
      std::printf(" AT %s%s %s %s %s %s", letter(b.at.letter).c_str(), number(b.at.index).c_str(),
                  number(b.at.numbers[0]).c_str(), number(b.at.numbers[1]).c_str(), number(b.at.numbers[2]).c_str(),
                  value(b.at.value).c_str());
      break;
    case IEEE_WX: std::printf(" WX X%s %s", number(b.wx.index).c_str(), value(b.wx.value).c_str()); break;
    case IEEE_FB: std::printf(" FB %s %s", number(b.fb.first).c_str(), number(b.fb.second).c_str()); break;
    case IEEE_FC: std::printf(" FC I%s", number(b.name.index).c_str()); break;
    case IEEE_BB:
      std::printf(" BB %s %s %s %s", number(b.bb.block_type).c_str(), number(b.bb.size).c_str(),
                  text(b.bb.name).c_str(), value(b.bb.value).c_str());
      break;
    case IEEE_BE: std::printf(" BE %s", value(b.be.value).c_str()); break;
    case IEEE_TY: {
      // Items as read: letter entries (the complement of the letter, then its index)
      // as the letter and index, numbers as they stand.
      std::printf(" TY %s", number(b.ty.type_index).c_str());
      const IeeeItemList* items = b.ty.items;
      for (uint32_t i = 0; items != nullptr && i < items->count; ++i) {
        uint32_t item = items->items[i];
        if (i + 1 < items->count && (~item >= 0xC1 && ~item <= 0xDA)) {
          std::printf(" %s%s", letter(~item).c_str(), number(items->items[++i]).c_str());
        } else {
          std::printf(" %s", number(item).c_str());
        }
      }
      break;
    }
    default: break;
  }
  std::printf("\n");
}

int dump(const char* path) {
  FILE* in = std::fopen(path, "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "ieee-probe: cannot open %s\n", path);
    return 2;
  }
  ieee_process_state_reset();
  IeeeStream* stream = ieee_stream_open(in, 0);
  IeeeRecord record{};
  int status = 0;
  uint8_t next = 0;
  std::map<uint64_t, uint32_t> starts;
  std::map<uint64_t, uint64_t> partOffsets;
  while (ieee_stream_peek_byte(stream, &next) != 0) {
    int ok = ieee_record_transfer(&record, stream);
    if (ok == 0) {
      std::printf("%06" PRIX64 " does not read back\n", record.start_offset);
      status = 1;
      break;
    }
    print(record);
    starts[record.start_offset] = record.type;
    if (record.type == IEEE_AS && record.body->as.letter == 0xD7 && record.body->as.index < 8) {
      const StrBuf* bytes = record.body->as.value.text;
      uint64_t offset = 0;
      if (bytes != nullptr) ieee_decode_number(ieee_buf_bytes(bytes), ieee_buf_length(bytes), &offset);
      partOffsets[record.body->as.index] = offset;
    }
    ieee_record_clear(&record);
  }
  for (const auto& [part, offset] : partOffsets) {
    auto found = starts.find(offset);
    if (offset == 0) {
      std::printf("part %u at 0x0: none\n", static_cast<unsigned>(part));
    } else if (found == starts.end()) {
      std::printf("part %u at 0x%" PRIX64 ": no record starts there\n", static_cast<unsigned>(part), offset);
    } else {
      std::printf("part %u at 0x%" PRIX64 ": %02X\n", static_cast<unsigned>(part), offset, found->second);
    }
  }
  ieee_record_clear(&record);
  ieee_stream_close(&stream);
  std::fclose(in);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--dump") == 0) return dump(argv[2]);
  bool elfCopy = argc >= 3 && std::strcmp(argv[1], "--elf-copy") == 0;
  if (elfCopy) {
    --argc;
    ++argv;
  }
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: ieee-probe [--elf-copy] <file> [assembler arguments] | --dump <module>\n");
    return 2;
  }
  const char* modulePath = argv[1];
  TriCoreFactory factory;
  // The assembler sees its own name and the remaining arguments unchanged.
  argv[1] = argv[0];
  auto* assembler = new IeeeProbeAssembler(modulePath, elfCopy, argc - 1, argv + 1, &factory);
  int status = assembler->run();
  int writeStatus = assembler->writeStatus();
  delete assembler;
  return status != 0 ? status : writeStatus;
}
