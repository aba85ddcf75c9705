// Interrupt handling and the exit-time clean-up of the output files (util/OutputFile):
// the object file goes after an interrupt, a run with errors or a fatal exit; the
// list file after an interrupt or a fatal exit; unfinished temporary files always;
// no finished output with --keep-output-files. SIGTERM and SIGHUP end the run as
// an interrupt does: build tools and terminals send them.
#pragma once

#include <csignal>

// Set by the run's exit code when errors were recorded.
extern volatile std::sig_atomic_t errorsFound;
// Set by the option processing for --keep-output-files.
extern volatile std::sig_atomic_t keepOutputFiles;

// Receives the signals that the dispatcher forwards. handleSignal runs inside the
// signal handler: only async-signal-safe work belongs there.
class EventHandler {
 public:
  virtual ~EventHandler() = default;
  virtual void handleSignal(int signalNumber) = 0;
};

// Ends the program with status 1 on an interrupt, after removing the output files
// itself (exit-time handlers cannot run from a signal handler).
class SIGINTHandler : public EventHandler {
 public:
  void handleSignal(int signalNumber) override;
  static bool interrupted();
};

// One handler object per signal number 0..22.
class SignalDispatcher {
 public:
  static constexpr int kSignalCount = 23;
  static SignalDispatcher& instance();
  void setHandler(int signalNumber, EventHandler* handler);
  // Forwards to the handler registered for the number; other numbers are ignored.
  static void dispatch(int signalNumber);

 private:
  SignalDispatcher() = default;
  EventHandler* handlers_[kSignalCount] = {};
};

// The first act of the start-up: registers the exit-time removal, the handler of
// SIGINT, SIGTERM and SIGHUP, and the out-of-memory handler of operator new; SIGPIPE
// is ignored, so that a write to a pipe without a reader fails with EPIPE.
// Calling it again changes nothing.
void installInterruptHandling();

// Called by the error handler before it ends the program after an F or S message,
// which never reaches the run's exit code.
void markFatalExit();

// The end of a run in a process that may start another: what the exit would do with
// this run's outputs is done now, and the next run starts without names or flags.
void settleRunOutputs();
