#include "fedata/fedata_read.h"

#include <algorithm>

namespace carconv {

std::string ReadFedataString(ByteReader& reader, std::int32_t offset) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) >= reader.Size())
        return {};
    reader.Seek(static_cast<std::size_t>(offset));
    ByteSpan window = reader.Take(std::min(kFedataStringWindow, reader.Remaining()));
    auto end = std::find(window.begin(), window.end(), std::uint8_t{0});
    return std::string(window.begin(), end);
}

}  // namespace carconv
