#include "image/fsh_file.h"

#include <algorithm>
#include <functional>
#include <utility>

#include <fmt/format.h>

#include "files/byte_reader.h"
#include "files/carried_file.h"
#include "files/errors.h"
#include "files/safe_name.h"
#include "files/warnings.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/read_only_file.h"

namespace carconv {

using DirectoryRecord = FshFile::DirectoryRecord;

namespace {

// The bytes of a file of `fileSize` bytes that ReadDirectory reads, given the first
// kDirectoryOffset of them: header and records, as many as the count claims and the file can hold.
std::size_t DirectoryExtent(ByteSpan head, std::uint64_t fileSize) {
    if (head.size() < FshFile::kEntryCountOffset + 4 || fileSize < FshFile::kDirectoryOffset)
        return head.size();
    const std::int32_t count = LoadI32le(head, FshFile::kEntryCountOffset);
    const std::uint64_t room = (fileSize - FshFile::kDirectoryOffset) / FshFile::kRecordSize;
    const std::uint64_t records = count < 0 ? 0 : std::min<std::uint64_t>(count, room);
    return static_cast<std::size_t>(FshFile::kDirectoryOffset + records * FshFile::kRecordSize);
}

// Reads and checks the whole directory of a file of `fileSize` bytes that begins with `bytes`
// (DirectoryExtent of them, or more); nothing is written before it has passed.
std::vector<DirectoryRecord> ReadDirectory(ByteSpan bytes, std::uint64_t fileSize,
                                           const std::string& file) {
    if (fileSize < FshFile::kEntryCountOffset + 4) {
        throw FormatError(
            file, fmt::format("file of {} bytes is too short to hold an entry count", fileSize));
    }
    ByteReader reader(bytes, file);
    reader.Seek(FshFile::kEntryCountOffset);
    const std::int32_t count = reader.I32le();
    if (count < 0) {
        throw FormatError(file, FshFile::kEntryCountOffset,
                          fmt::format("negative entry count {}", count));
    }
    const std::size_t recordRoom =
        fileSize >= FshFile::kDirectoryOffset
            ? static_cast<std::size_t>((fileSize - FshFile::kDirectoryOffset) /
                                       FshFile::kRecordSize)
            : 0;
    if (static_cast<std::size_t>(count) > recordRoom) {
        throw FormatError(file, FshFile::kEntryCountOffset,
                          fmt::format("entry count {} needs {} bytes of header and directory, "
                                      "the file holds {}",
                                      count,
                                      FshFile::kDirectoryOffset +
                                          static_cast<std::uint64_t>(count) * FshFile::kRecordSize,
                                      fileSize));
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
        if (offset < 0 || static_cast<std::uint64_t>(offset) > fileSize) {
            throw FormatError(file, recordStart + FshFile::kRecordOffsetField,
                              fmt::format("entry {} (\"{}\") starts at {}, outside the file of {} "
                                          "bytes",
                                          i, PrintableName(name), offset, fileSize));
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
        records.back().size = static_cast<std::size_t>(fileSize - records.back().offset);
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
    return Read(ReadOnlyFile(path), true);
}

int FshFile::LoadFrom(const FileRange& source) {
    return Read(ReadOnlyFile(source), false);
}

int FshFile::Read(const ReadOnlyFile& in, bool toDisk) {
    if (in.Size() > std::int64_t{INT32_MAX})
        throw IoError(path, "file is too large (2 GiB or more)");
    const std::uint64_t fileSize = static_cast<std::uint64_t>(in.Size());
    // The directory alone is read; each entry goes from the archive into its file in the kernel,
    // and its image reads what it needs from the archive.
    const Bytes head = in.ReadAt(0, kDirectoryOffset);
    const Bytes directory = in.ReadAt(0, DirectoryExtent(head, fileSize));
    return Unpack(ReadDirectory(directory, fileSize, path), fileSize, toDisk,
                  [&](const DirectoryRecord& record, FshImage& image) {
                      if (toDisk) {
                          AtomicFileWriter out(image.path);
                          out.AppendRange(in, static_cast<std::int64_t>(record.offset),
                                          static_cast<std::int64_t>(record.size));
                          out.Commit();
                      }
                      image.LoadFrom(in, static_cast<std::int64_t>(record.offset),
                                     static_cast<std::int64_t>(record.size));
                  });
}

int FshFile::Parse(ByteSpan bytes) {
    LengthOf(bytes);
    return Unpack(ReadDirectory(bytes, bytes.size(), path), bytes.size(), false,
                  [bytes](const DirectoryRecord& record, FshImage& image) {
                      image.Parse(bytes.subspan(record.offset, record.size));
                  });
}

int FshFile::Unpack(const std::vector<DirectoryRecord>& records, std::uint64_t fileSize,
                    bool toDisk, const EntryReader& read) {
    std::shared_ptr<UnpackBudget> budget = UnpackBudget::ForContainer(budget_, path, fileSize);

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
        budget->Charge(record.size);
        auto image = std::make_unique<FshImage>(JoinPath(toDisk ? directory : path, record.name));
        read(record, *image);
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
    length = static_cast<std::int32_t>(fileSize);
    return 1;
}

std::unique_ptr<GameFile> LoadCarriedPictureArchive(const std::string& path,
                                                    const FileRange& source) {
    auto carried = source.size < 0 ? std::make_unique<CarriedFile>(path, source.path)
                                   : std::make_unique<CarriedFile>(path, source.path, source.offset,
                                                                   source.size);
    try {
        FshFile(path).LoadFrom(source);
        carried->typeTag = "FSH";
    } catch (const FormatError& e) {
        ReportWarning(
            PrintableName(carried->GetFileName()) +
            ": carried as it is, although it is not a valid picture archive: " + e.ProblemIn(path));
    }
    carried->Load();
    return carried;
}

}  // namespace carconv
