#include "AttributeData.h"

#include <cctype>
#include <set>

namespace isagen {

namespace {

// The attribute names the run-time code knows; a derived name outside it is a fault.
const std::set<std::string>& vocabulary() {
  static const std::set<std::string> names = {
#define VEKT_ATTRIBUTE(id, name) #name,
#include "../attributes.def"
#undef VEKT_ATTRIBUTE
  };
  return names;
}

std::string item(const std::string& name) { return "{ATTR_" + name + ", AttributeSpecItem::kNone, 0, nullptr}"; }
std::string constantItem(const std::string& name, long long value) {
  return "{ATTR_" + name + ", AttributeSpecItem::kConstant, " + std::to_string(value) + "u, nullptr}";
}

std::string withoutDots(const std::string& name) {
  std::string out;
  for (char c : name)
    if (c != '.') out += c;
  return out;
}

// The name with the size marker of a 16-bit form before its first dot: ld.a -> ld16.a.
std::string sizeMarked(const std::string& name, const char* size) {
  size_t dot = name.find('.');
  return dot == std::string::npos ? name + size : name.substr(0, dot) + size + name.substr(dot);
}

// The name without a size marker written into it (eq32, mov32.a, ld16.a); crc32 keeps its
// digits because they end the name.
std::string withoutSizeMarker(const std::string& name) {
  for (const char* marker : {"16", "32"}) {
    size_t at = name.find(marker);
    if (at != std::string::npos && at + 2 < name.size() && at > 0) return name.substr(0, at) + name.substr(at + 2);
    if (at != std::string::npos && at + 2 == name.size() && at > 0 && name != "crc32")
      return name.substr(0, at);
  }
  return name;
}

// The family name of a mnemonic, as the instr_ ids spell it: the accepted name when the
// vocabulary has it (ld16.a, fret32), the 16-bit variant for a 16-bit form, the name
// itself, the name without a size marker, and last the instruction it is encoded as.
std::string familyOf(const Form& form, const Mnemonic& mnemonic, const std::string& acceptedName) {
  const std::set<std::string>& known = vocabulary();
  std::vector<std::string> candidates;
  if (acceptedName != mnemonic.name) candidates.push_back(withoutDots(acceptedName));
  if (form.bits == 16) candidates.push_back(withoutDots(sizeMarked(mnemonic.name, "16")));
  candidates.push_back(withoutDots(mnemonic.name));
  candidates.push_back(withoutDots(withoutSizeMarker(mnemonic.name)));
  if (!mnemonic.encodedAs.empty()) candidates.push_back(withoutDots(mnemonic.encodedAs));
  for (const std::string& candidate : candidates)
    if (known.count("instr_" + candidate)) return candidate;
  return {};
}

// The mnemonic without dots and without size marker: the key of the kind tables below.
std::string baseOf(const Mnemonic& mnemonic) { return withoutDots(withoutSizeMarker(mnemonic.name)); }

bool isOneOf(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

bool isUnconditionalJump(const std::string& base) {
  return isOneOf(base, {"j", "ja", "jg", "ji", "jl", "jla", "jlg", "jli"});
}
// Conditional jumps that test data registers (resolved in the integer pipeline).
bool isDataJump(const std::string& base) {
  return isOneOf(base, {"jeq", "jne", "jge", "jgeu", "jlt", "jltu", "jgez", "jgtz", "jlez", "jltz", "jned", "jnei",
                        "jz", "jnz", "jzt", "jnzt"});
}
// Conditional jumps that test address registers (resolved in the load/store pipeline).
bool isAddressJump(const std::string& base) { return isOneOf(base, {"jeqa", "jnea", "jza", "jnza"}); }
bool isJump(const std::string& base) { return isUnconditionalJump(base) || isDataJump(base) || isAddressJump(base); }
bool isLoop(const std::string& base) { return base == "loop" || base == "loopu"; }

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }
bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool isIntegerPipeline(int use) { return use == 1 || use == 2 || use == 6; }

// The pipeline use of one mnemonic (see pipelineUseOf).
int pipelineUseOfMnemonic(const Mnemonic& mnemonic) {
  const std::string& name = mnemonic.name;
  std::string base = baseOf(mnemonic);
  if (isLoop(base)) return 4;
  if (endsWith(name, ".f") || isOneOf(base, {"ftoi", "ftoiz", "ftou", "ftouz", "itof", "utof", "ftoq31", "ftoq31z",
                                             "q31tof", "updfl"}))
    return 6;
  if (isUnconditionalJump(base) ||
      isOneOf(base, {"call", "calla", "calli", "callg", "fcall", "fcalla", "fcalli", "fcallg", "fret", "ret", "rfe",
                     "rfm", "syscall", "trapsv", "trapv", "debug", "dsync", "isync", "nop", "svlcx", "rslcx", "bisr",
                     "mtcr", "mfcr", "enable", "disable", "restore", "rstv",
                     "wait", "tlbmap", "tlbdemap", "tlbflusha", "tlbflushb", "tlbprobea", "tlbprobei"}))
    return 5;
  if (startsWith(name, "mul") || startsWith(name, "madd") || startsWith(name, "msub") || startsWith(name, "div") ||
      startsWith(name, "dvstep"))
    return 2;
  // The context loads and stores move memory like the other loads and stores.
  if (startsWith(name, "ld.") || startsWith(name, "st.") || startsWith(name, "cache") || isAddressJump(base) ||
      isOneOf(base, {"ldlcx", "lducx", "stlcx", "stucx", "lea", "ldmst", "swapw", "swapmskw", "cmpswapw", "adda", "suba", "addiha", "addsca", "addscat",
                     "mova", "movaa", "movd", "movha", "eqa", "nea", "lta", "gea", "eqza", "neza"}))
    return 3;
  return 1;
}

// Whether the mnemonic writes the register of the form's first operand, whose encoding
// field (empty for an implicit register) is given.
bool writesFirstOperand(const Mnemonic& mnemonic, const std::string& field) {
  std::string base = baseOf(mnemonic);
  if (isLoop(base)) return true;  // the loop counts its address register down
  if (isJump(base) || base == "restore") return false;
  return field.empty() || field.find('d') != std::string::npos;
}

// The first operand of a form when it is a register: a slot, or a register written out
// ("a15," or "d15,"), with the kind of attribute its number goes with.
struct FirstRegister {
  bool present = false;
  bool slot = false;
  bool address = false;
  std::string field;
  std::string literalId;  // reg_a or reg_d for a register written out
  int literalNumber = 0;
};

FirstRegister firstRegisterOf(const Form& form) {
  FirstRegister first;
  if (form.operands.empty()) return first;
  const Item& item = form.operands[0];
  if (item.kind == Item::Slot) {
    first.present = first.slot = true;
    first.address = item.reg == RegisterKind::Address || item.reg == RegisterKind::Address15 ||
                    item.reg == RegisterKind::StackPointer || item.reg == RegisterKind::AddressPair;
    first.field = item.fields.empty() ? std::string() : item.fields[0];
    return first;
  }
  if (item.kind != Item::Literal || item.text.size() < 2 || (item.text[0] != 'a' && item.text[0] != 'd')) return first;
  size_t end = 1;
  while (end < item.text.size() && std::isdigit(static_cast<unsigned char>(item.text[end]))) ++end;
  // "d15:" is a bit of the register, which the instruction reads.
  if (end == 1 || (end < item.text.size() && item.text[end] != ',')) return first;
  first.present = true;
  first.address = item.text[0] == 'a';
  first.literalId = first.address ? "reg_a" : "reg_d";
  first.literalNumber = std::stoi(item.text.substr(1, end - 1));
  return first;
}

// Whether every mnemonic of the form writes its first operand.
bool formWritesFirstOperand(const Form& form) {
  FirstRegister first = firstRegisterOf(form);
  if (form.bits == 0 || !first.present) return false;
  for (const Mnemonic& mnemonic : form.mnemonics)
    if (!writesFirstOperand(mnemonic, first.field)) return false;
  return true;
}

// Whether the form reads memory through its base register.
bool readsMemory(const Form& form) {
  for (const Mnemonic& mnemonic : form.mnemonics)
    if (startsWith(mnemonic.name, "ld") || mnemonic.name.find("swap") != std::string::npos) return true;
  return false;
}

const char* literalText(const Sequence& seq, size_t index) {
  return index < seq.size() && seq[index].kind == Item::Literal ? seq[index].text.c_str() : "";
}

// Whether the form's operands end in its branch target, a label or an absolute address
// written in the statement; a register target or a displacement given as a number is none.
bool endsInTarget(const Form& form) {
  for (auto operand = form.operands.rbegin(); operand != form.operands.rend(); ++operand) {
    if (operand->kind == Item::Literal || operand->kind == Item::Blank) continue;
    return operand->kind == Item::Expression && (operand->exprName == "label" || operand->exprName == "address");
  }
  return false;
}

// The jump item that lets the jump chains retarget the form: "jump" for a jump that goes
// to its target whatever happens and writes nothing, "jumpConditional" for one that tests
// first. Jumps that link (jl, jla, jlg) write the return address and are no stage of a
// chain; a register target (ji) names no label. The value is a constant, so that the set
// stays one shared copy: the position of the target's field among the operand fields the
// form keeps. The build walks the operands from the last, and the target is the last, so
// its field always comes first.
std::string jumpItemOf(const Form& form, const std::string& base) {
  if (!endsInTarget(form)) return {};
  const char* id = nullptr;
  if (isOneOf(base, {"j", "ja", "jg", "loopu"})) id = "jump";
  else if (isDataJump(base) || isAddressJump(base) || base == "loop") id = "jumpConditional";
  return id ? constantItem(id, 0) : std::string();
}

}  // namespace

int pipelineUseOf(const Form& form) {
  if (form.bits == 0 || form.mnemonics.empty()) return 0;
  // A form whose mnemonics all go to the integer pipeline (a multiply among the adds of its
  // syntax) takes the fastest use among them; other mixes are refused by the check.
  int use = pipelineUseOfMnemonic(form.mnemonics[0]);
  for (const Mnemonic& mnemonic : form.mnemonics) {
    int other = pipelineUseOfMnemonic(mnemonic);
    if (isIntegerPipeline(use) && isIntegerPipeline(other) && other < use) use = other;
  }
  return use;
}

std::vector<std::string> mnemonicAttributeItems(const Form& form, const Mnemonic& mnemonic,
                                                const std::string& acceptedName) {
  std::vector<std::string> items;
  if (!mnemonic.cycleAttribute.empty()) items.push_back(constantItem(mnemonic.cycleAttribute, mnemonic.cycleClass));
  // Generic forms expand into lines of their own, whose hardware forms carry the rest.
  if (form.bits == 0) return items;
  std::string family = familyOf(form, mnemonic, acceptedName);
  if (!family.empty()) items.push_back(item("instr_" + family));
  std::string base = baseOf(mnemonic);
  if (base == "nop") items.push_back(item("NOP"));
  if (isUnconditionalJump(base)) {
    items.push_back(item("is_jump"));
    items.push_back(item("is_unconditional_jump"));
  } else if (isDataJump(base) || isAddressJump(base)) {
    items.push_back(item("is_jump"));
    items.push_back(item("is_conditional_jump"));
    items.push_back(item(isDataJump(base) ? "is_ip_jump" : "is_ls_jump"));
  } else if (isLoop(base)) {
    items.push_back(item("is_loop"));
    items.push_back(item(base == "loop" ? "is_conditional_loop" : "is_unconditional_loop"));
  }
  if (std::string jump = jumpItemOf(form, base); !jump.empty()) items.push_back(jump);
  FirstRegister first = firstRegisterOf(form);
  if (first.present && first.address && writesFirstOperand(mnemonic, first.field)) items.push_back(item("has_Ax_target"));
  return items;
}

std::vector<std::string> registerAttributeItems(RegisterKind kind, int number) {
  switch (kind) {
    case RegisterKind::Data:
    case RegisterKind::DataNot15:
    case RegisterKind::Data15:
      return {constantItem("reg_d", number)};
    case RegisterKind::Address:
    case RegisterKind::Address15:
    case RegisterKind::StackPointer:
      return {constantItem("reg_a", number)};
    case RegisterKind::DataPair:
      return {constantItem("reg_dd", number)};
    case RegisterKind::AddressPair:
      return {constantItem("reg_aa", number)};
    case RegisterKind::DataQuad:
      return {constantItem("reg_qd", number)};
    case RegisterKind::None:
      break;
  }
  return {};
}

std::vector<std::string> descriptionAttributeItems(const Form& form) {
  std::vector<std::string> items;
  // The encoder picks the relocation of an @HIS/@LO/@LOS operand by the field it goes
  // into: the split 16-bit offset of BOL (1) or the 16-bit constant of RLC (2).
  if (form.format == "BOL") items.push_back(constantItem("opcodeformat", 1));
  else if (form.format == "RLC") items.push_back(constantItem("opcodeformat", 2));
  int use = pipelineUseOf(form);
  if (use == 0) return items;
  items.push_back(constantItem("pipelineUse", use));
  if (use == 1 || use == 2 || use == 6) items.push_back(item("instr_IP"));
  if (use == 3 || use == 4) items.push_back(item("instr_LS"));
  // A target written out in the syntax has no register record: its number stands here.
  FirstRegister first = firstRegisterOf(form);
  if (!first.literalId.empty() && formWritesFirstOperand(form)) {
    items.push_back(item("is_target"));
    items.push_back(constantItem(first.literalId, first.literalNumber));
  }
  return items;
}

std::vector<std::string> operandAttributeItems(const Form& form, const Sequence& seq, size_t index, bool topLevel) {
  std::vector<std::string> items;
  if (form.bits == 0 || index >= seq.size()) return items;
  const Item& operand = seq[index];
  std::string before = index > 0 ? literalText(seq, index - 1) : "";
  std::string after = literalText(seq, index + 1);
  if (operand.kind == Item::Expression) {
    bool absolute = operand.exprName == "address";
    for (const std::string& field : operand.fields) absolute = absolute || field == "off18";
    if (operand.exprName == "label") items.push_back(item("op_rel"));
    else if (absolute) items.push_back(item("op_abs"));
    else if (endsWith(before, "#")) items.push_back(item("op_imm"));
    else if (endsWith(before, ":")) items.push_back(item("op_bit"));
    return items;
  }
  if (operand.kind != Item::Slot) return items;
  bool address = operand.reg == RegisterKind::Address || operand.reg == RegisterKind::Address15 ||
                 operand.reg == RegisterKind::StackPointer || operand.reg == RegisterKind::AddressPair;
  bool base = endsWith(before, "[") || endsWith(before, "[+") || endsWith(before, "[-");
  if (base) {
    if (endsWith(before, "[+") || endsWith(before, "[-")) items.push_back(item("op_pre"));
    else if (startsWith(after, "+c]")) items.push_back(item("op_circ"));
    else if (startsWith(after, "+r]")) items.push_back(item("op_brev"));
    else if (startsWith(after, "+]") || startsWith(after, "-]")) items.push_back(item("op_post"));
    else items.push_back(item("op_ind"));
    items.push_back(item("ax_is_read"));
    if (readsMemory(form)) items.push_back(item("ax_used_for_source"));
    return items;
  }
  bool target = topLevel && index == 0 && formWritesFirstOperand(form);
  if (target) items.push_back(item("is_target"));
  // A loop reads the register it counts down.
  bool read = !target || isLoop(baseOf(form.mnemonics[0]));
  if (address && read) items.push_back(item("ax_is_read"));
  return items;
}

void checkAttributeData(const IsaData& data, void (*fail)(const std::string& message)) {
  for (const Form& form : data.forms) {
    if (form.bits == 0) continue;
    std::string where = "form at line " + std::to_string(form.line);
    // The pipeline use stands in the description, which all mnemonics of a form share.
    for (const Mnemonic& mnemonic : form.mnemonics) {
      // The jump item finds the target's field first among the fields the form keeps.
      std::string base = baseOf(mnemonic);
      bool chainJump = isOneOf(base, {"j", "ja", "jg", "loopu", "loop"}) || isDataJump(base) || isAddressJump(base);
      if (chainJump && !endsInTarget(form))
        for (const Item& operand : form.operands)
          if (operand.kind == Item::Expression && (operand.exprName == "label" || operand.exprName == "address"))
            fail(where + ": the target of " + mnemonic.name + " is not its last operand");
      int use = pipelineUseOfMnemonic(mnemonic);
      if (use != pipelineUseOf(form) && !(isIntegerPipeline(use) && isIntegerPipeline(pipelineUseOf(form))))
        fail(where + ": " + mnemonic.name + " uses another pipeline than " + form.mnemonics[0].name);
      for (const std::string& name : acceptedNames(form, mnemonic))
        if (familyOf(form, mnemonic, name).empty() && mnemonic.encodedAs.empty())
          fail(where + ": no instruction family for " + name);
    }
  }
}

}  // namespace isagen
