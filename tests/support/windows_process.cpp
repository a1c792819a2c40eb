#include "support/windows_process.h"

#ifdef _WIN32

#include <filesystem>

namespace carconv::test {

namespace {

std::wstring BesideThisProgram(const std::wstring& name) {
    wchar_t self[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    return (std::filesystem::path(std::wstring(self, length)).parent_path() / name).wstring();
}

std::string Text(const std::string& path) {
    Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

WindowsProcess::WindowsProcess(const std::wstring& program, const std::wstring& arguments) {
    const std::wstring exe = BesideThisProgram(program);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto create = [&](const std::string& path) {
        return CreateFileW(Native(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE out = create(io_.File("out"));
    HANDLE err = create(io_.File("err"));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        process_ = process.hProcess;
    }
    CloseHandle(out);
    CloseHandle(err);
}

WindowsProcess::~WindowsProcess() {
    if (process_ == nullptr)
        return;
    if (!exitCode_) {
        TerminateProcess(process_, 0xdead);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
}

std::optional<DWORD> WindowsProcess::Wait(DWORD milliseconds) {
    if (!exitCode_ && process_ != nullptr &&
        WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        exitCode_ = code;
    }
    return exitCode_;
}

std::string WindowsProcess::Out() const {
    return Text(io_.File("out"));
}

std::string WindowsProcess::Err() const {
    return Text(io_.File("err"));
}

ProcessResult RunProgram(const std::wstring& program, const std::wstring& arguments) {
    WindowsProcess process(program, arguments);
    ProcessResult result;
    std::optional<DWORD> code = process.Wait(60000);
    result.exitCode = code ? *code : 0xdeadu;
    result.out = process.Out();
    result.err = process.Err();
    return result;
}

}  // namespace carconv::test

#endif
