#pragma once

// The user's own folders on POSIX systems: the home folder and the XDG base directories. None of
// them is ever taken relative to the current directory.

#include <string>

namespace carconv {

#ifndef _WIN32
// $HOME when it holds an absolute path, else the home directory the password database gives the
// real user. Throws CarconvError when neither names an absolute path.
std::string HomeDirectory();

// $`variable` when it holds an absolute path (a relative one is ignored, as the XDG base
// directory rules ask), else `belowHome` in HomeDirectory().
std::string UserFolder(const char* variable, const char* belowHome);
#endif

}  // namespace carconv
