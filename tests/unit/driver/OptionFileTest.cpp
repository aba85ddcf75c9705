// Option files: their words are parsed as if they stood on the command line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/c-opt.h"

using namespace opt;

namespace {

struct File {
  const char* name;
  std::string content;
};

// Named for the process: test runs of other build trees share the temporary folder.
std::string pathOf(const char* name) {
  return testing::TempDir() + "vekt-optfile-" + std::to_string(getpid()) + "-" + name;
}

void writeFiles(const std::vector<File>& files) {
  for (const File& file : files) {
    FILE* stream = std::fopen(pathOf(file.name).c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    std::fwrite(file.content.data(), 1, file.content.size(), stream);
    std::fclose(stream);
  }
}

std::string withPaths(std::string text);

// Words of the command line; "@name" stands for the path of the temporary file name.
const char* parse(const std::vector<std::string>& words) {
  std::vector<std::string> expanded;
  for (const std::string& word : words) expanded.push_back(withPaths(word));
  std::vector<char*> argv{const_cast<char*>("vekt")};
  for (std::string& word : expanded) argv.push_back(word.data());
  return opt_parse(static_cast<int>(argv.size()), argv.data());
}

std::vector<std::string> valuesOf(uint32_t id) {
  std::vector<std::string> values;
  for (uint32_t i = 0; i < opt_count(id); ++i) values.emplace_back(opt_get_string_at(id, i));
  return values;
}

struct Case {
  const char* behaviour;
  std::vector<File> files;
  std::vector<std::string> words;
  std::string error;  // empty: no error; "@name" in it stands for the path
  std::vector<std::string> defines;
  std::vector<std::string> inputs;
};

using S = std::string;

const Case kCases[] = {
    {"LinesGiveTheSameValuesAsTheCommandLine",
     {{"lines.opt", "-Dname\n-I dir\n"}},
     {"-f", "@lines.opt"},
     "",
     {"name"},
     {}},
    {"QuotedPartsKeepBlanksAndJoinTheWord",
     {{"quotes.opt", "\"-Dhello world\" -Dabc\"d e\"f '-Dsay \"hi\"'"}},
     {"-f@quotes.opt"},
     "",
     {"hello world", "abcd ef", "say \"hi\""},
     {}},
    {"BackslashNewlineJoinsWithNextLineSkippingIndent",
     {{"cont.opt", "-Dab\\\n    cd -Dx \\\n  y.asm"}},
     {"-f", "@cont.opt"},
     "",
     {"abcd", "x"},
     {"y.asm"}},
    {"CarriageReturnBeforeNewlineIsDropped",
     {{"crlf.opt", "-Dx\r\n-Dab\\\r\n  cd\r\n"}},
     {"-f", "@crlf.opt"},
     "",
     {"x", "abcd"},
     {}},
    {"LoneCarriageReturnIsWhiteSpace",
     {{"cr.opt", "-Dx\r-Dy"}},
     {"-f", "@cr.opt"},
     "",
     {"x", "y"},
     {}},
    {"ZeroByteEndsTheText",
     {{"nul.opt", S("-Dx\0-Dy", 7)}},
     {"-f", "@nul.opt"},
     "",
     {"x"},
     {}},
    {"UnclosedQuoteDropsTheRest",
     {{"quote.opt", "-Da \"-Db c"}},
     {"-f", "@quote.opt", "-Dz"},
     "missing quote in option string",
     {"a", "z"},
     {}},
    {"MissingFileIsReportedAndParsingGoesOn",
     {},
     {"-f", "@nope.opt", "-Dz"},
     "cannot open option file \"@nope.opt\"",
     {"z"},
     {}},
    {"NestedFileIsReadInPlace",
     {{"outer.opt", "-Da -f @inner.opt -Dc"}, {"inner.opt", "-Db"}},
     {"-f", "@outer.opt", "-Dd"},
     "",
     {"a", "b", "c", "d"},
     {}},
    {"CommaSeparatedFilesAreReadInOrder",
     {{"one.opt", "-D1"}, {"two.opt", "-D2"}},
     {"-f", "@one.opt,@two.opt"},
     "",
     {"1", "2"},
     {}},
    {"PendingOptionTakesWordAfterTheFile",
     {{"pending.opt", "-D"}},
     {"-f", "@pending.opt", "late"},
     "",
     {"late"},
     {}},
    {"EmptyFileAddsNothing", {{"empty.opt", " \n\t\n"}}, {"-f", "@empty.opt", "a.asm"}, "", {}, {"a.asm"}},
    {"SelfIncludingFileStopsWithAnError",
     {{"self.opt", "-Dx -f @self.opt"}},
     {"-f", "@self.opt"},
     "option files nested too deeply at \"@self.opt\"",
     {},
     {}},
};

std::string withPaths(std::string text) {
  for (size_t at; (at = text.find('@')) != std::string::npos;) {
    size_t end = text.find_first_of(",\" ", at);
    if (end == std::string::npos) end = text.size();
    text.replace(at, end - at, pathOf(text.substr(at + 1, end - at - 1).c_str()));
  }
  return text;
}

TEST(OptionFile, WordsAreParsedInPlace) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.behaviour);
    std::vector<File> files;
    for (const File& file : c.files) files.push_back({file.name, withPaths(file.content)});
    writeFiles(files);
    const char* error = parse(c.words);
    if (c.error.empty()) {
      EXPECT_EQ(error, nullptr) << error;
    } else {
      ASSERT_NE(error, nullptr);
      EXPECT_EQ(std::string(error), withPaths(c.error));
    }
    if (c.behaviour != std::string("SelfIncludingFileStopsWithAnError")) {
      EXPECT_EQ(valuesOf(PP_DEFINE), c.defines);
    }
    EXPECT_EQ(valuesOf(ARG), c.inputs);
    for (const File& file : c.files) std::remove(pathOf(file.name).c_str());
  }
  opt_release();
}

TEST(OptionFile, SavedArgumentsShowTheFilesWordsInPlace) {
  writeFiles({{"saved.opt", "-Da -c"}});
  parse({"-k", "-f", "@saved.opt", "x.asm"});
  std::vector<std::string> saved;
  for (uint32_t i = 0; i < opt_saved_argc(); ++i) saved.emplace_back(opt_saved_arg(i));
  EXPECT_EQ(saved, (std::vector<std::string>{"-k", "-Da", "-c", "x.asm"}));
  std::remove(pathOf("saved.opt").c_str());
  opt_release();
}

}  // namespace
