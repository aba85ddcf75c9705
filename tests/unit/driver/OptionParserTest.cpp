// The option parser's contract: which record a word selects, what it stores,
// and the first error text of a parse.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/c-opt.h"

using namespace opt;

namespace {

const char* parse(std::vector<const char*> words) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>("vekt"));
  for (const char* word : words) argv.push_back(const_cast<char*>(word));
  return opt_parse(static_cast<int>(argv.size()), argv.data());
}

// One expected fact about a record after the parse.
struct Fact {
  enum Kind { Count, Value, Text, TextAt } kind;
  uint32_t id;
  intptr_t number = 0;
  const char* text = nullptr;
  uint32_t index = 0;
};

Fact count(uint32_t id, intptr_t n) { return {Fact::Count, id, n}; }
Fact value(uint32_t id, intptr_t v) { return {Fact::Value, id, v}; }
Fact text(uint32_t id, const char* t) { return {Fact::Text, id, 0, t}; }
Fact textAt(uint32_t id, uint32_t i, const char* t) { return {Fact::TextAt, id, 0, t, i}; }

void checkFact(const Fact& fact) {
  SCOPED_TRACE("record " + std::to_string(fact.id));
  switch (fact.kind) {
    case Fact::Count:
      EXPECT_EQ(opt_count(fact.id), static_cast<uint32_t>(fact.number));
      break;
    case Fact::Value:
      EXPECT_EQ(static_cast<int32_t>(opt_get_value(fact.id)), fact.number);
      break;
    case Fact::Text:
      ASSERT_NE(opt_get_string(fact.id), nullptr);
      EXPECT_STREQ(opt_get_string(fact.id), fact.text);
      break;
    case Fact::TextAt:
      ASSERT_LT(fact.index, opt_count(fact.id));
      EXPECT_STREQ(opt_get_string_at(fact.id, fact.index), fact.text);
      break;
  }
}

struct Case {
  const char* behaviour;
  std::vector<const char*> words;
  const char* error;  // null: the command line is correct
  std::vector<Fact> facts;
};

const Case kCases[] = {
    {"DefaultsHoldWithoutCounting",
     {},
     nullptr,
     {value(LF_D, 1), value(LF_E, 0), count(LF_D, 0), value(TC13, 1), value(UM_KERNEL, 1),
      value(DWARF_VERSION, 3), text(CORE, "tc1.3"), text(LISTFORMAT, "Z"), count(CORE, 0),
      value(PT_ZELKOVA, 1), value(S_LOCAL, 1), value(SD_H, 1), value(SD_A, 0), value(O_G, 1),
      value(O_S, 1), value(FF_C, 0)}},
    {"AbbreviatedLongFormTakesAttachedValue",
     {"--def=X"},
     nullptr,
     {count(PP_DEFINE, 1), textAt(PP_DEFINE, 0, "X")}},
    {"AbbreviationWithoutSeparatorIsUnknown",
     {"--defX"},
     nullptr,
     {count(PP_DEFINE, 0), textAt(ERR, 0, "--defX")}},
    {"AmbiguousAbbreviationNamesTwoBestForms",
     {"--c", "x.asm"},
     "argument \"--c\" is ambiguous (\"--core\", \"--concatenate-sections\", ...)",
     {count(ARG, 0), count(OPT, 2)}},
    {"ExactSubOptionBeatsItsAbbreviationOfALongerOne",
     {"--core=tc1.3"},
     nullptr,
     {value(TC13, 1), value(TC131, 0), count(TC13, 1)}},
    {"AmbiguousSubOption",
     {"--core=tc1"},
     "argument \"tc1\" is ambiguous (\"tc1.6.x\", \"tc1.6\", ...)",
     {}},
    {"LaterCoreClearsEarlierOne",
     {"--core=tc1.6", "--core=tc1.3"},
     nullptr,
     {value(TC16, 0), value(TC13, 1), count(TC16, 1), count(TC13, 1)}},
    {"ExclusiveSiblingsKeepOnlyLastValue",
     {"--user-mode=user-1", "--user-mode=kernel"},
     nullptr,
     {value(UM_USER1, 0), value(UM_KERNEL, 1), count(USERMODE, 2)}},
    {"ShortFormWithAttachedOrSeparateArgument",
     {"-Dname", "-D", "other"},
     nullptr,
     {count(PP_DEFINE, 2), textAt(PP_DEFINE, 0, "name"), textAt(PP_DEFINE, 1, "other")}},
    {"MissingArgumentNamesShortForm", {"--define"}, "option \"-D\": argument required", {}},
    {"MissingArgumentNamesLongFormWithSeparator",
     {"--error-limit"},
     "option \"--error-limit=\": argument required",
     {}},
    {"GroupedOneLetterBooleans", {"-ck"}, nullptr, {value(CASE, 1), value(EH_KEEP, 1)}},
    {"GroupRestThatMatchesNothingIsUnknown",
     {"-cz"},
     nullptr,
     {value(CASE, 1), count(ERR, 1), textAt(ERR, 0, "-z"), count(ERROR, 0)}},
    {"UnknownShortOptionStoredWithAndWithoutDash",
     {"-z"},
     nullptr,
     {textAt(ERR, 0, "-z"), textAt(ERROR, 0, "z")}},
    {"UnknownLongOptionStoredWithAndWithoutDash",
     {"--foo"},
     nullptr,
     {textAt(ERR, 0, "--foo"), textAt(ERROR, 0, "-foo")}},
    {"FlagLettersAndSignedWords",
     {"-Ld,+symbol,-hll"},
     nullptr,
     {value(LF_D, 1), value(LF_E, 1), value(LF_S, 0), count(LF_D, 1), count(LF_M, 0)}},
    {"UppercaseFlagLetterDisables", {"-LX"}, nullptr, {value(LF_X, 0), count(LF_X, 1)}},
    {"UnknownFlagLetterIsInvalidSubOption",
     {"-Lk"},
     "option \"-L\": invalid sub-option \"k\"",
     {}},
    {"ListAliasZeroClearsNamedLettersOnly",
     {"-L0"},
     nullptr,
     {value(LF_D, 0), value(LF_I, 0), value(LF_Y, 0), value(LF_S, 0), value(LF_C, 0),
      count(LF_C, 0), count(LF_D, 1)}},
    {"ListAliasOneSetsAllNamedLetters",
     {"-L1"},
     nullptr,
     {value(LF_E, 1), value(LF_M, 1), value(LF_Z, 1), count(LF_C, 0)}},
    {"DebugAliasAloneSelectsSmart",
     {"-g"},
     nullptr,
     {value(SD_S, 1), count(SD_S, 1), count(SRCDEBUG, 1), count(SRCDEBUGD, 0)}},
    {"DebugWithLettersTakesThem",
     {"-gAh"},
     nullptr,
     {value(SD_A, 0), value(SD_H, 1), count(SD_A, 1), count(SD_S, 0)}},
    {"SectionInfoAliasSetsBothLetters", {"-t"}, nullptr, {value(SI_C, 1), value(SI_L, 1)}},
    {"EmitLocalsAliasSetsSymbols",
     {"--emit-locals"},
     nullptr,
     {value(EL_SYMBOLS, 1), value(EL_EQUS, 0)}},
    {"IntegerOptionWithoutArgumentStoresMinusOne",
     {"--warnings-as-errors"},
     nullptr,
     {count(EH_ERRWARN, 1), value(EH_ERRWARN, -1)}},
    {"IntegerAcceptsHexadecimal", {"--error-limit=0x10"}, nullptr, {value(EH_ERRLIM, 16)}},
    {"IntegerWithTrailingCharactersIsInvalid",
     {"--page-width=12a"},
     "option \"--page-width=\": invalid number \"12a\"",
     {count(PAGE_WIDTH, 0)}},
    {"IntegerBeyond32BitsIsInvalidNotWrapped",
     {"--error-limit=4294967296"},
     "option \"--error-limit=\": invalid number \"4294967296\"",
     {count(EH_ERRLIM, 0)}},
    {"IntegerThatWouldWrapToMinusOneIsInvalid",
     {"--page-width=4294967295"},
     "option \"--page-width=\": invalid number \"4294967295\"",
     {count(PAGE_WIDTH, 0)}},
    {"NegativeErrorLimitIsInvalid",
     {"--error-limit=-1"},
     "option \"--error-limit=\": invalid number \"-1\"",
     {count(EH_ERRLIM, 0)}},
    {"NegativePageLengthIsANumber", {"--page-length=-5"}, nullptr, {value(PAGE_LENGTH, -5)}},
    {"WordAfterOptionIsItsArgumentEvenWithDash",
     {"-o", "-x"},
     nullptr,
     {text(OUTPUT, "-x"), count(ERR, 0), count(ARG, 0)}},
    {"FastLooksAtFirstLetterOnly", {"--fast=cxyz"}, nullptr, {value(FF_C, 1)}},
    {"DefectGroupSelectsNestedGroupsChecks",
     {"--silicon-bug=all-tc1164"},
     nullptr,
     {value(TC013, 1), value(TC109, 1), count(TC105, 1), count(TC116, 0), count(TC051, 0)}},
    {"HiddenDefectGroupExpandsHiddenAliases",
     {"--silicon-bug=all-tc13"},
     nullptr,
     {count(PMU4, 1), count(PMI3, 1), count(CPU13, 1), count(CPU15, 1), count(TC048, 1),
      count(DMU1, 1), count(LFI2, 1), count(LFI3, 1), count(TC051, 1), count(TC060, 1),
      count(TC013, 0)}},
    {"HiddenLongFormMustBeGivenInFull",
     {"--cp=tc1796"},
     nullptr,
     {count(CPU_TRICORE, 0), textAt(ERR, 0, "--cp=tc1796")}},
    {"HelpWithoutItemCounts", {"-?"}, nullptr, {count(HELP, 1), value(H_OPT, 0)}},
    {"HelpItemOptions", {"--help=options"}, nullptr, {value(H_OPT, 1)}},
    {"HelpUnknownItemIsInvalidSubOption",
     {"--help=foo"},
     "option \"-?\": invalid sub-option \"foo\"",
     {}},
    {"FirstErrorIsKept",
     {"-Lk", "--page-width=x"},
     "option \"-L\": invalid sub-option \"k\"",
     {}},
    {"PositionalArgumentsInOrder",
     {"a.asm", "-c", "b.asm"},
     nullptr,
     {count(ARG, 2), textAt(ARG, 0, "a.asm"), textAt(ARG, 1, "b.asm")}},
    {"LoneDashIsTheStandardInputAsInputFile", {"-"}, nullptr,
     {count(ARG, 1), textAt(ARG, 0, "-"), count(ERR, 0)}},
    {"DashWithLettersIsStillAnOption", {"-", "-zz"}, nullptr,
     {count(ARG, 1), textAt(ERR, 0, "-zz")}},
    {"PreprocessorTypeNone", {"-mn"}, nullptr, {value(PT_NONE, 1), value(PT_ZELKOVA, 0)}},
};

TEST(OptionParser, WordsSelectRecordsAndValues) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.behaviour);
    const char* error = parse(c.words);
    if (c.error) {
      ASSERT_NE(error, nullptr);
      EXPECT_STREQ(error, c.error);
    } else {
      EXPECT_EQ(error, nullptr) << error;
    }
    for (const Fact& fact : c.facts) checkFact(fact);
  }
  opt_release();
}

TEST(OptionParser, DisplayNamesAsMessagesShowThem) {
  parse({});
  struct NameCase {
    uint32_t id;
    const char* name;
  } cases[] = {
      {PP_DEFINE, "-D"},
      {LF_D, "-Ld"},
      {TC16, "--core=tc1.6"},
      {TC1164_DEFECTS, "--silicon-bug=all-tc1766"},
      {PAGE_WIDTH, "--page-width="},
      {CHECK, "--check"},
      {SRCDEBUGD, "-gs"},
  };
  for (const NameCase& c : cases) EXPECT_STREQ(opt_name(c.id), c.name) << c.name;
  opt_release();
}

TEST(OptionParser, SavedArgumentsLeaveOutAliasExpansions) {
  parse({"-g", "-t", "x.asm"});
  ASSERT_EQ(opt_saved_argc(), 3u);
  EXPECT_STREQ(opt_saved_arg(0), "-g");
  EXPECT_STREQ(opt_saved_arg(1), "-t");
  EXPECT_STREQ(opt_saved_arg(2), "x.asm");
  opt_release();
}

TEST(OptionParser, FailedQueryChecksThrowWithTheirLine) {
  parse({"a.asm"});
  installOptAssertHandler(true);
  struct QueryCase {
    const char* behaviour;
    void (*query)();
    int line;
  } cases[] = {
      {"IndexAtCount", [] { opt_get_string_at(ARG, 1); }, 1476},
      {"RecordWithoutMul", [] { opt_get_string_at(OUTPUT, 0); }, 1475},
      {"BoolOfNonBoolean", [] { opt_get_bool(OUTPUT); }, 1452},
      {"InputFileBeyondCount", [] { opt_get_arg(1); }, 1433},
      {"SavedArgumentBeyondCount", [] { opt_saved_arg(5); }, 1684},
  };
  for (const QueryCase& c : cases) {
    SCOPED_TRACE(c.behaviour);
    try {
      c.query();
      ADD_FAILURE() << "no exception";
    } catch (const optAssertException& e) {
      EXPECT_STREQ(e.file, "c-opt.c");
      EXPECT_EQ(e.line, c.line);
    }
  }
  installOptAssertHandler(false);
  opt_release();
}

}  // namespace
