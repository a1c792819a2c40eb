#include "app/batch_convert.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <map>
#include <utility>
#include <system_error>
#include <thread>

#include <fmt/format.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "app/command_line.h"
#include "files/name_index.h"
#include "files/safe_name.h"
#include "files/warnings.h"
#include "files/working_directory.h"
#include "platform/file_system.h"
#include "platform/interruption.h"

namespace carconv {

namespace fs = std::filesystem;

namespace {

// An input as the planner compares it with outputs: its size when it is a regular file (a cheap
// first test before asking whether two paths are one file).
struct InputFile {
    const std::string* path;
    std::uintmax_t size;
};

// The input that `output` already is (the same file through any path or link), or null.
const std::string* InputAt(const std::string& output, const std::vector<InputFile>& inputs) {
    std::error_code ec;
    const fs::path native = NativePath(output);
    if (!fs::exists(native, ec))
        return nullptr;
    const std::uintmax_t size = fs::file_size(native, ec);
    if (ec)
        return nullptr;  // not a regular file: no input can be it
    for (const InputFile& input : inputs) {
        if (input.size != size)
            continue;
        std::error_code same;
        if (fs::equivalent(NativePath(*input.path), native, same) && !same)
            return input.path;
    }
    return nullptr;
}

}  // namespace

std::vector<BatchJob> PlanBatch(const std::vector<std::string>& inputs,
                                const std::string& outputDirectory) {
    CreateDirectories(outputDirectory);

    std::vector<InputFile> inputFiles;
    for (const std::string& input : inputs) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(NativePath(input), ec);
        if (!ec)
            inputFiles.push_back({&input, size});
    }

    std::vector<BatchJob> jobs;
    // Lower-case file name -> the first input of that name, and the file it is written to.
    std::map<std::string, std::pair<std::string, std::string>> firstByName;
    std::size_t sized = 0;
    for (const std::string& input : inputs) {
        BatchJob job;
        job.input = input;
        if (sized < inputFiles.size() && inputFiles[sized].path == &input)
            job.size = inputFiles[sized++].size;
        const std::string name = PathString(NativePath(input).filename());
        if (name.empty() || name == "." || name == "..") {
            job.refusal = "not converted: the path names no file";
            jobs.push_back(std::move(job));
            continue;
        }
        job.output = JoinPath(outputDirectory, name);
        auto [first, isFirst] =
            firstByName.emplace(AsciiLowerCase(name), std::pair(input, job.output));
        if (!isFirst && first->second.first == input) {
            job.refusal = "not converted: given more than once";
        } else if (!isFirst) {
            job.refusal = fmt::format(
                "not converted: {} has the same file name and is written to {}; convert one of "
                "them into another output directory",
                PrintableName(first->second.first), PrintableName(first->second.second));
        } else if (const std::string* same = InputAt(job.output, inputFiles)) {
            job.refusal =
                *same == input
                    ? fmt::format(
                          "not converted: the output {} would replace this input itself; "
                          "choose an output directory other than the input's folder",
                          PrintableName(job.output))
                    : fmt::format("not converted: the output {} would replace the input {}",
                                  PrintableName(job.output), PrintableName(*same));
        }
        jobs.push_back(std::move(job));
    }

    SweepAbandonedTemporaries(outputDirectory);
    return jobs;
}

std::uint64_t OpenFileLimit() {
#ifdef _WIN32
    return 0;  // handles are not counted against a small table
#else
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return static_cast<std::uint64_t>(limit.rlim_cur);
#endif
}

namespace {

// What one conversion holds open at most: the marks of its working directories (the package, a
// picture archive, nested packages, the output), the file it reads and the one it writes, with
// room to spare; and what the process keeps besides (standard streams, the terminal).
constexpr std::uint64_t kFilesPerConversion = 16;
constexpr std::uint64_t kFilesBesides = 32;

}  // namespace

unsigned BatchWorkerCount(unsigned requested, std::size_t packageCount,
                          std::uint64_t openFileLimit) {
    unsigned count = requested != 0 ? requested : std::thread::hardware_concurrency();
    if (packageCount < count)
        count = static_cast<unsigned>(packageCount);
    if (openFileLimit != 0) {
        const std::uint64_t fit =
            openFileLimit > kFilesBesides ? (openFileLimit - kFilesBesides) / kFilesPerConversion : 0;
        count = static_cast<unsigned>(std::min<std::uint64_t>(count, fit));
    }
    return std::max(count, 1u);
}

BatchConsole::BatchConsole(std::FILE* stream, bool showProgress, std::size_t packageCount)
    : stream_(stream), showProgress_(showProgress), total_(packageCount) {}

BatchConsole::~BatchConsole() {
    Finish();
}

void BatchConsole::Line(const std::string& text) {
    const std::string line = text + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLocked();
    std::fputs(line.c_str(), stream_);
    DrawLocked();
    std::fflush(stream_);
}

void BatchConsole::PackageDone(bool converted) {
    if (!showProgress_)
        return;  // nothing to draw: the workers need not meet here
    std::lock_guard<std::mutex> lock(mutex_);
    ++(converted ? converted_ : failed_);
    DrawLocked();
    std::fflush(stream_);
}

void BatchConsole::Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLocked();
    std::fflush(stream_);
    showProgress_ = false;
}

void BatchConsole::DrawLocked() {
    if (!showProgress_)
        return;
    constexpr std::size_t kWidth = 30;
    const std::size_t done = converted_ + failed_;
    const std::size_t filled = total_ == 0 ? kWidth : std::min(kWidth, done * kWidth / total_);
    std::string bar = "\r\033[K[" + std::string(filled, '#') + std::string(kWidth - filled, '.') +
                      fmt::format("] {}/{} packages", done, total_);
    if (failed_ != 0)
        bar += fmt::format(", {} failed", failed_);
    std::fputs(bar.c_str(), stream_);
    drawn_ = true;
}

void BatchConsole::ClearLocked() {
    if (drawn_)
        std::fputs("\r\033[K", stream_);
    drawn_ = false;
}

BatchSummary ConvertPackages(const std::vector<BatchJob>& jobs, unsigned workerCount,
                             BatchConsole& console, const PackageConversion& convert) {
    std::atomic<int> converted{0};
    std::atomic<int> failed{0};
    // Each worker writes only the entries of its own jobs.
    std::vector<std::string> errors(jobs.size());
    std::vector<std::size_t> work;
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const BatchJob& job = jobs[j];
        if (job.refusal.empty()) {
            work.push_back(j);
            errors[j] = kInterruptedText;  // until the package is done
        } else {
            console.Line("carconv: error: " + PrintableName(job.input) + ": " + job.refusal);
            console.PackageDone(false);
            errors[j] = job.refusal;
            ++failed;
        }
    }

    if (workerCount > 1) {
        std::stable_sort(work.begin(), work.end(), [&jobs](std::size_t a, std::size_t b) {
            return jobs[a].size > jobs[b].size;
        });
    }

    std::atomic<std::size_t> next{0};
    auto worker = [&]() {
        // One worker's conversions take turns with the same working directories.
        const WorkingDirectoryReuse reuse;
        for (std::size_t i = next++; i < work.size() && !StopRequested(); i = next++) {
            const BatchJob& job = jobs[work[i]];
            const std::string shown = PrintableName(job.input);
            bool ok = false;
            try {
                ScopedWarningSink warnings([&console, &shown](const std::string& message) {
                    console.Line("carconv: warning: " + shown + ": " + message);
                });
                convert(job.input, job.output);
                errors[work[i]].clear();
                ok = true;
            } catch (const InterruptedError&) {
                return;  // neither converted nor failed
            } catch (...) {
                std::string text = ErrorText(std::current_exception());
                errors[work[i]] = text.empty() ? std::string("failed") : text;
                // The single conversion's text, with the package named when the text does not
                // already begin with it (failures inside the package name only the member).
                if (text.rfind(shown, 0) != 0)
                    text = shown + ": " + text;
                console.Line("carconv: error: " + text);
            }
            ++(ok ? converted : failed);
            console.PackageDone(ok);
        }
    };

    // The calling thread works too; a thread that cannot be started only makes the batch slower.
    const std::size_t threads = std::min<std::size_t>(workerCount, work.size());
    std::vector<std::thread> helpers;
    try {
        for (std::size_t t = 1; t < threads; ++t)
            helpers.emplace_back(worker);
    } catch (const std::system_error&) {
    }
    worker();
    for (std::thread& thread : helpers)
        thread.join();
    BatchSummary summary{converted.load(), failed.load(), std::move(errors)};
    summary.interruption = StopSignal();
    summary.notConverted = static_cast<int>(jobs.size()) - summary.converted - summary.failed;
    return summary;
}

std::string BatchSummaryLine(const BatchSummary& summary) {
    std::string line = fmt::format("converted {}, failed {}", summary.converted, summary.failed);
    if (summary.interruption != 0)
        line += fmt::format(", not converted {} (interrupted)", summary.notConverted);
    return line;
}

}  // namespace carconv
