// What the archive commands print and refuse, run as the real executable.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;
using test::ScratchDir;

#ifndef _WIN32
// carconv run with `arguments`, its standard output going to the descriptor `output` (which the
// child gets and the parent closes) and its standard error to a file of `io`.
// `peakKiB`, when given, receives the most memory the process held, in KiB.
test::RunResult RunWithOutput(const std::vector<std::string>& arguments, int output,
                              const ScratchDir& io, long* peakKiB = nullptr) {
    const std::string errPath = io.File("err");
    std::vector<std::string> words{CARCONV_EXECUTABLE};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = open("/dev/null", O_RDONLY);
        if (err < 0 || in < 0)
            _exit(127);
        dup2(output, 1);
        dup2(err, 2);
        dup2(in, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(output);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (peakKiB != nullptr)
        *peakKiB = usage.ru_maxrss;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const Bytes err = test::ReadFile(errPath);
    return {code, std::string(), std::string(err.begin(), err.end())};
}
#endif

// A package whose listing is longer than the output buffer of the C library (not every platform's
// cases use it).
[[maybe_unused]] std::string WriteLongPackage(const ScratchDir& dir) {
    std::vector<std::pair<std::string, Bytes>> members;
    for (int i = 0; i < 1000; ++i)
        members.emplace_back("member" + std::to_string(i) + ".bin", Bytes{1, 2, 3});
    const std::string path = dir.File("long.viv");
    test::WriteArchive(path, members);
    return path;
}

struct OutputCase {
    const char* what;
    std::vector<std::string> arguments;  // "PACKAGE" stands for the package's path
};

class StandardOutputTest : public testing::TestWithParam<OutputCase> {
  protected:
    std::vector<std::string> Arguments(const std::string& package) const {
        std::vector<std::string> arguments = GetParam().arguments;
        for (std::string& a : arguments)
            if (a == "PACKAGE")
                a = package;
        return arguments;
    }
};

TEST_P(StandardOutputTest, AFullDiskIsAnErrorAClosedPipeEndsQuietly) {
    CARCONV_SKIP_ON_WINDOWS("needs /dev/full and fork");
#ifndef _WIN32
    ScratchDir dir;
    const std::string package = WriteLongPackage(dir);

    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    test::RunResult r = RunWithOutput(Arguments(package), full, dir);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "carconv: error: standard output: No space left on device\n");

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);  // nobody reads, as after `| head -1` has its line
    r = RunWithOutput(Arguments(package), ends[1], dir);
    EXPECT_EQ(r.exitCode, 141);
    EXPECT_EQ(r.err, "");
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Commands, StandardOutputTest,
    testing::Values(OutputCase{"list", {"list", "PACKAGE"}},
                    OutputCase{"listJson", {"list", "--json", "PACKAGE"}},
                    OutputCase{"info", {"info", "PACKAGE"}},
                    OutputCase{"version", {"--version"}}),
    [](const testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.what); });

struct PackCase {
    const char* what;
    const char* archive;  // in the scratch directory; "in/..." lies in the packed directory
    const char* names;    // the explicit list, or "" for every file
    const char* error;    // what stderr says
};

class PackRefusalTest : public testing::TestWithParam<PackCase> {};

TEST_P(PackRefusalTest, RefusesBeforeWritingAnything) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    const PackCase& c = GetParam();
    ScratchDir dir;
    std::filesystem::create_directory(dir.File("in"));
    const Bytes mesh = test::EmptyFce3();
    test::WriteFile(dir.File("in/car.fce"), mesh);
    test::WriteFile(dir.File("in/carp.txt"), test::Carp3Text());
    std::filesystem::create_symlink(dir.File("in/car.fce"), dir.File("link.viv"));

    const test::RunResult r = test::RunCarconv("pack " + test::Q(dir.File("in")) + " " +
                                               test::Q(dir.File(c.archive)) + " " + c.names);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFile(dir.File("in/car.fce")), mesh);
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"in", "link.viv"}));
    EXPECT_EQ(test::ListNames(dir.File("in")), (std::vector<std::string>{"car.fce", "carp.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackRefusalTest,
    testing::Values(
        PackCase{"intoAFileOfTheDirectory", "in/car.fce", "",
                 "car.fce: is \"car.fce\", one of the files to pack"},
        PackCase{"intoAFileNamedInTheList", "in/car.fce", "carp.txt car.fce",
                 "car.fce: is \"car.fce\", one of the files to pack"},
        PackCase{"throughALink", "link.viv", "", "link.viv: is \"car.fce\", one of the files"},
        PackCase{"aNameGivenTwice", "p.viv", "car.fce carp.txt car.fce",
                 "error: car.fce: named twice"}),
    [](const testing::TestParamInfo<PackCase>& info) { return std::string(info.param.what); });

// Member names as an archive holds them and as every listing and message must show them.
struct ShownName {
    std::string raw;
    std::string shown;
};
const std::vector<ShownName> kShownNames = {
    {"csi\xc2\x9b" "31m.bin", "csi\\xc2\\x9b" "31m.bin"},  // U+009B, the one-character CSI
    {"nel\xc2\x85.bin", "nel\\xc2\\x85.bin"},                // U+0085
    {"lone\x9b" "2J.bin", "lone\\x9b" "2J.bin"},               // a C1 byte that is no UTF-8
    {"cut\xe2\x82.bin", "cut\\xe2\\x82.bin"},                // a sequence cut short
    {"gr\xc3\xbcn\xc2\xa0.bin", "gr\xc3\xbcn\xc2\xa0.bin"},    // \u00fc and U+00A0 stay
    {"mesh\xc2\x9b.fce", "mesh\\xc2\\x9b.fce"},              // malformed: named in a warning
};

TEST(PrintedNames, ListingsAndMessagesEscapeControlCharactersAndStrayBytes) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::vector<std::pair<std::string, Bytes>> members;
    for (const ShownName& name : kShownNames)
        members.emplace_back(name.raw, Bytes{1, 2, 3});
    test::WriteArchive(dir.File("names.viv"), members);
    for (const char* command : {"list", "info"}) {
        const test::RunResult r =
            test::RunCarconv(std::string(command) + " " + test::Q(dir.File("names.viv")));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        for (const ShownName& name : kShownNames) {
            EXPECT_NE(r.out.find(" " + name.shown + " "), std::string::npos) << command;
            if (name.raw != name.shown) {
                EXPECT_EQ((r.out + r.err).find(name.raw), std::string::npos) << command;
            }
        }
        EXPECT_NE(r.err.find("warning: mesh\\xc2\\x9b.fce: kept unread"), std::string::npos)
            << r.err;
    }

    // One member that lies past the end of the file.
    for (const ShownName& name : kShownNames) {
        test::Builder b;
        b.str("BIGF").u32be(0).u32be(1).u32be(0).u32be(1000).u32be(5).cstr(name.raw);
        test::WriteFile(dir.File("outside.viv"), b.bytes());
        const test::RunResult r = test::RunCarconv("list " + test::Q(dir.File("outside.viv")));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("member \"" + name.shown + "\" (offset 1000, size 5) lies outside"),
                  std::string::npos)
            << r.err;
    }
}

#ifndef _WIN32
// The most memory carconv takes to print its version, in KiB: the process's own floor, which a
// sanitizer build raises by far more than a run of ordinary work adds.
long FloorKiB(const ScratchDir& io) {
    long floorKiB = 0;
    RunWithOutput({"--version"}, open("/dev/null", O_WRONLY), io, &floorKiB);
    return floorKiB;
}
#endif

struct BombCase {
    const char* what;
    const char* command;
};

class TextureBombTest : public testing::TestWithParam<BombCase> {};

TEST_P(TextureBombTest, IsRefusedFromItsHeaderBeforeItIsDecoded) {
    CARCONV_SKIP_ON_WINDOWS("measures a child process");
#ifndef _WIN32
    ScratchDir dir;
    // A run-length texture whose header claims 16384 x 8192 32-bit pixels (512 MiB): one run
    // packet of 128 pixels after another, 5 bytes for 512 decoded, about 5 MB in all.
    constexpr int kWidth = 16384, kHeight = 8192;
    test::Builder tga;
    tga.u8(0).u8(0).u8(10);         // id length, colour map type, image type: run-length RGB
    tga.zeros(5);                   // colour map fields
    tga.u16le(0).u16le(0);          // x, y origin
    tga.u16le(kWidth).u16le(kHeight);
    tga.u8(32).u8(8);               // pixel depth, descriptor
    for (int packet = 0; packet < kWidth / 128 * kHeight; ++packet)
        tga.u8(0xff).u8(1).u8(2).u8(3).u8(4);  // 128 x the pixel 01 02 03 04
    std::vector<std::pair<std::string, Bytes>> members{{"car00.tga", tga.bytes()}};
    test::WriteArchive(dir.File("bomb.viv"), members);

    long peakKiB = 0;
    const test::RunResult r = RunWithOutput({GetParam().command, dir.File("bomb.viv")},
                                            open("/dev/null", O_WRONLY), dir, &peakKiB);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("bomb.viv: unpacking would write more than"), std::string::npos) << r.err;
    // The package (5 MB) is copied from file to file; nothing near the image's size is held.
    const long floorKiB = FloorKiB(dir);
    EXPECT_LT(peakKiB, floorKiB + 64 * 1024) << "floor " << floorKiB << " KiB";
#endif
}

INSTANTIATE_TEST_SUITE_P(Commands, TextureBombTest,
                         testing::Values(BombCase{"list", "list"}, BombCase{"info", "info"}),
                         [](const testing::TestParamInfo<BombCase>& info) {
                             return std::string(info.param.what);
                         });

// One member of 128 MiB in a package of its own, of each kind that typing reads something of.
struct LargeMemberCase {
    const char* what;
    const char* name;
    Bytes (*content)();
};

constexpr std::size_t kLargeMember = std::size_t{128} << 20;

Bytes LargeTexture(std::uint8_t imageType, const Bytes& data, int width, int height) {
    test::Builder tga;
    tga.u8(0).u8(0).u8(imageType).zeros(5).u16le(0).u16le(0);
    tga.u16le(static_cast<std::uint16_t>(width)).u16le(static_cast<std::uint16_t>(height));
    tga.u8(32).u8(8).raw(data);
    return tga.bytes();
}

const LargeMemberCase kLargeMembers[] = {
    {"UncompressedSkin", "car00.tga",
     [] { return LargeTexture(2, Bytes(kLargeMember, 7), 8192, 4096); }},
    {"RunLengthSkin", "car00.tga",
     [] {
         // Raw packets of 128 pixels: the file is as large as the image it decodes to.
         test::Builder data;
         for (std::size_t packet = 0; packet < 8192 * 4096 / 128; ++packet)
             data.u8(0x7f).fill(128 * 4, 9);
         return LargeTexture(10, data.bytes(), 8192, 4096);
     }},
    {"PictureArchive", "dash.fsh",
     [] {
         test::Builder fsh;
         fsh.str("SHPI").i32le(0).i32le(1).str("GIMX").str("img0").i32le(24);
         fsh.u8(0x7d).zeros(3).u16le(8192).u16le(4096).zeros(8).fill(kLargeMember, 5);
         return fsh.bytes();
     }},
    {"PerformanceText", "carp.txt",
     [] { return Bytes(kLargeMember, 'a'); }},
    {"FrontEndFile", "fedata.eng",
     [] { return Bytes(kLargeMember, 'b'); }},
};

class LargeMemberTest : public testing::TestWithParam<LargeMemberCase> {};

TEST_P(LargeMemberTest, ListInfoAndUnpackHoldAFewMiBOfIt) {
    CARCONV_SKIP_ON_WINDOWS("measures a child process");
#ifndef _WIN32
    ScratchDir dir;
    std::vector<std::pair<std::string, Bytes>> members{{GetParam().name, GetParam().content()},
                                                       {"small.bin", Bytes{1, 2, 3}}};
    test::WriteArchive(dir.File("large.viv"), members);
    const std::uintmax_t memberSize = members[0].second.size();
    members.clear();
    const long floorKiB = FloorKiB(dir);
    const std::vector<std::vector<std::string>> commands{
        {"list", dir.File("large.viv")},
        {"info", dir.File("large.viv")},
        {"unpack", dir.File("large.viv"), dir.File("out")}};
    for (const std::vector<std::string>& command : commands) {
        long peakKiB = 0;
        const test::RunResult r =
            RunWithOutput(command, open("/dev/null", O_WRONLY), dir, &peakKiB);
        EXPECT_EQ(r.exitCode, 0) << command[0] << ": " << r.err;
        EXPECT_LT(peakKiB, floorKiB + 48 * 1024) << command[0] << ": floor " << floorKiB << " KiB";
    }
    // Unpacked whole all the same.
    EXPECT_EQ(std::filesystem::file_size(dir.File(std::string("out/") + GetParam().name)),
              memberSize);
#endif
}

INSTANTIATE_TEST_SUITE_P(Kinds, LargeMemberTest, testing::ValuesIn(kLargeMembers),
                         [](const testing::TestParamInfo<LargeMemberCase>& info) {
                             return std::string(info.param.what);
                         });

TEST(SmallFiles, APipeIsNotARegularFileAndAHugeSettingsFileIsNotRead) {
    CARCONV_SKIP_ON_WINDOWS("needs a named pipe and a POSIX shell");
#ifndef _WIN32
    ScratchDir dir;
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    test::RunResult r = test::RunCarconv("info " + test::Q(dir.File("pipe")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "carconv: error: " + dir.File("pipe") + ": not a regular file\n");

    const std::string env = test::InstalledUser(dir);
    const std::string ini = dir.File("config/Quillmark/carconv.ini");
    test::WriteFile(ini, "[Settings]\nInstalled=1\n" + std::string(1 << 20, ';'));
    test::WriteArchive(dir.File("stock.viv"), test::TemplateMembers());
    r = test::RunCarconv("install-templates --from " + test::Q(dir.File("stock.viv")), "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("carconv: warning: " + ini + ": larger than 64 KiB"), std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadFile(ini).size(), std::string("[Settings]\nInstalled=1\n").size());
#endif
}

}  // namespace
}  // namespace carconv
