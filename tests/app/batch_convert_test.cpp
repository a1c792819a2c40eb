// Batch conversion: the planner's refusals, the console, the worker pool, and the carconv
// executable converting many packages into one directory.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "app/batch_convert.h"
#include "files/warnings.h"
#include "platform/file_system.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadFile;
using test::RunCarconv;
using test::ScratchDir;
using test::WriteFile;

using test::InstalledUser;
using test::Q;

// A version-3 package whose skin is `width` pixels wide, so each package's output is known by
// the width of its skin.
void WritePackage(const std::string& path, int width, bool withPictures = false, int height = 2) {
    auto members = test::Version3Members(withPictures);
    for (auto& [name, bytes] : members) {
        if (name == "car00.tga")
            bytes = test::Tga32(width, height);
    }
    test::WriteArchive(path, members);
}

// The width stored in the output package's skin header (bytes 12-13 of "car00.tga").
int SkinWidth(const std::string& package) {
    for (const auto& [name, bytes] : test::ReadArchive(package)) {
        if (name == "car00.tga")
            return test::GetU16le(bytes, 12);
    }
    return -1;
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(BatchConvert, OneBrokenPackageFailsAloneAndTheSummaryCountsIt) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    fs::create_directory(dir.File("in"));
    WritePackage(dir.File("in/a.viv"), 3);
    WritePackage(dir.File("in/b.viv"), 5, true);
    WriteFile(dir.File("in/broken.viv"), std::string("BIGF\0\0\0\0\0\0\0\x05\0\0\0\0", 16));
    WritePackage(dir.File("in/c.viv"), 7);
    const auto before = test::LeftoverWorkingDirectories();

    auto r = RunCarconv("convert " + Q(dir.File("in/a.viv")) + " " + Q(dir.File("in/b.viv")) + " " +
                            Q(dir.File("in/broken.viv")) + " " + Q(dir.File("in/c.viv")) +
                            " --output-dir " + Q(dir.File("out/new")) + " --jobs 2",
                        "", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "converted 3, failed 1\n");
    // One line for the broken package, naming it; no progress drawing on a pipe.
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("carconv: error: " + dir.File("in/broken.viv") + ": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("member count 5 is more than the file can hold"), std::string::npos);
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    EXPECT_EQ(r.err.find('\033'), std::string::npos);

    // Each output under its input's name, made from that input; nothing else in the directory.
    EXPECT_EQ(test::ListNames(dir.File("out/new")),
              (std::vector<std::string>{"a.viv", "b.viv", "c.viv"}));
    EXPECT_EQ(SkinWidth(dir.File("out/new/a.viv")), 3);
    EXPECT_EQ(SkinWidth(dir.File("out/new/b.viv")), 5);
    EXPECT_EQ(SkinWidth(dir.File("out/new/c.viv")), 7);
    EXPECT_EQ(test::ReadArchive(dir.File("out/new/a.viv")).size(), 27u);
    EXPECT_EQ(test::ReadArchive(dir.File("out/new/b.viv")).size(), 28u);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);

    // The same bytes as the single conversion writes.
    r = RunCarconv("convert " + Q(dir.File("in/b.viv")) + " " + Q(dir.File("single.viv")), "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("single.viv")), ReadFile(dir.File("out/new/b.viv")));

    // All good: exit 0.
    r = RunCarconv("convert " + Q(dir.File("in/a.viv")) + " --output-dir " + Q(dir.File("out2")),
                   "", env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "converted 1, failed 0\n");
    EXPECT_EQ(r.err, "");
}

TEST(BatchConvert, AWorkerTakesTurnsWithItsWorkingDirectoriesAndEachPackageIsItsOwn) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    // Broken skins fail in the skin stage, after the mesh stage has written its files.
    auto members = test::Version3Members(false);
    for (auto& [name, bytes] : members) {
        if (name == "car00.tga")
            bytes = Bytes(10, 1);
    }
    test::WriteArchive(dir.File("bad1.viv"), members);
    test::WriteArchive(dir.File("bad2.viv"), members);
    WritePackage(dir.File("good.viv"), 5, true);
    const auto before = test::LeftoverWorkingDirectories();

    const auto r = RunCarconv("convert " + Q(dir.File("bad1.viv")) + " " + Q(dir.File("good.viv")) +
                                  " " + Q(dir.File("bad2.viv")) + " --output-dir " +
                                  Q(dir.File("out")) + " --jobs 1",
                              "", env);
    EXPECT_EQ(r.out, "converted 1, failed 2\n");
    // Each message names its own package, as a conversion on its own does.
    for (const char* bad : {"bad1.viv", "bad2.viv"}) {
        const auto single =
            RunCarconv("convert " + Q(dir.File(bad)) + " " + Q(dir.File("x.viv")), "", env);
        ASSERT_EQ(single.err.rfind("carconv: warning: car00.tga: kept unread", 0), 0u)
            << single.err;
        const std::string error = single.err.substr(single.err.find("carconv: error: "));
        EXPECT_NE(error.find(dir.File(bad) + ": member car00.tga: "), std::string::npos) << error;
        EXPECT_NE(r.err.find(error), std::string::npos) << r.err;
    }
    // The package after a failed one gets what it would get alone, and nothing is left over.
    const auto single =
        RunCarconv("convert " + Q(dir.File("good.viv")) + " " + Q(dir.File("g.viv")), "", env);
    ASSERT_EQ(single.exitCode, 0) << single.err;
    EXPECT_EQ(ReadFile(dir.File("out/good.viv")), ReadFile(dir.File("g.viv")));
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(BatchConvert, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    fs::create_directory(dir.File("in"));
    WritePackage(dir.File("in/a.viv"), 3);
    WritePackage(dir.File("in/b.viv"), 4);
    const Bytes a = ReadFile(dir.File("in/a.viv"));
    const Bytes b = ReadFile(dir.File("in/b.viv"));

    // The input's own folder, named three ways: as it is, with a dot, through a link.
    fs::create_directory_symlink(dir.File("in"), dir.File("link"));
    for (const std::string& out : {dir.File("in"), dir.File("in/."), dir.File("link")}) {
        auto r = RunCarconv("convert " + Q(dir.File("in/a.viv")) + " " + Q(dir.File("in/b.viv")) +
                                " --output-dir " + Q(out),
                            "", env);
        EXPECT_EQ(r.exitCode, 1) << out;
        EXPECT_EQ(r.out, "converted 0, failed 2\n") << out;
        EXPECT_EQ(Lines(r.err), 2u) << r.err;
        EXPECT_NE(
            r.err.find("carconv: error: " + dir.File("in/a.viv") + ": not converted: the output "),
            std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("would replace this input itself"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(dir.File("in/a.viv")), a);
        EXPECT_EQ(ReadFile(dir.File("in/b.viv")), b);
        EXPECT_EQ(test::ListNames(dir.File("in")), (std::vector<std::string>{"a.viv", "b.viv"}));
    }

    // An output that is another input through a hard link: refused, that input untouched; the
    // package whose output is free converts.
    fs::create_directory(dir.File("out"));
    fs::create_hard_link(dir.File("in/b.viv"), dir.File("out/a.viv"));
    auto r = RunCarconv("convert " + Q(dir.File("in/a.viv")) + " " + Q(dir.File("in/b.viv")) +
                            " --output-dir " + Q(dir.File("out")),
                        "", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "converted 1, failed 1\n");
    EXPECT_EQ(r.err, "carconv: error: " + dir.File("in/a.viv") + ": not converted: the output " +
                         dir.File("out/a.viv") + " would replace the input " +
                         dir.File("in/b.viv") + "\n");
    EXPECT_EQ(ReadFile(dir.File("in/b.viv")), b);
    EXPECT_EQ(ReadFile(dir.File("out/a.viv")), b);
    EXPECT_EQ(SkinWidth(dir.File("out/b.viv")), 4);

    // A leftover output from an earlier run is simply replaced.
    r = RunCarconv("convert " + Q(dir.File("in/b.viv")) + " --output-dir " + Q(dir.File("out")), "",
                   env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(SkinWidth(dir.File("out/b.viv")), 4);
}

TEST(BatchConvert, InputsWithTheSameFileNameAreNotWrittenOverEachOther) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    for (const char* sub : {"x", "y", "z"})
        fs::create_directory(dir.File(sub));
    WritePackage(dir.File("x/car.viv"), 3);
    WritePackage(dir.File("y/car.viv"), 5);
    WritePackage(dir.File("z/CAR.VIV"), 6);
    auto r = RunCarconv("convert " + Q(dir.File("x/car.viv")) + " " + Q(dir.File("y/car.viv")) +
                            " " + Q(dir.File("z/CAR.VIV")) + " " + Q(dir.File("x/car.viv")) +
                            " --output-dir " + Q(dir.File("out")) + " --jobs 3",
                        "", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "converted 1, failed 3\n");
    EXPECT_EQ(Lines(r.err), 3u) << r.err;
    EXPECT_NE(r.err.find("carconv: error: " + dir.File("y/car.viv") +
                         ": not converted: " + dir.File("x/car.viv") +
                         " has the same file name and is written to " + dir.File("out/car.viv")),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("carconv: error: " + dir.File("z/CAR.VIV") +
                         ": not converted: " + dir.File("x/car.viv") +
                         " has the same file name and is written to " + dir.File("out/car.viv")),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("carconv: error: " + dir.File("x/car.viv") +
                         ": not converted: given more than once"),
              std::string::npos)
        << r.err;
    // The first of them wins.
    EXPECT_EQ(test::ListNames(dir.File("out")), (std::vector<std::string>{"car.viv"}));
    EXPECT_EQ(SkinWidth(dir.File("out/car.viv")), 3);
}

TEST(BatchConvert, OneAndTwoWorkersWriteTheSameBytes) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    std::string inputs;
    for (int i = 1; i <= 8; ++i) {
        const std::string path = dir.File("p" + std::to_string(i) + ".viv");
        WritePackage(path, i, i % 2 == 0);
        inputs += " " + Q(path);
    }
    auto one = RunCarconv("convert" + inputs + " --output-dir " + Q(dir.File("one")) + " --jobs 1",
                          "", env);
    auto two = RunCarconv("convert" + inputs + " --output-dir " + Q(dir.File("two")) + " --jobs 2",
                          "", env);
    ASSERT_EQ(one.exitCode, 0) << one.err;
    ASSERT_EQ(two.exitCode, 0) << two.err;
    EXPECT_EQ(one.out, "converted 8, failed 0\n");
    EXPECT_EQ(two.out, one.out);
    EXPECT_EQ(test::ListNames(dir.File("two")), test::ListNames(dir.File("one")));
    for (int i = 1; i <= 8; ++i) {
        const std::string name = "p" + std::to_string(i) + ".viv";
        EXPECT_EQ(ReadFile(dir.File("two/" + name)), ReadFile(dir.File("one/" + name))) << name;
        EXPECT_EQ(SkinWidth(dir.File("two/" + name)), i);
    }
}

TEST(BatchConvert, WarningsNameTheirPackageAndUsageErrorsExitTwo) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    auto members = test::Version3Members(false);
    members.push_back({"extra.tga", test::Builder().u8(0).u8(0).u8(5).zeros(15).bytes()});
    test::WriteArchive(dir.File("extra.viv"), members);
    WritePackage(dir.File("plain.viv"), 2);
    auto r = RunCarconv("convert " + Q(dir.File("extra.viv")) + " " + Q(dir.File("plain.viv")) +
                            " --output-dir " + Q(dir.File("out")),
                        "", env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.rfind("carconv: warning: " + dir.File("extra.viv") +
                              ": extra.tga: kept unread, it is not a valid TGA file: ",
                          0),
              0u)
        << r.err;
    // The texture is not carried into the version-4 package, which the package's warning says.
    EXPECT_NE(r.err.find("\ncarconv: warning: " + dir.File("extra.viv") +
                         ": extra.viv: not carried into the version-4 package: extra.tga\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Lines(r.err), 2u) << r.err;

    for (const std::string& args :
         {std::string("convert a.viv b.viv c.viv"), std::string("convert a.viv b.viv --jobs 2"),
          std::string("convert a.viv --output-dir out --jobs 0"),
          std::string("convert --output-dir out")}) {
        r = RunCarconv(args, "", env);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_EQ(r.err.rfind("carconv: usage error: ", 0), 0u) << args << ": " << r.err;
    }
    // An output directory that cannot be made is one error for the whole batch.
    WriteFile(dir.File("afile"), std::string("x"));
    r = RunCarconv(
        "convert " + Q(dir.File("plain.viv")) + " --output-dir " + Q(dir.File("afile/sub")), "",
        env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("carconv: error: " + dir.File("afile/sub") + ": cannot create", 0), 0u)
        << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(BatchConvert, WorkerCountDefaultsToTheCoresAndIsBoundedByThePackages) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    EXPECT_EQ(BatchWorkerCount(0, 1000), cores);
    EXPECT_EQ(BatchWorkerCount(3, 1000), 3u);
    EXPECT_EQ(BatchWorkerCount(8, 2), 2u);
    EXPECT_EQ(BatchWorkerCount(0, 1), 1u);
    EXPECT_EQ(BatchWorkerCount(5, 0), 1u);
}

TEST(BatchConvert, WorkersAreNoMoreThanTheDescriptorLimitCanHold) {
    EXPECT_EQ(BatchWorkerCount(300, 300, 256), 14u);
    EXPECT_EQ(BatchWorkerCount(300, 300, 20), 1u);
    EXPECT_EQ(BatchWorkerCount(3, 300, 0), 3u);

    CARCONV_SKIP_ON_WINDOWS("needs ulimit");
    ScratchDir dir;
    ScratchDir tmp;
    std::string inputs;
    for (int i = 0; i < 12; ++i) {
        WritePackage(dir.File("p" + std::to_string(i) + ".viv"), 3, true);
        inputs += " " + Q(dir.File("p" + std::to_string(i) + ".viv"));
    }
    auto r = RunCarconv("convert" + inputs + " --output-dir " + Q(dir.File("out")) + " --jobs 12",
                        "", "ulimit -n 48; " + InstalledUser(dir) + " TMPDIR=" + Q(tmp.Path()));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "converted 12, failed 0\n");
    EXPECT_EQ(test::ListNames(dir.File("out")).size(), 12u);
    EXPECT_EQ(test::ListNames(tmp.Path()), std::vector<std::string>{});
}

// What a console of `total` packages (drawing its bar when `live`) wrote into a temporary
// stream while `use` drove it.
std::string Written(bool live, std::size_t total, const std::function<void(BatchConsole&)>& use) {
    std::FILE* f = std::tmpfile();
    if (f == nullptr)
        throw std::runtime_error("no temporary file");
    {
        BatchConsole console(f, live, total);
        use(console);
    }
    std::fflush(f);
    std::rewind(f);
    std::string s;
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f))
        s += static_cast<char>(c);
    std::fclose(f);
    return s;
}

TEST(BatchConvert, ConsoleDrawsTheBarOnlyWhenAskedAndClearsItAroundLines) {
    EXPECT_EQ(Written(false, 2,
                      [](BatchConsole& console) {
                          console.PackageDone(true);
                          console.Line("carconv: error: x");
                          console.PackageDone(false);
                      }),
              "carconv: error: x\n");

    const std::string clear = "\r\033[K";
    EXPECT_EQ(Written(true, 4,
                      [](BatchConsole& console) {
                          console.PackageDone(true);
                          console.Line("a line");
                          console.PackageDone(false);
                          console.Finish();
                          console.Line("after");
                      }),
              clear + "[#######.......................] 1/4 packages" + clear + "a line\n" + clear +
                  "[#######.......................] 1/4 packages" + clear +
                  "[###############...............] 2/4 packages, 1 failed" + clear + "after\n");
}

TEST(BatchConvert, WorkersConvertEveryPackageOnceAndLabelTheirOwnWarnings) {
    std::vector<BatchJob> jobs;
    for (int i = 0; i < 40; ++i)
        jobs.push_back({"in" + std::to_string(i), "out" + std::to_string(i), ""});
    jobs[5].refusal = "not converted: refused";

    std::mutex mutex;
    std::multiset<std::string> seen;
    std::set<std::thread::id> threads;
    BatchSummary summary;
    const std::string text = Written(false, jobs.size(), [&](BatchConsole& console) {
        summary = ConvertPackages(jobs, 4, console,
                                  [&](const std::string& input, const std::string& output) {
                                      {
                                          std::lock_guard<std::mutex> lock(mutex);
                                          seen.insert(input + ">" + output);
                                          threads.insert(std::this_thread::get_id());
                                      }
                                      // Warnings raised while other workers raise theirs.
                                      for (int k = 0; k < 20; ++k) {
                                          ReportWarning("w-" + input);
                                          std::this_thread::yield();
                                      }
                                      // Long enough that every worker gets packages.
                                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                      if (input == "in7")
                                          throw std::runtime_error("in7: broken");
                                      if (input == "in9")
                                          throw std::runtime_error("no mesh");
                                  });
    });
    EXPECT_EQ(summary.converted, 37);
    EXPECT_EQ(summary.failed, 3);
    EXPECT_EQ(BatchSummaryLine(summary), "converted 37, failed 3");
    EXPECT_EQ(seen.size(), 39u);
    for (int i = 0; i < 40; ++i) {
        const std::string key = "in" + std::to_string(i) + ">out" + std::to_string(i);
        EXPECT_EQ(seen.count(key), i == 5 ? 0u : 1u) << key;
    }
    EXPECT_GE(threads.size(), 2u);

    // Every line whole; each warning under the package that raised it.
    std::map<std::string, int> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        ++lines[text.substr(start, end - start)];
    }
    EXPECT_EQ(start, text.size());
    EXPECT_EQ(lines["carconv: error: in5: not converted: refused"], 1);
    EXPECT_EQ(lines["carconv: error: in7: broken"], 1);
    EXPECT_EQ(lines["carconv: error: in9: no mesh"], 1);
    for (int i = 0; i < 40; ++i) {
        if (i == 5)
            continue;
        const std::string in = "in" + std::to_string(i);
        EXPECT_EQ(lines["carconv: warning: " + in + ": w-" + in], 20) << in;
    }
    EXPECT_EQ(lines.size(), 3u + 39u);
}

TEST(BatchConvert, SeveralWorkersTakeTheLargestPackagesFirstOneTakesThemInOrder) {
    ScratchDir dir;
    const std::vector<std::size_t> sizes = {10, 300, 20, 200, 300, 5};
    std::vector<std::string> inputs;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        inputs.push_back(dir.File("p" + std::to_string(i) + ".viv"));
        WriteFile(inputs.back(), std::string(sizes[i], 'x'));
    }
    const std::vector<BatchJob> jobs = PlanBatch(inputs, dir.File("out"));
    ASSERT_EQ(jobs.size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_EQ(jobs[i].size, sizes[i]) << i;

    // The packages in the order the workers started them; the first two wait for each other, so
    // they are the first two the queue handed out.
    auto started = [&jobs](unsigned workers) {
        std::mutex mutex;
        std::condition_variable bothStarted;
        std::vector<std::string> order;
        std::FILE* f = std::tmpfile();
        BatchConsole console(f, false, jobs.size());
        const BatchSummary summary = ConvertPackages(
            jobs, workers, console, [&](const std::string& input, const std::string&) {
                std::unique_lock<std::mutex> lock(mutex);
                order.push_back(fs::path(input).stem().string());
                bothStarted.notify_all();
                if (workers > 1 && order.size() <= 2) {
                    bothStarted.wait_for(lock, std::chrono::seconds(10),
                                         [&order]() { return order.size() >= 2; });
                }
                if (input == jobs[2].input)
                    throw std::runtime_error("broken");
            });
        std::fclose(f);
        // Summaries keep the order the packages were given in.
        EXPECT_EQ(summary.errors, (std::vector<std::string>{"", "", "broken", "", "", ""}));
        EXPECT_EQ(summary.converted, 5);
        return order;
    };
    EXPECT_EQ(started(1), (std::vector<std::string>{"p0", "p1", "p2", "p3", "p4", "p5"}));
    std::vector<std::string> two = started(2);
    ASSERT_EQ(two.size(), 6u);
    std::sort(two.begin(), two.begin() + 2);
    EXPECT_EQ(two[0], "p1");
    EXPECT_EQ(two[1], "p4");
}

#ifndef _WIN32

TEST(BatchConvert, PlanningSweepsWhatKilledRunsLeftInTheOutputFolder) {
    ScratchDir dir;
    fs::create_directory(dir.File("out"));
    WriteFile(dir.File("a.viv"), std::string("x"));
    // Runs killed while they wrote out/a.viv and out/z.viv.
    for (const char* name : {"a.viv", "z.viv"}) {
        ASSERT_TRUE(test::RunAndKill([&dir, name]() {
            AtomicFileWriter writing(dir.File(std::string("out/") + name));
            writing.Write(Bytes(10, 1));
            raise(SIGKILL);
        }));
    }
    std::vector<std::string> stale = test::ListNames(dir.File("out"));
    ASSERT_EQ(stale.size(), 2u);

    // A plan that writes only a.viv takes z.viv's too: its writer has ended as well.
    PlanBatch({dir.File("a.viv")}, dir.File("out"));
    EXPECT_EQ(test::ListNames(dir.File("out")), std::vector<std::string>{});
}

// Pages faulted in by the processes this one has waited for, so far.
long ChildPageFaults() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_minflt;
}

TEST(BatchConvert, PackagesAfterTheFirstFewFaultInNoFreshMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator holds freed memory back on purpose";
#endif
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    std::string few, many;
    for (int i = 0; i < 16; ++i) {
        const std::string path = dir.File("p" + std::to_string(i) + ".viv");
        // Skins of 256 KiB: buffers of that size are made and freed again for every package.
        WritePackage(path, 256, false, 256);
        (i < 4 ? few : many) += " " + Q(path);
    }
    many = few + many;
    for (const char* jobs : {"1", "2"}) {
        long faults[2] = {};
        for (int run = 0; run < 2; ++run) {
            const std::string out = dir.File(std::string("out") + jobs + std::to_string(run));
            const long before = ChildPageFaults();
            auto result = RunCarconv(
                "convert" + (run == 0 ? few : many) + " --output-dir " + Q(out) + " --jobs " + jobs,
                "", env);
            faults[run] = ChildPageFaults() - before;
            ASSERT_EQ(result.exitCode, 0) << result.err;
        }
        // Twelve packages more, with 64 pages of skin each, bring in less than a quarter of a
        // skin each: the memory the first packages used is used again.
        EXPECT_LT(faults[1] - faults[0], 12 * 16)
            << "jobs " << jobs << ": " << faults[0] << " pages for 4 packages, " << faults[1]
            << " for 16";
    }
}

#endif

TEST(WarningSink, EachThreadKeepsItsOwnSink) {
    std::vector<std::string> outer;
    ScopedWarningSink mine([&outer](const std::string& m) { outer.push_back(m); });
    std::vector<std::vector<std::string>> caught(4);
    std::vector<std::thread> pool;
    for (int t = 0; t < 4; ++t) {
        pool.emplace_back([t, &caught]() {
            ScopedWarningSink sink([t, &caught](const std::string& m) { caught[t].push_back(m); });
            for (int k = 0; k < 200; ++k)
                ReportWarning(std::to_string(t));
            {
                std::vector<std::string> inner;
                ScopedWarningSink nested([&inner](const std::string& m) { inner.push_back(m); });
                ReportWarning("nested");
                EXPECT_EQ(inner, std::vector<std::string>{"nested"});
            }
            ReportWarning(std::to_string(t));
        });
    }
    ReportWarning("main");
    for (std::thread& thread : pool)
        thread.join();
    EXPECT_EQ(outer, std::vector<std::string>{"main"});
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(caught[t], std::vector<std::string>(201, std::to_string(t))) << t;
}

}  // namespace
}  // namespace carconv
