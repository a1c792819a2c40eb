#include "files/game_file.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

GameFile::GameFile(std::string path) : path(std::move(path)) {}

GameFile::~GameFile() = default;

int GameFile::Reset() {
    return 1;
}

int GameFile::Load() {
    // ReadWholeFile refuses files that do not fit the 32-bit length.
    std::int64_t size = FileSize(path);
    if (size > INT32_MAX)
        throw IoError(path, "file is too large (2 GiB or more)");
    length = static_cast<std::int32_t>(size);
    return 1;
}

int GameFile::Parse(ByteSpan bytes) {
    length = LengthOf(bytes);
    return 1;
}

Bytes GameFile::ReadWithin(std::size_t limit, const char* what) const {
    return ReadWithin(FileRange{path}, limit, what);
}

Bytes GameFile::ReadWithin(const FileRange& source, std::size_t limit, const char* what) const {
    const ReadOnlyFile in(source);
    Bytes bytes = in.ReadAt(0, static_cast<std::size_t>(std::min<std::int64_t>(
                                   static_cast<std::int64_t>(limit) + 1, in.Size())));
    if (bytes.size() > limit)
        RefuseLargerThan(
            std::max<std::uint64_t>(static_cast<std::uint64_t>(in.Size()), bytes.size()), limit,
            what);
    return bytes;
}

void GameFile::RefuseLargerThan(std::uint64_t size, std::size_t limit, const char* what) const {
    if (size > limit) {
        throw FormatError(path, fmt::format("{} of {} bytes is larger than the limit of {} bytes",
                                            what, size, limit));
    }
}

std::int32_t GameFile::LengthOf(ByteSpan bytes) const {
    if (bytes.size() > INT32_MAX)
        throw IoError(path, "file is too large (2 GiB or more)");
    return static_cast<std::int32_t>(bytes.size());
}

int GameFile::Save() {
    return SaveAs(path);
}

int GameFile::SaveAs(std::string /*target*/) {
    return 1;
}

std::string GameFile::GetFileName() const {
    std::size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace carconv
