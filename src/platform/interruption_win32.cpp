// Interruptions on Windows: the console's Ctrl-C, Ctrl-Break and close events, taken by a console
// control handler, which the system runs on a thread of its own. A program without a console
// (carconvw.exe) receives none of them.

#include <windows.h>

#include <io.h>

#include <atomic>
#include <cstring>

#include "platform/interruption.h"

namespace carconv {

namespace {

// Set by a second event: the first handler then stops waiting for the run.
HANDLE hurry = nullptr;
std::atomic<bool> handling{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    int signal = 0;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            signal = kInterruptSignal;
            break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            signal = kHangUpSignal;
            break;
        default:
            return FALSE;
    }
    if (handling.exchange(true)) {
        // Returning would let the system end the process at once on a close event; the first
        // handler ends it once the clean-up is done.
        SetEvent(hurry);
        Sleep(INFINITE);
    }
    RequestStop(signal);
    // The system ends the process about five seconds after a close event: the grace period is
    // shorter than that.
    WaitForSingleObject(hurry, static_cast<DWORD>(kStopGrace.count()));
    EndInterruptedProcess(signal);
}

}  // namespace

void WriteToStandardError(const char* text) {
    _write(2, text, static_cast<unsigned>(std::strlen(text)));
}

void InstallInterruptionHandling() {
    hurry = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace carconv
