// Copies between files: ranges copied by every way the system offers, and copies that share
// storage without ever sharing a change.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/read_only_file.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

// Bytes that differ at every position within a period of 251, so a piece copied from the wrong
// offset shows.
Bytes Numbered(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    return bytes;
}

std::string Text(const std::string& path) {
    const Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Whether this file system gives a file a second name; without, nothing is shared but clones.
bool CanLink(const ScratchDir& dir) {
    WriteFile(dir.File("probe"), std::string("p"));
    return test::AddHardLink(dir.File("probe"), dir.File("probe2"));
}

TEST(FileCopy, EveryWayCopiesExactlyTheRangeAskedForInPiecesOfAnySize) {
    ScratchDir dir;
    const Bytes source = Numbered(300001);
    WriteFile(dir.File("source"), source);
    const ReadOnlyFile in(dir.File("source"));
    EXPECT_EQ(in.Size(), 300001);
    EXPECT_EQ(in.ReadAt(299990, 100), Bytes(source.begin() + 299990, source.end()));
    EXPECT_TRUE(in.ReadAt(300001, 4).empty());

    struct Case {
        CopyWay way;
        std::size_t chunk;
    };
    for (const Case c : {Case{CopyWay::kFastest, kCopyChunkSize}, Case{CopyWay::kSendfile, 7},
                         Case{CopyWay::kChunks, 7}, Case{CopyWay::kChunks, 4096},
                         Case{CopyWay::kChunks, kCopyChunkSize}}) {
        const std::string target = dir.File("target");
        AtomicFileWriter out(target);
        out.Write(Bytes{0xAA});
        out.AppendRange(in, 12345, 200000, c.way, c.chunk);
        out.AppendRange(in, 0, 3, c.way, c.chunk);
        out.AppendRange(in, 5, 0, c.way, c.chunk);
        EXPECT_EQ(out.BytesWritten(), 1 + 200000 + 3);
        out.Commit();
        Bytes expected{0xAA};
        expected.insert(expected.end(), source.begin() + 12345, source.begin() + 212345);
        expected.insert(expected.end(), source.begin(), source.begin() + 3);
        EXPECT_EQ(ReadFile(target), expected) << static_cast<int>(c.way) << " " << c.chunk;
    }

    // The fastest way with each side on a page boundary or not: both on one, the same distance
    // into a page (a head through the buffer, then the kernel), and different distances.
    for (const auto& [prefix, offset] : std::vector<std::pair<std::size_t, std::int64_t>>{
             {0, 4096}, {57, 12345}, {4000, 8096}, {1, 12345}, {4095, 0}}) {
        const std::string target = dir.File("aligned");
        AtomicFileWriter out(target);
        out.Write(Bytes(prefix, 0xAA));
        out.AppendRange(in, offset, 20000);
        out.Commit();
        Bytes expected(prefix, 0xAA);
        expected.insert(expected.end(), source.begin() + offset, source.begin() + offset + 20000);
        EXPECT_EQ(ReadFile(target), expected) << prefix << " " << offset;
    }

    // Through memory in two threads at once, each from a small range to larger ones: a thread's
    // buffer grows with the ranges, and neither thread's copies see the other's bytes.
    std::vector<std::int64_t> counts;
    for (int round = 0; round < 10; ++round)
        counts.insert(counts.end(), {5, 100000 + round, 250000 - round});
    std::vector<std::thread> threads;
    for (std::int64_t from : {1, 8}) {
        threads.emplace_back([&, from] {
            AtomicFileWriter out(dir.File("thread" + std::to_string(from)));
            for (std::int64_t count : counts)
                out.AppendRange(in, from, count, CopyWay::kChunks, kCopyChunkSize);
            out.Commit();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (std::int64_t from : {1, 8}) {
        Bytes expected;
        for (std::int64_t count : counts)
            expected.insert(expected.end(), source.begin() + from, source.begin() + from + count);
        EXPECT_EQ(ReadFile(dir.File("thread" + std::to_string(from))), expected) << from;
    }
}

TEST(FileCopy, ARangePastTheEndOfTheSourceIsAnErrorNamingItAndLeavesNoTarget) {
    ScratchDir dir;
    WriteFile(dir.File("short"), Numbered(100));
    const ReadOnlyFile in(dir.File("short"));
    for (const CopyWay way : {CopyWay::kFastest, CopyWay::kSendfile, CopyWay::kChunks}) {
        try {
            AtomicFileWriter out(dir.File("target"));
            out.AppendRange(in, 60, 41, way, 16);
            out.Commit();
            FAIL() << "copied past the end";
        } catch (const IoError& e) {
            EXPECT_NE(std::string(e.what()).find("short"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("ends at byte 100"), std::string::npos)
                << e.what();
        }
        EXPECT_EQ(test::ListNames(dir.Path()), std::vector<std::string>{"short"});
    }
    EXPECT_THROW(ReadOnlyFile(dir.Path()), IoError);  // a directory is no file to copy from
    EXPECT_THROW(ReadOnlyFile(dir.File("missing")), IoError);
}

TEST(FileCopy, ARangeOfAFileReadsAndCopiesAsAFileOfItsOwnAndNothingOutsideIt) {
    ScratchDir dir;
    const Bytes source = Numbered(300001);
    WriteFile(dir.File("source"), source);
    const auto from = [&source](std::size_t at, std::size_t n) {
        return Bytes(source.begin() + static_cast<std::ptrdiff_t>(at),
                     source.begin() + static_cast<std::ptrdiff_t>(at + n));
    };
    const ReadOnlyFile range(FileRange{dir.File("source"), 1000, 250000});
    EXPECT_EQ(range.Size(), 250000);
    EXPECT_EQ(range.ReadAt(0, 5), from(1000, 5));
    EXPECT_EQ(range.ReadAt(249990, 100), from(250990, 10)) << "stops at the range's end";
    EXPECT_TRUE(range.ReadAt(250000, 4).empty());
    EXPECT_EQ(ReadOnlyFile(FileRange{dir.File("source"), 300000}).ReadAt(0, 9), from(300000, 1))
        << "a range without a size runs to the file's end";

    for (const CopyWay way : {CopyWay::kFastest, CopyWay::kSendfile, CopyWay::kChunks}) {
        {
            AtomicFileWriter out(dir.File("target"));
            out.AppendRange(range, 100, 200000, way, 4096);
            out.Commit();
        }
        EXPECT_EQ(ReadFile(dir.File("target")), from(1100, 200000)) << static_cast<int>(way);
        try {
            AtomicFileWriter out(dir.File("cut"));
            out.AppendRange(range, 249990, 11, way, 4096);
            FAIL() << "copied past the end of the range";
        } catch (const IoError& e) {
            EXPECT_NE(std::string(e.what()).find("ends at byte 250000"), std::string::npos)
                << e.what();
        }
    }
    // A range the file no longer holds is refused when it is opened.
    for (const FileRange& outside :
         {FileRange{dir.File("source"), 300000, 2}, FileRange{dir.File("source"), 300002},
          FileRange{dir.File("source"), -1, 1}})
        EXPECT_THROW(ReadOnlyFile{outside}, IoError) << outside.offset << " " << outside.size;
}

TEST(FileCopy, ASharedCopyCostsNoBytesAndRewritingEitherLeavesTheOtherAsItWas) {
    ScratchDir dir;
    const bool links = CanLink(dir);
    WriteFile(dir.File("made.txt"), std::string("converted text"));
    WriteFile(dir.File("copy.txt"), std::string("stale copy"));  // replaced, not written into
    ShareFileReplace(dir.File("made.txt"), dir.File("copy.txt"));
    ShareFileReplace(dir.File("made.txt"), dir.File("copy.txt"));  // the same file again
    EXPECT_EQ(ReadFile(dir.File("copy.txt")), ReadFile(dir.File("made.txt")));
    if (links) {
        EXPECT_TRUE(
            fs::equivalent(test::Native(dir.File("made.txt")), test::Native(dir.File("copy.txt"))));
    }
    // Nothing but the two names (and the probe) is left: no temporary name.
    EXPECT_EQ(test::ListNames(dir.Path()).size(), links ? 4u : 3u);

    // A rewrite replaces the file: the other name keeps the old content.
    WriteFileAtomically(dir.File("copy.txt"), Bytes{'n', 'e', 'w'});
    EXPECT_EQ(Text(dir.File("made.txt")), "converted text");
    EXPECT_EQ(Text(dir.File("copy.txt")), "new");
    EXPECT_FALSE(
        fs::equivalent(test::Native(dir.File("made.txt")), test::Native(dir.File("copy.txt"))));

    // A plain copy (of a file the user keeps) is a file of its own, never a second name.
    WriteFile(dir.File("template.bnk"), std::string("sound bank"));
    CopyFileReplace(dir.File("template.bnk"), dir.File("carried.bnk"));
    EXPECT_EQ(ReadFile(dir.File("carried.bnk")), ReadFile(dir.File("template.bnk")));
    EXPECT_FALSE(fs::equivalent(test::Native(dir.File("template.bnk")),
                                test::Native(dir.File("carried.bnk"))));
    EXPECT_EQ(fs::hard_link_count(test::Native(dir.File("template.bnk"))), 1u);
}

TEST(FileCopy, FileHoldsComparesTheWholeContentAndReadsNoMore) {
    ScratchDir dir;
    WriteFile(dir.File("f"), std::string("abcdef"));
    EXPECT_TRUE(FileHolds(dir.File("f"), Bytes{'a', 'b', 'c', 'd', 'e', 'f'}));
    EXPECT_FALSE(FileHolds(dir.File("f"), Bytes{'a', 'b', 'c', 'd', 'e', 'g'}));
    EXPECT_FALSE(FileHolds(dir.File("f"), Bytes{'a', 'b', 'c', 'd', 'e'}));
    EXPECT_FALSE(FileHolds(dir.File("missing"), Bytes{}));
}

}  // namespace
}  // namespace carconv
