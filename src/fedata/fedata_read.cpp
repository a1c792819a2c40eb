#include "fedata/fedata_read.h"

#include <algorithm>
#include <cstring>

namespace carconv {

ByteSpan PadToHeader(ByteSpan bytes, std::size_t headerSize, Bytes& padded) {
    if (bytes.size() >= headerSize)
        return bytes;
    padded.assign(bytes.begin(), bytes.end());
    padded.resize(headerSize, 0);
    return padded;
}

std::string ReadFedataString(ByteReader& reader, std::int32_t offset) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) >= reader.Size())
        return {};
    reader.Seek(static_cast<std::size_t>(offset));
    ByteSpan window = reader.Take(std::min(kFedataStringWindow, reader.Remaining()));
    const auto* text = reinterpret_cast<const char*>(window.data());
    const auto* nul = static_cast<const char*>(std::memchr(text, 0, window.size()));
    return std::string(text, nul != nullptr ? static_cast<std::size_t>(nul - text) : window.size());
}

}  // namespace carconv
