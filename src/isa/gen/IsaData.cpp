#include "IsaData.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace isagen {

namespace {

std::vector<std::string> makeDataNames(bool without15) {
  std::vector<std::string> names;
  for (int r = 0; r <= (without15 ? 14 : 15); ++r) names.push_back("d" + std::to_string(r));
  for (int e = 0; e <= 14; e += 2) {
    names.push_back("e" + std::to_string(e) + "l");
    if (!(without15 && e == 14)) names.push_back("e" + std::to_string(e) + "h");
  }
  return names;
}

std::vector<int> numbersOfDataNames(const std::vector<std::string>& names) {
  std::vector<int> numbers;
  for (const std::string& name : names) {
    int n = std::stoi(name.substr(1));
    if (name[0] == 'e' && name.back() == 'h') ++n;
    numbers.push_back(n);
  }
  return numbers;
}

struct RegisterSet {
  std::vector<std::string> names;
  std::vector<int> numbers;
};

const RegisterSet& registerSet(RegisterKind kind) {
  static std::map<RegisterKind, RegisterSet> sets = [] {
    std::map<RegisterKind, RegisterSet> s;
    s[RegisterKind::None] = {};
    s[RegisterKind::Data].names = makeDataNames(false);
    s[RegisterKind::Data].numbers = numbersOfDataNames(s[RegisterKind::Data].names);
    s[RegisterKind::DataNot15].names = makeDataNames(true);
    s[RegisterKind::DataNot15].numbers = numbersOfDataNames(s[RegisterKind::DataNot15].names);
    s[RegisterKind::Data15] = {{"d15", "e14h"}, {15, 15}};
    RegisterSet& address = s[RegisterKind::Address];
    for (int r = 0; r <= 9; ++r) address.names.push_back("a" + std::to_string(r)), address.numbers.push_back(r);
    address.names.push_back("sp"), address.numbers.push_back(10);
    for (int r = 10; r <= 15; ++r) address.names.push_back("a" + std::to_string(r)), address.numbers.push_back(r);
    s[RegisterKind::Address15] = {{"a15"}, {15}};
    s[RegisterKind::StackPointer] = {{"sp", "a10"}, {10, 10}};
    RegisterSet& dataPair = s[RegisterKind::DataPair];
    for (int r = 0; r <= 14; r += 2) {
      dataPair.names.push_back("d" + std::to_string(r) + "/d" + std::to_string(r + 1));
      dataPair.names.push_back("d" + std::to_string(r + 1) + "/d" + std::to_string(r));
      dataPair.numbers.push_back(r), dataPair.numbers.push_back(r);
    }
    for (int r = 0; r <= 14; r += 2) dataPair.names.push_back("e" + std::to_string(r)), dataPair.numbers.push_back(r);
    RegisterSet& addressPair = s[RegisterKind::AddressPair];
    for (int r = 0; r <= 14; r += 2) {
      addressPair.names.push_back("a" + std::to_string(r) + "/a" + std::to_string(r + 1));
      addressPair.names.push_back("a" + std::to_string(r + 1) + "/a" + std::to_string(r));
      addressPair.numbers.push_back(r), addressPair.numbers.push_back(r);
    }
    RegisterSet& quad = s[RegisterKind::DataQuad];
    for (int r = 0; r <= 14; r += 2) {
      quad.names.push_back("e" + std::to_string(r) + "/e" + std::to_string((r + 2) % 16));
      quad.numbers.push_back(r);
    }
    return s;
  }();
  return sets.at(kind);
}

struct SyntaxReader {
  const std::string& text;
  size_t pos = 0;
  std::string error;

  bool atEnd() const { return pos >= text.size(); }
  bool startsWith(const char* prefix) const { return text.compare(pos, std::char_traits<char>::length(prefix), prefix) == 0; }

  void appendLiteral(Sequence& seq, char c) {
    char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!seq.empty() && seq.back().kind == Item::Literal) seq.back().text += lower;
    else seq.push_back(Item(Item::Literal, std::string(1, lower)));
  }

  void readFields(Item& item) {
    if (atEnd() || text[pos] != '{') return;
    size_t close = text.find('}', pos);
    std::string list = text.substr(pos + 1, close - pos - 1);
    pos = close + 1;
    size_t start = 0;
    while (true) {
      size_t plus = list.find('+', start);
      item.fields.push_back(list.substr(start, plus - start));
      if (plus == std::string::npos) break;
      start = plus + 1;
    }
  }

  bool readNumber(int64_t& value) {
    size_t end = pos;
    if (end < text.size() && text[end] == '-') ++end;
    size_t digits = end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end == digits) return false;
    value = std::stoll(text.substr(pos, end - pos));
    pos = end;
    return true;
  }

  // A sequence up to ')' or '|' or the end.
  bool readSequence(Sequence& seq) {
    static const std::pair<const char*, RegisterKind> registers[] = {
        {"D15", RegisterKind::Data15}, {"Dn", RegisterKind::Data}, {"Dx", RegisterKind::DataNot15},
        {"A15", RegisterKind::Address15}, {"An", RegisterKind::Address}, {"SP", RegisterKind::StackPointer},
        {"En", RegisterKind::DataPair}, {"Pn", RegisterKind::AddressPair}};
    while (!atEnd() && text[pos] != ')' && text[pos] != '|') {
      bool matched = false;
      for (const auto& [notation, kind] : registers) {
        if (startsWith(notation)) {
          pos += std::char_traits<char>::length(notation);
          Item item(Item::Slot);
          item.reg = kind;
          readFields(item);
          seq.push_back(item);
          matched = true;
          break;
        }
      }
      if (matched) continue;
      char c = text[pos];
      char previous = pos > 0 ? text[pos - 1] : ' ';
      if (startsWith("#n[") || startsWith("n[")) {
        if (c == '#') appendLiteral(seq, '#'), ++pos;
        pos += 2;
        Item item(Item::Expression);
        item.hasRange = true;
        if (!readNumber(item.lo) || !startsWith("..")) return fail("bad range");
        pos += 2;
        if (!readNumber(item.hi) || atEnd() || text[pos] != ']') return fail("bad range");
        ++pos;
        readFields(item);
        seq.push_back(item);
      } else if (startsWith("label") || startsWith("address")) {
        Item item(Item::Expression);
        item.exprName = startsWith("label") ? "label" : "address";
        pos += item.exprName.size();
        readFields(item);
        seq.push_back(item);
      } else if ((std::isdigit(static_cast<unsigned char>(c)) || c == '-') &&
                 (previous == '#' || previous == ']') &&
                 (c != '-' || (pos + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[pos + 1]))))) {
        Item item(Item::Expression);
        item.hasRange = item.fixed = true;
        readNumber(item.lo);
        item.hi = item.lo;
        readFields(item);
        seq.push_back(item);
      } else if (c == '(') {
        ++pos;
        Item item(Item::Choice);
        while (true) {
          Sequence alternative;
          if (!readSequence(alternative)) return false;
          item.alternatives.push_back(alternative);
          if (atEnd()) return fail("unclosed choice");
          if (text[pos++] == ')') break;
        }
        seq.push_back(item);
      } else if (c == '{' || c == '}' || c == ' ') {
        return fail("stray character in syntax");
      } else {
        appendLiteral(seq, c);
        ++pos;
      }
    }
    return true;
  }

  bool fail(const char* message) {
    error = message;
    return false;
  }
};

std::string stripFields(const std::string& syntax) {
  std::string out;
  bool inField = false;
  for (char c : syntax) {
    if (c == '{') inField = true;
    else if (c == '}') inField = false;
    else if (!inField) out += c;
  }
  return out;
}

bool parseFieldSpec(const std::string& spec, Format& format, std::string& error) {
  // name[hi:lo] or name<vhi:vlo>[hi:lo]
  size_t bracket = spec.find('[');
  if (bracket == std::string::npos || spec.back() != ']') return error = "bad field " + spec, false;
  std::string name = spec.substr(0, bracket);
  int hi = 0, lo = 0;
  std::string range = spec.substr(bracket + 1, spec.size() - bracket - 2);
  size_t colon = range.find(':');
  hi = std::stoi(range.substr(0, colon));
  lo = colon == std::string::npos ? hi : std::stoi(range.substr(colon + 1));
  int valueLo = 0;
  size_t angle = name.find('<');
  if (angle != std::string::npos) {
    std::string valueRange = name.substr(angle + 1, name.size() - angle - 2);
    size_t vcolon = valueRange.find(':');
    valueLo = std::stoi(vcolon == std::string::npos ? valueRange : valueRange.substr(vcolon + 1));
    name = name.substr(0, angle);
  }
  format.fields[name].push_back(FieldRun{hi - lo + 1, valueLo, lo});
  return true;
}

// cycle=N, cycle_inf=N or cylce_info=N: the cycle class and the attribute that carries it.
bool readCycleClass(const std::string& word, Mnemonic& mnemonic) {
  for (const char* key : {"cycle", "cycle_inf", "cylce_info"}) {
    std::string prefix = std::string(key) + "=";
    if (word.rfind(prefix, 0) != 0) continue;
    mnemonic.cycleAttribute = std::string(key) == "cycle" ? "cycle_info" : key;
    mnemonic.cycleClass = std::stoll(word.substr(prefix.size()), nullptr, 0);
    return true;
  }
  return false;
}

}  // namespace

const std::vector<std::string>& registerNames(RegisterKind kind) { return registerSet(kind).names; }
const std::vector<int>& registerNumbers(RegisterKind kind) { return registerSet(kind).numbers; }

const char* registerErrorText(RegisterKind kind) {
  switch (kind) {
    case RegisterKind::Data: return "expected data register";
    case RegisterKind::DataNot15: return "expected data register other than D15";
    case RegisterKind::Data15: return "expected D15 register";
    case RegisterKind::Address: return "expected address register";
    case RegisterKind::Address15: return "expected A15 register";
    case RegisterKind::StackPointer: return "expected SP register";
    case RegisterKind::DataPair: return "expected data register pair";
    case RegisterKind::AddressPair: return "expected address register pair";
    case RegisterKind::DataQuad: return "expected data register quadruple";
    case RegisterKind::None: break;
  }
  return nullptr;
}

const char* registerNotation(RegisterKind kind) {
  switch (kind) {
    case RegisterKind::Data: return "Dn";
    case RegisterKind::DataNot15: return "Dx";
    case RegisterKind::Data15: return "D15";
    case RegisterKind::Address: return "An";
    case RegisterKind::Address15: return "A15";
    case RegisterKind::StackPointer: return "SP";
    case RegisterKind::DataPair: return "En";
    case RegisterKind::AddressPair: return "Pn";
    case RegisterKind::DataQuad: return "Qn";
    case RegisterKind::None: break;
  }
  return "";
}

std::vector<std::string> acceptedNames(const Form& form, const Mnemonic& mnemonic) {
  std::vector<std::string> names{mnemonic.name};
  if (form.bits == 0 || mnemonic.plainOnly) return names;
  std::string size = std::to_string(form.bits);
  size_t dot = mnemonic.name.rfind('.');
  names.push_back(dot == std::string::npos ? mnemonic.name + size
                                           : mnemonic.name.substr(0, dot) + size + mnemonic.name.substr(dot));
  return names;
}

bool readIsaData(const std::string& path, IsaData& data) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "%s: cannot open\n", path.c_str());
    return false;
  }
  std::string line;
  int lineNumber = 0;
  auto fail = [&](const std::string& message) {
    std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), lineNumber, message.c_str());
    return false;
  };
  Form* form = nullptr;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    bool indented = line[0] == ' ';
    if (!indented && keyword == "format") {
      Format format;
      words >> format.name >> format.bits;
      std::string spec, error;
      while (words >> spec)
        if (!parseFieldSpec(spec, format, error)) return fail(error);
      data.formats[format.name] = format;
    } else if (!indented && keyword == "form") {
      data.forms.emplace_back();
      form = &data.forms.back();
      form->index = static_cast<int>(data.forms.size()) - 1;
      form->line = lineNumber;
      std::string size;
      words >> form->rank >> size >> form->format;
      form->bits = size == "generic" ? 0 : std::stoi(size);
      if (form->bits != 0 && form->bits != 16 && form->bits != 32) return fail("bad size " + size);
      std::getline(words >> std::ws, form->syntax);
      form->partSyntax = stripFields(form->syntax);
      SyntaxReader reader{form->syntax, 0, {}};
      if (!reader.readSequence(form->operands) || !reader.atEnd())
        return fail("syntax: " + (reader.error.empty() ? std::string("unbalanced choice") : reader.error));
      if (form->bits != 0 && !data.formats.count(form->format)) return fail("unknown format " + form->format);
    } else if (indented && form && keyword == "template") {
      std::string value;
      words >> value;
      form->opcodeTemplate = static_cast<uint32_t>(std::stoul(value, nullptr, 0));
    } else if (indented && form && keyword == "when") {
      std::string tag;
      while (words >> tag) form->when.push_back(tag);
    } else if (indented && form && keyword == "expand") {
      if (form->bits != 0) return fail("expand given for a hardware form");
      std::string text;
      std::getline(words >> std::ws, text);
      form->expansions.push_back(text);
    } else if (indented && form) {
      Mnemonic mnemonic;
      mnemonic.name = keyword;
      if (mnemonic.name.back() == '*') mnemonic.plainOnly = true, mnemonic.name.pop_back();
      std::string word;
      int opcodes = 0;
      while (words >> word) {
        if (word.rfind("second=\"", 0) == 0 && word.size() > 8 && word.back() == '"')
          mnemonic.secondText = word.substr(8, word.size() - 9);
        else if (word.rfind("second=", 0) == 0) mnemonic.second = std::stoll(word.substr(7));
        else if (word.rfind("as=", 0) == 0) mnemonic.encodedAs = word.substr(3);
        else if (readCycleClass(word, mnemonic)) continue;
        else if (opcodes == 0) mnemonic.op1 = std::stoll(word, nullptr, 0), ++opcodes;
        else if (opcodes == 1) mnemonic.op2 = std::stoll(word, nullptr, 0), ++opcodes;
        else return fail("unexpected " + word);
      }
      if (form->bits != 0 && mnemonic.op1 < 0) return fail("hardware mnemonic without opcode");
      for (char c : mnemonic.name)
        if (std::isupper(static_cast<unsigned char>(c))) return fail("mnemonic not in lower case");
      form->mnemonics.push_back(mnemonic);
    } else {
      return fail("unexpected line");
    }
  }
  return true;
}

}  // namespace isagen
