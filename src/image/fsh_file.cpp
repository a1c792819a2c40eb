#include "image/fsh_file.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "files/byte_reader.h"
#include "files/errors.h"
#include "files/safe_name.h"
#include "files/warnings.h"
#include "platform/file_system.h"
#include "platform/interruption.h"

namespace carconv {

namespace {

struct DirectoryRecord {
    std::string name;
    std::size_t offset;
    std::size_t size;
};

// Reads and checks the whole directory; nothing is written before it has passed.
std::vector<DirectoryRecord> ReadDirectory(ByteSpan bytes, const std::string& file) {
    if (bytes.size() < FshFile::kEntryCountOffset + 4) {
        throw FormatError(file, fmt::format("file of {} bytes is too short to hold an entry count",
                                            bytes.size()));
    }
    ByteReader reader(bytes, file);
    reader.Seek(FshFile::kEntryCountOffset);
    const std::int32_t count = reader.I32le();
    if (count < 0) {
        throw FormatError(file, FshFile::kEntryCountOffset,
                          fmt::format("negative entry count {}", count));
    }
    const std::size_t recordRoom =
        bytes.size() >= FshFile::kDirectoryOffset
            ? (bytes.size() - FshFile::kDirectoryOffset) / FshFile::kRecordSize
            : 0;
    if (static_cast<std::size_t>(count) > recordRoom) {
        throw FormatError(file, FshFile::kEntryCountOffset,
                          fmt::format("entry count {} needs {} bytes of header and directory, "
                                      "the file holds {}",
                                      count,
                                      FshFile::kDirectoryOffset +
                                          static_cast<std::uint64_t>(count) * FshFile::kRecordSize,
                                      bytes.size()));
    }

    std::vector<DirectoryRecord> records;
    records.reserve(static_cast<std::size_t>(count));
    std::size_t previousOffset = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t recordStart =
            FshFile::kDirectoryOffset + static_cast<std::size_t>(i) * FshFile::kRecordSize;
        reader.Seek(recordStart);
        ByteSpan rawName = reader.Take(FshFile::kNameSize);
        const std::string raw(rawName.begin(), rawName.end());
        const std::string name = raw.substr(0, raw.find('\0'));
        if (!IsSafeFileName(name)) {
            throw FormatError(file, recordStart,
                              fmt::format("entry {} has a name that is unsafe as a file name: "
                                          "\"{}\"",
                                          i, PrintableName(raw)));
        }
        const std::int32_t offset = reader.I32le();
        if (offset < 0 || static_cast<std::size_t>(offset) > bytes.size()) {
            throw FormatError(file, recordStart + FshFile::kRecordOffsetField,
                              fmt::format("entry {} (\"{}\") starts at {}, outside the file of {} "
                                          "bytes",
                                          i, PrintableName(name), offset, bytes.size()));
        }
        if (i > 0 && static_cast<std::size_t>(offset) <= previousOffset) {
            throw FormatError(file, recordStart + FshFile::kRecordOffsetField,
                              fmt::format("entry {} (\"{}\") starts at {}, not after entry {} at "
                                          "{}",
                                          i, PrintableName(name), offset, i - 1, previousOffset));
        }
        if (i > 0)
            records.back().size = static_cast<std::size_t>(offset) - previousOffset;
        records.push_back({name, static_cast<std::size_t>(offset), 0});
        previousOffset = static_cast<std::size_t>(offset);
    }
    if (!records.empty())
        records.back().size = bytes.size() - records.back().offset;
    return records;
}

}  // namespace

FshFile::FshFile(std::string path, std::shared_ptr<UnpackBudget> budget)
    : GameFile(std::move(path)), budget_(std::move(budget)) {
    typeTag = "FSH";
}

// Images go first (members are destroyed in reverse order), then the directory they were read
// from.
FshFile::~FshFile() = default;

std::string FshFile::WorkingDirectoryPath() const {
    return workingDirectory_ ? workingDirectory_->Path() : std::string();
}

int FshFile::Load() {
    return Unpack(ReadWholeFile(path), true);
}

int FshFile::Parse(ByteSpan bytes) {
    return Unpack(bytes, false);
}

int FshFile::Unpack(ByteSpan bytes, bool toDisk) {
    const std::int32_t size = LengthOf(bytes);
    const std::vector<DirectoryRecord> records = ReadDirectory(bytes, path);
    std::shared_ptr<UnpackBudget> budget = UnpackBudget::ForContainer(budget_, path, bytes.size());

    // A failed first Load leaves no directory behind: the fresh one is removed with `fresh`.
    std::unique_ptr<WorkingDirectory> fresh;
    if (toDisk && !workingDirectory_)
        fresh = std::make_unique<WorkingDirectory>(GetFileName(), path);
    const std::string directory = !toDisk ? std::string()
                                  : fresh ? fresh->Path()
                                          : workingDirectory_->Path();

    std::vector<std::unique_ptr<FshImage>> loaded;
    loaded.reserve(records.size());
    for (const DirectoryRecord& record : records) {
        ThrowIfStopRequested();
        const ByteSpan entry = bytes.subspan(record.offset, record.size);
        budget->Charge(record.size);
        std::string imagePath = JoinPath(toDisk ? directory : path, record.name);
        if (toDisk)
            WriteFileAtomically(imagePath, entry);
        auto image = std::make_unique<FshImage>(std::move(imagePath));
        image->Parse(entry);
        loaded.push_back(std::move(image));
    }

    if (fresh)
        workingDirectory_ = std::move(fresh);
    for (std::size_t i = 0; i < records.size(); ++i) {
        images.Add(*loaded[i]);
        entries_.push_back({records[i].name, static_cast<std::int32_t>(records[i].offset),
                            static_cast<std::int32_t>(records[i].size), loaded[i].get()});
        ownedImages_.push_back(std::move(loaded[i]));
    }
    length = size;
    return 1;
}

std::unique_ptr<GameFile> LoadCarriedPictureArchive(const std::string& path) {
    auto pictures = std::make_unique<FshFile>(path);
    try {
        pictures->Load();
        return pictures;
    } catch (const FormatError& e) {
        ReportWarning(PrintableName(pictures->GetFileName()) + ": carried as it is, although it is not a valid " +
                      "picture archive: " + e.what());
    }
    // Released first: it removes whatever it had unpacked.
    pictures.reset();
    auto carried = std::make_unique<GameFile>(path);
    carried->Load();
    return carried;
}

}  // namespace carconv
