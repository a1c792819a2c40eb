#include "app/windows_command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "app/command_line.h"
#include "files/errors.h"
#include "platform/interruption.h"
#include "platform/wide_text.h"

namespace carconv {

namespace {

struct LocalFreer {
    void operator()(wchar_t** p) const { LocalFree(p); }
};

// Switches the console to UTF-8 output and to terminal sequences (the search progress line uses
// them) and restores what it found when it goes.
class ConsoleSettings {
  public:
    ConsoleSettings() : outputCodePage_(GetConsoleOutputCP()) {
        if (outputCodePage_ != 0)
            SetConsoleOutputCP(CP_UTF8);
        error_ = GetStdHandle(STD_ERROR_HANDLE);
        if (error_ != nullptr && error_ != INVALID_HANDLE_VALUE &&
            GetConsoleMode(error_, &errorMode_)) {
            restoreMode_ = SetConsoleMode(
                error_, errorMode_ | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    }
    ~ConsoleSettings() {
        if (restoreMode_)
            SetConsoleMode(error_, errorMode_);
        if (outputCodePage_ != 0)
            SetConsoleOutputCP(outputCodePage_);
    }
    ConsoleSettings(const ConsoleSettings&) = delete;
    ConsoleSettings& operator=(const ConsoleSettings&) = delete;

  private:
    UINT outputCodePage_;  // 0 without a console
    HANDLE error_ = nullptr;
    DWORD errorMode_ = 0;
    bool restoreMode_ = false;
};

std::string ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return "carconv";
        if (length < path.size()) {
            path.resize(length);
            return NarrowToUtf8(path);
        }
        if (path.size() >= 32768)
            return "carconv";
        path.resize(path.size() * 2);
    }
}

}  // namespace

std::vector<std::string> Utf8Arguments(const std::wstring& commandLine) {
    int count = 0;
    std::unique_ptr<wchar_t*, LocalFreer> argv(CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argv)
        throw CarconvError("cannot split the command line");
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(NarrowToUtf8(argv.get()[i]));
    return arguments;
}

int RunWindowsCommandLine(const std::string& applicationName) {
    InstallInterruptionHandling();
    ConsoleSettings console;
    std::vector<std::string> arguments;
    try {
        arguments = Utf8Arguments(GetCommandLineW());
    } catch (const CarconvError& e) {
        std::fputs((std::string("carconv: error: ") + e.what() + "\n").c_str(), stderr);
        return 1;
    }
    if (arguments.empty())
        arguments.emplace_back();
    arguments[0] = applicationName.empty() ? ExecutablePath() : applicationName;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return RunCommandLine(static_cast<int>(arguments.size()), argv.data());
}

}  // namespace carconv
