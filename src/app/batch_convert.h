#pragma once

// Batch conversion: many version-3 packages, each into one output directory under its own file
// name, converted by a few worker threads side by side.
//
// Before anything is converted the batch is planned: every input gets its output path, and an
// input is refused (reported as failed, never converted) when its output would be a file the
// user gave as an input, through the same folder or through links, or when an earlier input has
// the same file name (letter case aside, as some file systems ignore it) and would be replaced by
// it. A package that fails does not stop the others; outputs are written atomically, so a failed
// package leaves no output behind.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace carconv {

struct BatchJob {
    std::string input;
    std::string output;
    // Why the package is not converted; empty for a package that is.
    std::string refusal;
    // The input's size in bytes (0 when it cannot be read): several workers take the largest
    // packages first, so that no long package is left to one worker at the end.
    std::uintmax_t size = 0;
};

// Creates `outputDirectory` if missing, plans one job per input, in input order, and removes what
// killed runs left there while writing into it (once for the batch: the conversions need
// not sweep the shared directory each). Throws IoError when the directory cannot be created.
std::vector<BatchJob> PlanBatch(const std::vector<std::string>& inputs,
                                const std::string& outputDirectory);

// The most files this process may hold open at once (the soft RLIMIT_NOFILE); 0 where there is
// no such limit.
std::uint64_t OpenFileLimit();

// The number of worker threads: `requested`, or the number of cores when it is 0; at least 1, at
// most one per package, and no more than `openFileLimit` (when not 0) can keep files open for:
// a worker that ran out of descriptors could not even remove its working directories.
unsigned BatchWorkerCount(unsigned requested, std::size_t packageCount,
                          std::uint64_t openFileLimit = OpenFileLimit());

// The batch's messages and its progress bar on one stream. Every message is written whole, as
// one line, under a lock, so lines of workers never interleave; the bar (only when enabled, which
// the front end does only for a terminal) is cleared before a line and drawn again after it.
class BatchConsole {
  public:
    BatchConsole(std::FILE* stream, bool showProgress, std::size_t packageCount);
    ~BatchConsole();
    BatchConsole(const BatchConsole&) = delete;
    BatchConsole& operator=(const BatchConsole&) = delete;

    // Writes `text` and a line end.
    void Line(const std::string& text);
    // Counts one package as done and redraws the bar.
    void PackageDone(bool converted);
    // Removes the bar for good (before the summary).
    void Finish();

  private:
    void DrawLocked();
    void ClearLocked();

    std::mutex mutex_;
    std::FILE* stream_;
    bool showProgress_;
    bool drawn_ = false;
    std::size_t total_;
    std::size_t converted_ = 0;
    std::size_t failed_ = 0;
};

// Why a package was not converted when the batch was interrupted before it was done.
inline constexpr const char* kInterruptedText = "not converted: interrupted";

struct BatchSummary {
    int converted = 0;
    int failed = 0;
    // One entry per job, in job order: empty for a package that was converted, else why it was
    // not (the refusal, the error text of the failed conversion, or kInterruptedText).
    std::vector<std::string> errors;
    // Packages neither converted nor failed: the batch was interrupted first.
    int notConverted = 0;
    // The signal that interrupted the batch; 0 when it ran to its end.
    int interruption = 0;
};

// Converts one package; throws on failure.
using PackageConversion = std::function<void(const std::string& input, const std::string& output)>;

// Runs every job that is not refused on `workerCount` threads (taking packages as threads come
// free: in job order with one thread, largest first with more) and reports through `console`: a
// refusal or failure as one line "carconv: error: <input>: <reason>" (the error text alone when it
// already names the input), and each warning as "carconv: warning: <input>: <message>". An
// interruption stops the batch: no package is taken any more, those in progress end without output
// (InterruptedError), and those written stay.
BatchSummary ConvertPackages(const std::vector<BatchJob>& jobs, unsigned workerCount,
                             BatchConsole& console, const PackageConversion& convert);

// "converted N, failed M", and for an interrupted batch ", not converted K (interrupted)".
std::string BatchSummaryLine(const BatchSummary& summary);

}  // namespace carconv
