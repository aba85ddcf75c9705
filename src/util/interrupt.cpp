#include "util/interrupt.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

#include "util/OutputFile.h"
#include "util/c-memory.h"

volatile std::sig_atomic_t errorsFound = 0;
volatile std::sig_atomic_t keepOutputFiles = 0;

namespace {

volatile std::sig_atomic_t interruptedFlag = 0;
volatile std::sig_atomic_t fatalExitFlag = 0;

SIGINTHandler sigintHandler;
SignalDispatcher* dispatcher = nullptr;
bool removalRegistered = false;

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void removeOutputFilesAtExit() {
  bool fatal = fatalExitFlag != 0;
  finishOutputsAtExit(fatal || errorsFound != 0, fatal, keepOutputFiles != 0);
}

void onSignal(int signalNumber) { SignalDispatcher::dispatch(signalNumber); }

}  // namespace

void SIGINTHandler::handleSignal(int) {
  interruptedFlag = 1;
  // _exit skips the exit-time handlers, and exit is not safe here: remove the
  // files now, with unlink only.
  removeOutputsOnSignal(keepOutputFiles != 0);
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
  resetOutputFiles();
  if (!removalRegistered) {
    std::atexit(removeOutputFilesAtExit);
    removalRegistered = true;
  }
  SignalDispatcher& signals = SignalDispatcher::instance();
  for (int number = 0; number < SignalDispatcher::kSignalCount; ++number) {
    signals.setHandler(number, nullptr);
  }
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onSignal;
  // A second signal waits until the first one has removed the files.
  sigemptyset(&action.sa_mask);
  for (int number : kEndingSignals) sigaddset(&action.sa_mask, number);
  for (int number : kEndingSignals) {
    // A hangup that the caller chose to ignore (nohup) stays ignored.
    struct sigaction previous;
    if (number == SIGHUP && sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
      continue;
    signals.setHandler(number, &sigintHandler);
    sigaction(number, &action, nullptr);
  }
  // A reader that went away is a write error of that output, reported and cleaned up
  // like any other, not an end without a word that leaves the object in place.
  struct sigaction ignore;
  std::memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  std::set_new_handler(mem_out_of_memory);
}

void markFatalExit() { fatalExitFlag = 1; }

void settleRunOutputs() {
  removeOutputFilesAtExit();
  resetOutputFiles();
  fatalExitFlag = 0;
  errorsFound = 0;
  keepOutputFiles = 0;
}
