#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "ScopedManagers.h"
#include "util/OutputFile.h"

namespace {

// A fresh directory per case, removed with its files afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char pattern[] = "/tmp/vekt-output-XXXXXX";
    path_ = mkdtemp(pattern) ? pattern : "";
  }
  ~ScratchDirectory() {
    for (const std::string& name : names()) unlink((path_ + "/" + name).c_str());
    rmdir(path_.c_str());
  }
  std::string operator/(const char* name) const { return path_ + "/" + name; }
  std::set<std::string> names() const {
    std::set<std::string> found;
    if (DIR* directory = opendir(path_.c_str())) {
      while (dirent* entry = readdir(directory))
        if (entry->d_name[0] != '.') found.insert(entry->d_name);
      closedir(directory);
    }
    return found;
  }

 private:
  std::string path_;
};

std::string contents(const std::string& path) {
  std::ifstream in(path);
  if (!in) return "<none>";
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

mode_t modeOf(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

bool isLink(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

// The outputs and the files read are the run's: each test starts and ends a run of its
// own, so that the identities of its scratch files do not outlive them.
class OutputFileTest : public testing::Test {
 protected:
  void SetUp() override { resetOutputFiles(); }
  void TearDown() override { resetOutputFiles(); }
};

using OutputFileDeathTest = OutputFileTest;

TEST_F(OutputFileTest, TargetChangesOnlyWhenTheWholeFileIsInPlace) {
  enum class Before { kNothing, kFile, kLink, kLinkToNothing };
  struct Case {
    const char* name;
    Before before;
    bool commit;
    const char* after;  // contents of "out" afterwards
  };
  const Case cases[] = {
      {"new file, committed", Before::kNothing, true, "new"},
      {"new file, discarded", Before::kNothing, false, "<none>"},
      {"earlier file, committed", Before::kFile, true, "new"},
      {"earlier file, discarded", Before::kFile, false, "old"},
      {"link to a file, committed", Before::kLink, true, "new"},
      {"link to a file, discarded", Before::kLink, false, "old"},
      {"link to no file yet, committed", Before::kLinkToNothing, true, "new"},
      {"link to no file yet, discarded", Before::kLinkToNothing, false, "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory directory;
    const std::string out = directory / "out";
    const std::string real = directory / "real";
    if (c.before == Before::kLinkToNothing) {
      ASSERT_EQ(symlink("real", out.c_str()), 0);
    } else if (c.before != Before::kNothing) {
      std::string file = c.before == Before::kLink ? real : out;
      std::ofstream(file) << "old";
      chmod(file.c_str(), 0604);
      if (c.before == Before::kLink) {
        ASSERT_EQ(symlink("real", out.c_str()), 0);
      }
    }
    std::set<std::string> namesBefore = directory.names();

    OutputFile output(OutputRole::kDependency);
    std::FILE* stream = output.open(out.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    std::fputs("new", stream);
    std::fflush(stream);
    // Nobody sees the new text before it is complete.
    const bool earlier = c.before == Before::kFile || c.before == Before::kLink;
    EXPECT_EQ(contents(out), earlier ? "old" : "<none>");
    EXPECT_EQ(directory.names().size(), namesBefore.size() + 1) << "one temporary file";

    if (c.commit) {
      EXPECT_TRUE(output.commit());
    } else {
      output.discard();
    }
    EXPECT_FALSE(output.isOpen());
    EXPECT_EQ(contents(out), c.after);
    std::set<std::string> namesAfter = namesBefore;
    if (c.before == Before::kNothing && c.commit) namesAfter.insert("out");
    // The file is made where the link leads, and the link stays.
    if (c.before == Before::kLinkToNothing && c.commit) namesAfter.insert("real");
    EXPECT_EQ(directory.names(), namesAfter) << "no temporary file is left";
    if (c.before == Before::kLink || c.before == Before::kLinkToNothing) {
      EXPECT_TRUE(isLink(out));
    }
    if (earlier) {
      EXPECT_EQ(modeOf(out), 0604u) << "a replaced file keeps its mode";
    }
  }
}

TEST_F(OutputFileTest, DevicesAreWrittenInPlace) {
  // Nodes of the test's own, of the null and the full device.
  struct Case {
    const char* name;
    unsigned minor;
    bool written;
  };
  const Case cases[] = {{"null", 3, true}, {"full", 7, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory directory;
    const std::string path = directory / c.name;
    if (mknod(path.c_str(), S_IFCHR | 0600, makedev(1, c.minor)) != 0) {
      GTEST_SKIP() << "making a device node needs root";
    }
    OutputFile output(OutputRole::kObject);
    std::FILE* stream = output.open(path.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    std::fputs("text", stream);
    EXPECT_EQ(output.commit(), c.written);
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
  }
}

TEST_F(OutputFileTest, OutputThatCannotBeMadeGivesNoStream) {
  OutputFile output(OutputRole::kList);
  EXPECT_EQ(output.open("/nonexistent-directory/out.lst", "w"), nullptr);
  EXPECT_FALSE(output.isOpen());
  EXPECT_FALSE(output.commit());
}

// Each case runs in a child, which ends with F007 (status 2) or with 0 when the order
// of reading and naming finds nothing in common.
TEST_F(OutputFileDeathTest, OutputNamingAFileReadIsRefusedInEitherOrder) {
  ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kLines |
                          ScopedManagers::kOptions);
  ScratchDirectory directory;
  const std::string source = directory / "s.asm";
  const std::string other = directory / "other.o";
  const std::string link = directory / "link.asm";
  std::ofstream(source) << " nop\n";
  ASSERT_EQ(symlink("s.asm", link.c_str()), 0);
  struct Case {
    const char* name;
    std::function<void()> steps;
    bool refused;
  };
  const Case cases[] = {
      {"named, then read",
       [&] {
         claimOutputPath(OutputRole::kObject, source.c_str(), "--output");
         guardInputPath(source.c_str());
       },
       true},
      {"read, then named",
       [&] {
         guardInputPath(source.c_str());
         claimOutputPath(OutputRole::kList, source.c_str(), "--list-file");
       },
       true},
      {"read through a link, then opened",
       [&] {
         guardInputPath(link.c_str());
         OutputFile output(OutputRole::kError);
         output.open(source.c_str(), "w");
       },
       true},
      {"read by descriptor",
       [&] {
         claimOutputPath(OutputRole::kDependency, link.c_str(), "--dep-file");
         int descriptor = ::open(source.c_str(), O_RDONLY);
         guardInputFile(descriptor);
       },
       true},
      {"different files",
       [&] {
         guardInputPath(source.c_str());
         claimOutputPath(OutputRole::kObject, other.c_str(), "--output");
         OutputFile output(OutputRole::kObject);
         output.open(other.c_str(), "w");
         output.commit();
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(
        {
          resetOutputFiles();
          c.steps();
          std::exit(0);
        },
        testing::ExitedWithCode(c.refused ? 2 : 0),
        c.refused ? "vekt F007: output file \".*\" is a file this run reads" : "");
    EXPECT_EQ(contents(source), " nop\n");
  }
}

// Two outputs on one file: the later would overwrite the earlier. Each case claims the
// object file first and a second output after it, in a child that ends with F007
// (status 2) or with 0.
TEST_F(OutputFileDeathTest, TwoOutputsOnOneFileAreRefused) {
  ScopedManagers managers(ScopedManagers::kStrings | ScopedManagers::kErrors | ScopedManagers::kLines |
                          ScopedManagers::kOptions);
  ScratchDirectory directory;
  const std::string existing = directory / "x.o";
  const std::string hardLink = directory / "hard.o";
  const std::string linkedFolder = directory / "here";
  std::ofstream(existing) << "earlier";
  ASSERT_EQ(link(existing.c_str(), hardLink.c_str()), 0);
  ASSERT_EQ(symlink(".", linkedFolder.c_str()), 0);
  // Links that lead to no file yet: one to new.o, a chain of two to it, and one
  // through the linked folder whose text counts from that folder.
  ASSERT_EQ(symlink("new.o", (directory / "to-new").c_str()), 0);
  ASSERT_EQ(symlink("to-new", (directory / "to-to-new").c_str()), 0);
  ASSERT_EQ(symlink("./new.o", (directory / "via").c_str()), 0);
  ASSERT_EQ(symlink("missing.o", (directory / "to-missing").c_str()), 0);
  struct Case {
    const char* name;
    std::string object;
    OutputRole role;
    std::string second;
    const char* option;
    const char* expected;  // the message, or null when both may be written
  };
  const Case cases[] = {
      {"existing file, same name", existing, OutputRole::kList, existing, "--list-file",
       "output file \".*/x.o\" is named by both --output and --list-file"},
      {"existing file, hard link", existing, OutputRole::kError, hardLink, "--error-file",
       "output file \".*/hard.o\" is named by both --output and --error-file"},
      {"new file, other spelling", directory / "new.o", OutputRole::kDependency, directory / "here/./new.o",
       "--dep-file", "output file \".*/here/./new.o\" is named by both --output and --dep-file"},
      {"new file, different names", directory / "new.o", OutputRole::kList, directory / "new.lst", "--list-file",
       nullptr},
      {"a device takes both", "/dev/null", OutputRole::kError, "/dev/null", "--error-file", nullptr},
      {"new file, link to it", directory / "new.o", OutputRole::kList, directory / "to-new", "--list-file",
       "output file \".*/to-new\" is named by both --output and --list-file"},
      {"new file, chain of links to it", directory / "new.o", OutputRole::kError, directory / "to-to-new",
       "--error-file", "output file \".*/to-to-new\" is named by both --output and --error-file"},
      {"link first, new file second", directory / "to-to-new", OutputRole::kDependency, directory / "new.o",
       "--dep-file", "output file \".*/new.o\" is named by both --output and --dep-file"},
      {"two links, one end", directory / "here/via", OutputRole::kList, directory / "to-to-new", "--list-file",
       "output file \".*/to-to-new\" is named by both --output and --list-file"},
      {"links to different new files", directory / "to-new", OutputRole::kList, directory / "to-missing",
       "--list-file", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(
        {
          resetOutputFiles();
          claimOutputPath(OutputRole::kObject, c.object.c_str(), "--output");
          claimOutputPath(c.role, c.second.c_str(), c.option);
          std::exit(0);
        },
        testing::ExitedWithCode(c.expected ? 2 : 0), c.expected ? c.expected : "");
    // Refused before anything is written: the earlier file stays.
    EXPECT_EQ(contents(existing), "earlier");
  }
}

}  // namespace
