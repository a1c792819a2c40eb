#pragma once

// The Windows entry of the front end: arguments arrive as UTF-16 and are handed on as UTF-8;
// console output is UTF-8.

#ifdef _WIN32

#include <string>
#include <vector>

namespace carconv {

// Splits a UTF-16 command line the way Windows programs do (CommandLineToArgvW) and converts each
// argument to UTF-8. Throws when the line cannot be split.
std::vector<std::string> Utf8Arguments(const std::wstring& commandLine);

// Runs RunCommandLine on this process's command line. `argv[0]` is replaced by
// `applicationName` (the name the settings are kept under), or by the executable's own path when
// it is empty. While it runs, the console (if any) takes UTF-8 output and terminal sequences; its
// previous settings are restored afterwards. Installs the handling of interruptions first.
int RunWindowsCommandLine(const std::string& applicationName);

}  // namespace carconv

#endif
