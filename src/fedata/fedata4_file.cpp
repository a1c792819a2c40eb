#include "fedata/fedata4_file.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "fedata/fedata_read.h"
#include "files/byte_reader.h"
#include "platform/file_system.h"

namespace carconv {

Fedata4File::Fedata4File(std::string path) : GameFile(std::move(path)) {
    typeTag = "FEDATA4";
}

int Fedata4File::Reset() {
    header_ = Header{};
    header_.leadingBlock[0] = kFormatByte;
    header_.block902[kBlock902MarkOffset - kBlock902Offset] = kBlock902Mark;
    header_.block942[kStringCountMarkOffset - kBlock942Offset] = kStringCountMark;
    stringOffsets_.fill(0);
    return 1;
}

int Fedata4File::Load() {
    Parse(ReadWithin(kMaxFedataSize, "front-end file"));
    loadedFrom_ = path;
    return 1;
}

int Fedata4File::Parse(ByteSpan bytes) {
    RefuseLargerThan(bytes.size(), kMaxFedataSize, "front-end file");
    const std::int32_t size = LengthOf(bytes);
    Bytes padded;
    ByteReader reader(PadToHeader(bytes, kHeaderSize, padded), path);

    Header header;
    ReadFedataBlock(reader, header.leadingBlock);
    ReadFedataBlock(reader, header.fedata3Bytes);
    ReadFedataBlock(reader, header.block278);
    header.value798 = reader.I32le();
    ReadFedataBlock(reader, header.block802);
    header.flagWord = reader.U16le();
    ReadFedataBlock(reader, header.block892);
    header.value898 = reader.I32le();
    ReadFedataBlock(reader, header.block902);
    for (std::int8_t& field : header.byteFields)
        field = reader.I8();
    header.value926 = reader.I32le();
    header.value930 = reader.I32le();
    header.value934 = reader.I32le();
    header.value938 = reader.I32le();
    ReadFedataBlock(reader, header.block942);
    StringOffsets offsets{};
    for (std::int32_t& offset : offsets)
        offset = reader.I32le();

    Strings strings;
    for (int i = 0; i < kStringCount; ++i)
        strings[i] = ReadFedataString(reader, offsets[i]);

    header_ = header;
    stringOffsets_ = offsets;
    strings_ = std::move(strings);
    length = size;
    loadedFrom_.clear();
    return 1;
}

int Fedata4File::UpdateStringOffsets() {
    // SetString and Load keep every string within kFedataStringWindow bytes, so no offset comes
    // near the 32-bit limit.
    std::int32_t offset = static_cast<std::int32_t>(kHeaderSize);
    for (int i = 0; i < kStringCount; ++i) {
        stringOffsets_[i] = offset;
        offset += static_cast<std::int32_t>(strings_[i].size()) + 1;
    }
    return 1;
}

int Fedata4File::SaveAs(std::string target) {
    const Bytes bytes = Serialize();
    // A file that already holds these bytes is left alone (the header can be changed through
    // GetHeader unseen, so the file is asked rather than the object).
    if (target == path && target == loadedFrom_ && FileHolds(target, bytes))
        return 1;
    WriteFileAtomically(target, bytes);
    return 1;
}

Bytes Fedata4File::Serialize() {
    UpdateStringOffsets();
    ByteWriter writer;
    // The last string starts at its offset and ends with its NUL.
    writer.Reserve(static_cast<std::size_t>(stringOffsets_.back()) + strings_.back().size() + 1);
    writer.Append(header_.leadingBlock);
    writer.Append(header_.fedata3Bytes);
    writer.Append(header_.block278);
    writer.I32le(header_.value798);
    writer.Append(header_.block802);
    writer.U16le(header_.flagWord);
    writer.Append(header_.block892);
    writer.I32le(header_.value898);
    writer.Append(header_.block902);
    for (std::int8_t field : header_.byteFields)
        writer.U8(static_cast<std::uint8_t>(field));
    writer.I32le(header_.value926);
    writer.I32le(header_.value930);
    writer.I32le(header_.value934);
    writer.I32le(header_.value938);
    writer.Append(header_.block942);
    for (std::int32_t offset : stringOffsets_)
        writer.I32le(offset);
    for (const std::string& text : strings_) {
        writer.Append(text);
        writer.U8(0);
    }
    return writer.Release();
}

const std::string& Fedata4File::GetString(int index) const {
    return strings_.at(index);
}

void Fedata4File::SetString(int index, std::string value) {
    if (value.size() > kFedataStringWindow) {
        throw std::invalid_argument("front-end string " + std::to_string(index) +
                                    " is longer than " + std::to_string(kFedataStringWindow) +
                                    " bytes");
    }
    if (value.find('\0') != std::string::npos) {
        throw std::invalid_argument("front-end string " + std::to_string(index) +
                                    " holds a NUL byte");
    }
    strings_.at(index) = std::move(value);
}

}  // namespace carconv
