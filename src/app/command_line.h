#pragma once

#include <exception>
#include <string>

namespace carconv {

// The text of an error as the front end shows it, after "carconv: error: " on the command line
// and in the dialog-driven run's message box.
std::string ErrorText(std::exception_ptr error);

// The front end: parses the command line, runs the command and turns errors into one line on
// stderr. Returns the process exit status: 0 success, 1 failure, 2 usage error, 128 + the signal
// for an interrupted run (after "carconv: interrupted" on stderr).
int RunCommandLine(int argc, char** argv);

}  // namespace carconv
