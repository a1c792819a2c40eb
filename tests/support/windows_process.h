#pragma once

// Starting the suite's Windows programs (carconv.exe, carconvw.exe, which lie beside the test
// program) and watching them, for tests of the executables under Windows or Wine.

#ifdef _WIN32

#include <windows.h>

#include <optional>
#include <string>

#include "support/test_util.h"

namespace carconv::test {

class WindowsProcess {
  public:
    // Starts `program` with `arguments` (a UTF-16 command-line tail), its standard output and
    // errors going to files. The environment is this process's.
    WindowsProcess(const std::wstring& program, const std::wstring& arguments);
    // Ends the program if it still runs.
    ~WindowsProcess();
    WindowsProcess(const WindowsProcess&) = delete;
    WindowsProcess& operator=(const WindowsProcess&) = delete;

    bool Started() const { return process_ != nullptr; }
    // The exit code once the program has ended, or nothing after `milliseconds`.
    std::optional<DWORD> Wait(DWORD milliseconds);
    std::string Out() const;
    std::string Err() const;

  private:
    ScratchDir io_;
    HANDLE process_ = nullptr;
    std::optional<DWORD> exitCode_;
};

struct ProcessResult {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

// Runs `program` to its end (at most a minute; 0xdead when it cannot be started or does not end).
ProcessResult RunProgram(const std::wstring& program, const std::wstring& arguments);

}  // namespace carconv::test

#endif
