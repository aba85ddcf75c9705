#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "util/OutputFile.h"
#include "util/interrupt.h"

namespace {

bool exists(const std::string& name) { return access(name.c_str(), F_OK) == 0; }

// Each case runs in a child process, since it ends the process.
TEST(InterruptTest, OutputFilesGoOnlyAfterInterruptErrorsOrFatalExit) {
  enum class End { kInterrupt, kTerminate, kHangup, kErrors, kFatal, kClean };
  struct Case {
    const char* name;
    End end;
    bool keep;
    int status;
    bool objectKept;
    bool listKept;
  };
  const Case cases[] = {
      {"interrupt", End::kInterrupt, false, 1, false, false},
      {"interrupt with -k", End::kInterrupt, true, 1, true, true},
      {"terminate", End::kTerminate, false, 1, false, false},
      {"terminate with -k", End::kTerminate, true, 1, true, true},
      {"hangup", End::kHangup, false, 1, false, false},
      {"run with errors", End::kErrors, false, 1, false, true},
      {"run with errors and -k", End::kErrors, true, 1, true, true},
      {"fatal message", End::kFatal, false, 2, false, false},
      {"fatal message with -k", End::kFatal, true, 2, true, true},
      {"clean run", End::kClean, false, 0, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char pattern[] = "/tmp/vekt-interrupt-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string objectFile = std::string(pattern) + "/start.o";
    std::string listFile = std::string(pattern) + "/start.lst";
    std::ofstream(objectFile) << "object";
    std::ofstream(listFile) << "list";

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      installInterruptHandling();
      // The object file is the run's to replace as soon as it is named, a second naming
      // replacing the first; the list file counts once this run has written it.
      claimOutputPath(OutputRole::kObject, "/nonexistent/earlier.o", "--output");
      claimOutputPath(OutputRole::kObject, objectFile.c_str(), "--output");
      OutputFile list(OutputRole::kList);
      std::FILE* stream = list.open(listFile.c_str(), "w");
      if (!stream || std::fputs("list", stream) < 0 || !list.commit()) _exit(98);
      keepOutputFiles = c.keep;
      switch (c.end) {
        case End::kInterrupt:
          kill(getpid(), SIGINT);
          _exit(99);
        case End::kTerminate:
          kill(getpid(), SIGTERM);
          _exit(99);
        case End::kHangup:
          kill(getpid(), SIGHUP);
          _exit(99);
        case End::kErrors:
          errorsFound = true;
          std::exit(1);
        case End::kFatal:
          markFatalExit();
          std::exit(2);
        case End::kClean:
          std::exit(0);
      }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    EXPECT_EQ(exists(objectFile), c.objectKept);
    EXPECT_EQ(exists(listFile), c.listKept);
    unlink(objectFile.c_str());
    unlink(listFile.c_str());
    rmdir(pattern);
  }
}

TEST(InterruptTest, InterruptBeforeAnyFileWasOpenedEndsWithStatusOne) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    installInterruptHandling();
    raise(SIGINT);
    _exit(99);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST(InterruptTest, HangupIgnoredByTheCallerStaysIgnored) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGHUP, SIG_IGN);  // as nohup leaves it
    installInterruptHandling();
    raise(SIGHUP);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

class CountingHandler : public EventHandler {
 public:
  void handleSignal(int signalNumber) override {
    ++calls;
    last = signalNumber;
  }
  int calls = 0;
  int last = -1;
};

TEST(InterruptTest, DispatcherForwardsOnlyRegisteredNumbers) {
  CountingHandler handler;
  SignalDispatcher& signals = SignalDispatcher::instance();
  signals.setHandler(SIGUSR1, &handler);
  struct Case {
    int number;
    int calls;  // after this dispatch
  };
  const Case cases[] = {{SIGUSR1, 1}, {-1, 1}, {23, 1}, {1000, 1}, {SIGUSR2, 1}, {SIGUSR1, 2}};
  for (const Case& c : cases) {
    SignalDispatcher::dispatch(c.number);
    EXPECT_EQ(handler.calls, c.calls) << c.number;
  }
  EXPECT_EQ(handler.last, SIGUSR1);
  signals.setHandler(SIGUSR1, nullptr);
}

}  // namespace
