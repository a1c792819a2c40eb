// Working directories are the run's own: private to its user whatever the umask, and what is read
// back from them is the file written there, never what a link put in its place leads to.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include "files/errors.h"
#include "files/game_file.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "files/working_directory.h"
#include "platform/file_system.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::Q;
using test::ScratchDir;

#ifndef _WIN32

// The permission bits of `path` itself.
unsigned ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// A minimal default ACL (version 2, entries of tag, permissions and id) whose owner entry grants
// reading alone, as a parent directory may hand it to the directories made in it.
std::vector<std::uint8_t> OwnerReadsOnlyDefaultAcl() {
    std::vector<std::uint8_t> bytes = {2, 0, 0, 0};
    for (const auto& [tag, permissions] : {std::pair{0x01, 4}, {0x04, 0}, {0x20, 0}}) {
        const std::uint8_t entry[8] = {static_cast<std::uint8_t>(tag),
                                       0,
                                       static_cast<std::uint8_t>(permissions),
                                       0,
                                       0xff,
                                       0xff,
                                       0xff,
                                       0xff};
        bytes.insert(bytes.end(), entry, entry + 8);
    }
    return bytes;
}

TEST(WorkingDirectory, PrivateToItsUserWhateverTheUmask) {
    // Whatever takes bits from the modes asked for: none, the owner's too, a default ACL.
    struct Case {
        const char* what;
        mode_t umask;
        bool defaultAcl;
    };
    for (const Case& c : {Case{"umask 0", 0, false}, Case{"umask 0377", 0377, false},
                          Case{"default ACL", 0, true}}) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        ScratchDir tmp;
        ScratchDir io;
        if (c.defaultAcl) {
            const std::vector<std::uint8_t> acl = OwnerReadsOnlyDefaultAcl();
            if (setxattr(tmp.Path().c_str(), "system.posix_acl_default", acl.data(), acl.size(),
                         0) != 0) {
                continue;  // a file system without ACLs
            }
        }
        // A skin of more than a megabyte goes through working files; a smaller one is held.
        std::vector<std::pair<std::string, Bytes>> members = test::Version3Members(true);
        for (auto& [name, bytes] : members) {
            if (name == "car00.tga")
                bytes = test::Tga32(640, 480);
        }
        test::WriteArchive(dir.File("in.viv"), members);
        ASSERT_EQ(mkfifo(dir.File("pipe.viv").c_str(), 0600), 0);
        // The run waits to write into the pipe with its working directories full.
        const mode_t previous = umask(c.umask);
        test::CarconvProcess run(
            test::InstalledUser(dir) + " TMPDIR=" + Q(tmp.Path()), io,
            "convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("pipe.viv")));
        umask(previous);
        auto workingDirectories = [&tmp]() {
            std::vector<std::string> found;
            for (const std::string& name : test::ListNames(tmp.Path())) {
                if (name.rfind("carconv-", 0) == 0)
                    found.push_back(tmp.File(name));
            }
            return found;
        };
        // The output package's members that the stages write to files: the large skin and its
        // three copies. The input's members are read where they lie, the templates and picture
        // archives carried from where they lie, and the mesh, texts and tables held in memory.
        auto fileCount = [&]() {
            std::size_t count = 0;
            for (const std::string& directory : workingDirectories())
                count += test::ListNames(directory).size();
            return count;
        };
        ASSERT_TRUE(run.WaitUntil([&]() { return fileCount() >= 4; }, 60)) << run.Err();
        // Where the mode asked for is cut, the last file may be a moment away from its chmod.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ASSERT_GE(workingDirectories().size(), 2u);
        for (const std::string& directory : workingDirectories()) {
            EXPECT_EQ(ModeOf(directory), 0700u) << directory;
            EXPECT_EQ(ModeOf(OwnerMarkPath(directory)), 0600u) << directory;
            for (const std::string& name : test::ListNames(directory)) {
                EXPECT_EQ(ModeOf(JoinPath(directory, name)), 0600u) << directory << "/" << name;
            }
        }
        kill(run.Pid(), SIGTERM);
        run.Wait(60);
    }
}

TEST(WorkingDirectory, OutputPackageKeepsTheModeOfTheUmask) {
    ScratchDir dir;
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    const mode_t previous = umask(027);
    const auto r =
        test::RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("out.viv")), "",
                         test::InstalledUser(dir));
    umask(previous);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ModeOf(dir.File("out.viv")), 0640u);
}

// Every way of reading a file of a working directory refuses a link put in its place.
TEST(WorkingDirectory, MemberReplacedByALinkIsRefusedOnReadBack) {
    ScratchDir dir;
    test::WriteFile(dir.File("secret"), std::string("root only"));
    test::WriteArchive(dir.File("in.viv"), {{"notes.bin", test::Bytes(40, 7)}});
    VivArchive in(dir.File("in.viv"));
    in.Load();
    GameFile& member = in.members.ElementAt(0);
    fs::remove(member.path);
    fs::create_symlink(dir.File("secret"), member.path);

    const std::vector<std::function<void()>> reads = {
        [&]() { ReadWholeFile(member.path); },
        [&]() { ReadFilePrefix(member.path, 4); },
        [&]() { ReadOnlyFile file(member.path); },
        [&]() { FileSize(member.path); },
        [&]() { member.Load(); },
    };
    for (std::size_t i = 0; i < reads.size(); ++i) {
        try {
            reads[i]();
            ADD_FAILURE() << "read " << i << " followed the link";
        } catch (const IoError& e) {
            EXPECT_NE(std::string(e.what()).find("is a link"), std::string::npos) << e.what();
        }
    }
    // Nor does the link's target reach a package.
    VivArchive out(dir.File("out.viv"));
    out.members.Add(member);
    EXPECT_THROW(out.Reset(), IoError);
    EXPECT_FALSE(test::Exists(dir.File("out.viv")));
}

// What has a name of a working directory already is found by the open that would create the file,
// and is then named as the member it stands for: a directory or a pipe is refused, and so is a
// link to a pipe; a link to a file is replaced, never written through.
TEST(WorkingDirectory, WhatHasTheNameAlreadyIsNamedOrReplaced) {
    ScratchDir dir;
    test::WriteFile(dir.File("kept"), std::string("kept"));
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    const WorkingDirectory work("t.viv", dir.File("in.viv"));
    const std::string name = JoinPath(work.Path(), "m.bin");
    const std::string shown = dir.File("in.viv") + ": member m.bin: ";
    struct Case {
        const char* what;
        std::function<void()> put;
        std::string error;  // empty: written
    };
    const std::vector<Case> cases = {
        {"directory", [&]() { fs::create_directory(name); }, shown + "is a directory"},
        {"pipe", [&]() { ASSERT_EQ(mkfifo(name.c_str(), 0600), 0); },
         shown + "is a device or pipe, not a file"},
        {"link to a pipe", [&]() { fs::create_symlink(dir.File("pipe"), name); },
         shown + "is a link to a device or pipe; name the device itself"},
        {"link to a file", [&]() { fs::create_symlink(dir.File("kept"), name); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(name);
        c.put();
        try {
            WriteFileAtomically(name, test::Bytes{1, 2, 3});
            EXPECT_EQ(c.error, "") << "written";
            EXPECT_FALSE(fs::is_symlink(fs::symlink_status(name)));
            EXPECT_EQ(test::ReadFile(name), (test::Bytes{1, 2, 3}));
            EXPECT_EQ(ModeOf(name), 0600u);
        } catch (const IoError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
    }
    EXPECT_EQ(test::ReadFile(dir.File("kept")), test::Bytes({'k', 'e', 'p', 't'}));
}

// Out of descriptors, the removal fails: the marks stay for the next run's sweep, which finishes
// the removal, and one warning says so.
TEST(WorkingDirectory, ARemovalThatFailsKeepsTheMarkAndSaysSoOnce) {
    std::vector<std::string> warnings;
    const ScopedWarningSink sink([&warnings](const std::string& m) { warnings.push_back(m); });
    std::vector<std::unique_ptr<WorkingDirectory>> directories;
    std::vector<std::string> paths;
    for (const char* hint : {"first", "second"}) {
        directories.push_back(std::make_unique<WorkingDirectory>(hint));
        paths.push_back(directories.back()->Path());
        WriteFileAtomically(JoinPath(paths.back(), "member"), test::Bytes(8, 1));
    }
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &previous), 0);
    rlimit none = previous;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_NOFILE, &none);
    directories.clear();
    setrlimit(RLIMIT_NOFILE, &previous);
    for (const std::string& path : paths) {
        EXPECT_TRUE(test::Exists(JoinPath(path, "member"))) << path;
        EXPECT_TRUE(test::Exists(OwnerMarkPath(path))) << path;
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("cannot remove"), std::string::npos) << warnings[0];

    SweepAbandonedWorkingDirectories();
    for (const std::string& path : paths) {
        EXPECT_FALSE(test::Exists(path)) << path;
        EXPECT_FALSE(test::Exists(OwnerMarkPath(path))) << path;
    }
}

// A damaged member is named as a member of its package, never by the working directory it was
// unpacked into, which is gone when the message is read.
TEST(WorkingDirectory, ErrorsNameThePackageAndTheMember) {
    struct Case {
        std::string member;
        test::Bytes bytes;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"car.fce", test::Bytes(10, 1), "member car.fce: file of 10 bytes is shorter than"},
        {"car00.tga", test::Bytes(5, 2), "member car00.tga: file of 5 bytes is shorter than"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        ScratchDir dir;
        ScratchDir tmp;
        auto members = test::Version3Members(false);
        for (auto& [name, bytes] : members) {
            if (name == c.member)
                bytes = c.bytes;
        }
        test::WriteArchive(dir.File("IN.viv"), members);
        const auto r =
            test::RunCarconv("convert " + Q(dir.File("IN.viv")) + " " + Q(dir.File("out.viv")), "",
                             test::InstalledUser(dir) + " TMPDIR=" + Q(tmp.Path()));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("\ncarconv: error: " + dir.File("IN.viv") + ": " + c.error),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find(tmp.Path()), std::string::npos) << r.err;
    }
}

#endif

// A new file of a working directory is written where it is to lie, without a temporary name; a
// write that fails leaves no file, and an existing file is still replaced only when complete.
TEST(WorkingDirectory, NewFilesAreWrittenInPlaceAndAFailedWriteLeavesNothing) {
    const WorkingDirectory work("t.viv", "");
    const std::string file = JoinPath(work.Path(), "a.bin");
    const auto names = [&work]() { return test::ListNames(work.Path()); };
    const std::vector<std::string> justTheFile = {"a.bin"};
    {
        AtomicFileWriter out(file);
        out.Write(test::Bytes{1, 2});
        EXPECT_EQ(names(), justTheFile);
    }
    EXPECT_TRUE(names().empty()) << "an uncommitted write is removed";
    WriteFileAtomically(file, test::Bytes{1, 2});
    {
        AtomicFileWriter out(file);
        out.Write(test::Bytes{3});
        EXPECT_EQ(names().size(), 2u) << "an existing file is replaced by a temporary file";
    }
    EXPECT_EQ(names(), justTheFile);
    EXPECT_EQ(test::ReadFile(file), (test::Bytes{1, 2}));
    // A file shared under a second name, where no file of that name was before.
    ShareFileReplace(file, JoinPath(work.Path(), "b.bin"));
    EXPECT_EQ(test::ReadFile(JoinPath(work.Path(), "b.bin")), (test::Bytes{1, 2}));
}

}  // namespace
}  // namespace carconv
