#pragma once

#include <string>

namespace carconv {

// What `carconv --version` prints. The first line is "carconv VERSION", the release version the
// build was configured with, followed by " (commit DESCRIPTION)" when the program was built from
// a git checkout (`git describe --always --dirty` at build time); then a blank line and the
// copyright and licence.
std::string VersionText();

}  // namespace carconv
