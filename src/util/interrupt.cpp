#include "util/interrupt.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "util/c-memory.h"

volatile std::sig_atomic_t errorsFound = 0;
volatile std::sig_atomic_t keepOutputFiles = 0;

namespace {

volatile std::sig_atomic_t interruptedFlag = 0;
volatile std::sig_atomic_t fatalExitFlag = 0;

// The handler reads the names while the main program may be replacing them: a
// lock-free atomic pointer is read whole, and a replaced copy is freed only after
// the new one is published.
static_assert(std::atomic<char*>::is_always_lock_free);
std::atomic<char*> objectFileName{nullptr};
std::atomic<char*> listFileName{nullptr};

SIGINTHandler sigintHandler;
SignalDispatcher* dispatcher = nullptr;
bool removalRegistered = false;

void recordName(std::atomic<char*>& slot, const char* name) {
  char* copy = nullptr;
  if (name) {
    size_t bytes = std::strlen(name) + 1;
    copy = static_cast<char*>(xcalloc(bytes, 1));
    std::memcpy(copy, name, bytes);
  }
  std::free(slot.exchange(copy));
}

void removeRecordedFiles(bool withListFile) {
  if (const char* name = objectFileName.load()) unlink(name);
  if (withListFile) {
    if (const char* name = listFileName.load()) unlink(name);
  }
}

void removeOutputFilesAtExit() {
  bool interrupted = interruptedFlag != 0;
  bool fatal = fatalExitFlag != 0;
  if (!interrupted && !fatal && !errorsFound) return;
  if (keepOutputFiles) return;
  removeRecordedFiles(interrupted || fatal);
}

void onSignal(int signalNumber) { SignalDispatcher::dispatch(signalNumber); }

}  // namespace

void SIGINTHandler::handleSignal(int) {
  interruptedFlag = 1;
  // _exit skips the exit-time handlers, and exit is not safe here: remove the
  // files now, with unlink only.
  if (!keepOutputFiles) removeRecordedFiles(true);
  _exit(1);
}

bool SIGINTHandler::interrupted() { return interruptedFlag != 0; }

SignalDispatcher& SignalDispatcher::instance() {
  if (!dispatcher) dispatcher = new SignalDispatcher();
  return *dispatcher;
}

void SignalDispatcher::setHandler(int signalNumber, EventHandler* handler) {
  if (signalNumber >= 0 && signalNumber < kSignalCount) handlers_[signalNumber] = handler;
}

void SignalDispatcher::dispatch(int signalNumber) {
  // Never creates the dispatcher: allocation is not safe inside a signal handler.
  if (!dispatcher || signalNumber < 0 || signalNumber >= kSignalCount) return;
  if (EventHandler* handler = dispatcher->handlers_[signalNumber]) handler->handleSignal(signalNumber);
}

void installInterruptHandling() {
  if (!removalRegistered) {
    std::atexit(removeOutputFilesAtExit);
    removalRegistered = true;
  }
  SignalDispatcher& signals = SignalDispatcher::instance();
  for (int number = 0; number < SignalDispatcher::kSignalCount; ++number) {
    signals.setHandler(number, nullptr);
  }
  signals.setHandler(SIGINT, &sigintHandler);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

void recordObjectFileName(const char* name) { recordName(objectFileName, name); }

void recordListFileName(const char* name) { recordName(listFileName, name); }

void markFatalExit() { fatalExitFlag = 1; }

void settleRunOutputs() {
  removeOutputFilesAtExit();
  recordName(objectFileName, nullptr);
  recordName(listFileName, nullptr);
  errorsFound = 0;
  keepOutputFiles = 0;
}
