#pragma once

// The member factory: turns an unpacked archive member into a file object of the class its name
// (and for some names, its content) calls for, loaded unless it is a plain GameFile.

#include <memory>
#include <string>

#include "files/game_file.h"

namespace carconv {

std::unique_ptr<GameFile> CreateMemberFile(std::string path);

}  // namespace carconv
