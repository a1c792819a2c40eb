#pragma once

namespace carconv {

// The front end: parses the command line, runs the command and turns errors into one line on
// stderr. Returns the process exit status: 0 success, 1 failure, 2 usage error.
int RunCommandLine(int argc, char** argv);

}  // namespace carconv
