#include "files/member_factory.h"

namespace carconv {

std::unique_ptr<GameFile> CreateMemberFile(std::string path) {
    // Members are carried unread until the typed formats take them over.
    return std::make_unique<GameFile>(std::move(path));
}

}  // namespace carconv
