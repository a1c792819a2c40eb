#pragma once

// Interruptions: Ctrl-C, SIGTERM and SIGHUP on POSIX systems; Ctrl-C, Ctrl-Break and the console
// window closing on Windows.
//
// An interruption asks the run to stop: long loops and the boundaries between stages call
// ThrowIfStopRequested, and the InterruptedError it throws unwinds through the usual clean-up
// (working directories and temporary files are removed by their owners' destructors). The front
// end then exits with 128 + the signal's number (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP).
// Should the run not get there within kStopGrace (it waits in a dialog, or in a system call), or
// a second interruption come, the process removes whatever is still registered for clean-up
// (platform/temporary_path.h) itself and ends with the same status.

#include <chrono>
#include <stdexcept>

namespace carconv {

// The signal numbers an interruption is reported with, on every platform: Ctrl-C and Ctrl-Break
// count as SIGINT, a console window closing as SIGHUP.
inline constexpr int kHangUpSignal = 1;
inline constexpr int kInterruptSignal = 2;
inline constexpr int kTerminateSignal = 15;

inline constexpr std::chrono::milliseconds kStopGrace{2000};

// The run stopped because it was interrupted. Not a CarconvError: nothing that handles failures
// may take it for one.
class InterruptedError : public std::runtime_error {
  public:
    explicit InterruptedError(int signal);
    int Signal() const { return signal_; }
    // The process exit status that reports it.
    int ExitStatus() const { return 128 + signal_; }

  private:
    int signal_;
};

// Asks the run to stop; the first request's signal is the one reported.
void RequestStop(int signal);
bool StopRequested();
// 0 when no stop was requested.
int StopSignal();
// Throws InterruptedError when a stop was requested.
void ThrowIfStopRequested();
// Forgets a stop request. For tests.
void ClearStopRequest();

// Removes everything registered for clean-up, for good, and ends the process with 128 + `signal`
// after one line "carconv: interrupted" on stderr. For the platform's interruption handling.
[[noreturn]] void EndInterruptedProcess(int signal);

// Writes `text` to the standard error stream directly, without the C library's buffer and lock.
void WriteToStandardError(const char* text);

// Installs the handling of interruptions for the whole process. Called once, first thing in
// main(), before any other thread starts: on POSIX systems it blocks the three signals in every
// thread and waits for them on a thread of its own (and ignores SIGPIPE, so that a closed pipe is
// a write error rather than a death without clean-up). A signal that was ignored when the process
// started is left ignored.
void InstallInterruptionHandling();

}  // namespace carconv
