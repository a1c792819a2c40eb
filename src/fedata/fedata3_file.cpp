#include "fedata/fedata3_file.h"

#include <algorithm>
#include <utility>

#include "fedata/fedata4_file.h"
#include "fedata/fedata_read.h"
#include "files/byte_reader.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

// Where the conversion puts the empty string that the version-4 layout adds; version-3 strings
// from this index on move up one slot.
constexpr int kInsertedStringSlot = 17;
static_assert(Fedata3File::kStringCount + 1 == Fedata4File::kStringCount);

// The version-4 flag word bits that the three version-3 flags set.
constexpr std::uint16_t kFlag6Bit = 1;
constexpr std::uint16_t kFlag20Bit = 2;
constexpr std::uint16_t kFlag16Bit = 16;

// The value the conversion puts into each of the four fields from version-4 offset 926 on.
constexpr std::int32_t kConvertedValue926 = 100;

// Positions inside the version-4 byteFields: each version-3 byte value four times, then their
// mean four times.
constexpr std::size_t kRepeatCount = 4;
constexpr std::size_t kMeanFieldsStart = Fedata3File::kByteValueCount * kRepeatCount;
static_assert(kMeanFieldsStart + kRepeatCount < Fedata4File::kByteFieldCount);

}  // namespace

Fedata3File::Fedata3File(std::string path) : GameFile(std::move(path)) {
    typeTag = "FEDATA3";
}

int Fedata3File::Reset() {
    header_ = Header{};
    stringOffsets_.fill(0);
    return 1;
}

int Fedata3File::Load() {
    return LoadFrom(FileRange{path});
}

int Fedata3File::LoadFrom(const FileRange& source) {
    return Parse(ReadWithin(source, kMaxFedataSize, "front-end file"));
}

int Fedata3File::Parse(ByteSpan bytes) {
    RefuseLargerThan(bytes.size(), kMaxFedataSize, "front-end file");
    const std::int32_t size = LengthOf(bytes);
    Bytes padded;
    ByteReader reader(PadToHeader(bytes, kHeaderSize, padded), path);

    Header header;
    ReadFedataBlock(reader, header.leadingBytes);
    header.field4 = reader.U16le();
    header.flag6 = reader.I16le();
    header.field8 = reader.U16le();
    header.value10 = reader.I16le();
    header.field12 = reader.U32le();
    header.flag16 = reader.I16le();
    header.field18 = reader.U16le();
    header.flag20 = reader.I16le();
    header.field22 = reader.U16le();
    header.value24 = reader.I16le();
    ReadFedataBlock(reader, header.block26);
    for (std::int8_t& value : header.byteValues)
        value = reader.I8();
    ReadFedataBlock(reader, header.block44);
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
    return 1;
}

int Fedata3File::SaveAs(std::string /*target*/) {
    return 1;
}

const std::string& Fedata3File::GetString(int index) const {
    return strings_.at(index);
}

int Fedata3File::ConvertToFedata4(std::string target) const {
    ToFedata4(std::move(target))->Save();
    return 1;
}

std::unique_ptr<Fedata4File> Fedata3File::ToFedata4(std::string target) const {
    auto made = std::make_unique<Fedata4File>(std::move(target));
    Fedata4File& converted = *made;
    converted.Reset();

    Fedata4File::Header& out = converted.GetHeader();
    out.fedata3Bytes = header_.leadingBytes;
    out.value798 = header_.value24;
    std::uint16_t flags = 0;
    if (header_.flag6 == 1)
        flags |= kFlag6Bit;
    if (header_.flag20 == 1)
        flags |= kFlag20Bit;
    if (header_.flag16 == 1)
        flags |= kFlag16Bit;
    out.flagWord = flags;
    // Widened first, so 32767 becomes 32768.
    out.value898 = std::int32_t{header_.value10} + 1;

    int sum = 0;
    for (std::size_t i = 0; i < kByteValueCount; ++i) {
        for (std::size_t k = 0; k < kRepeatCount; ++k) {
            out.byteFields[i * kRepeatCount + k] = header_.byteValues[i];
        }
        sum += header_.byteValues[i];
    }
    // Integer division truncates toward zero; the mean of signed bytes is a signed byte.
    const auto mean = static_cast<std::int8_t>(sum / static_cast<int>(kByteValueCount));
    for (std::size_t k = 0; k < kRepeatCount; ++k)
        out.byteFields[kMeanFieldsStart + k] = mean;

    out.value926 = kConvertedValue926;
    out.value930 = kConvertedValue926;
    out.value934 = kConvertedValue926;
    out.value938 = kConvertedValue926;

    for (int i = 0; i < kStringCount; ++i) {
        converted.SetString(i < kInsertedStringSlot ? i : i + 1, strings_[i]);
    }
    converted.SetString(kInsertedStringSlot, std::string());
    return made;
}

}  // namespace carconv
