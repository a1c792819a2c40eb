#pragma once

#include <exception>
#include <string>

namespace carconv {

// The text of an error as the front end shows it, after "carconv: error: " on the command line
// and in the dialog-driven run's message box.
std::string ErrorText(std::exception_ptr error);

// The front end: parses the command line, runs the command and turns errors into one line on
// stderr. Returns the process exit status: 0 success, 1 failure, 2 usage error, 128 + the signal
// for an interrupted run (after "carconv: interrupted" on stderr). What the command printed is
// flushed before it returns: standard output that could not be written is a failure ("carconv:
// error: standard output: <reason>"), except a pipe whose reader has gone, which ends the
// command without a word and with 141, as SIGPIPE ends other programs.
int RunCommandLine(int argc, char** argv);

}  // namespace carconv
