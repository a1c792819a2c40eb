#include "platform/temporary_path.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <system_error>
#include <utility>

#include "files/warnings.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/output_file.h"

namespace carconv {

namespace {

struct Entry {
    std::string path;
    TemporaryPath::Kind kind;
    std::unique_ptr<OutputFile> mark;
    std::string markPath;
    std::string shownAs;
    // Being created or removed by its owner, outside the registry's lock (so that workers do not
    // wait for each other's file-system work); RemoveAllTemporaryPaths waits for it.
    bool busy = false;
};

// Never destroyed: an interruption may use it while the main thread is already running the
// static destructors at the end of the process.
struct Registry {
    std::mutex mutex;
    std::condition_variable settled;  // an entry stopped being busy
    std::map<std::uint64_t, Entry> entries;
    std::uint64_t next = 1;
    bool sealed = false;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// The mark goes last, closed before it is deleted (Windows cannot delete an open file), and only
// once the path is gone: a mark left behind lets a later run's sweep finish what failed here
// (a full descriptor table, a file another process holds open). That is said once per process.
// A removal that reports no error has left nothing of the name.
void RemoveEntry(Entry& entry) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (entry.kind != TemporaryPath::Kind::kFile)
        ec = RemoveTree(entry.path);
    else
        fs::remove(NativePath(entry.path), ec);
    if (entry.mark) {
        entry.mark.reset();
        if (!ec) {
            fs::remove(NativePath(entry.markPath), ec);
        } else {
            static std::atomic<bool> warned{false};
            if (!warned.exchange(true)) {
                ReportWarning(entry.path + ": cannot remove: " + ec.message() +
                              "; the next run removes what is left");
            }
        }
    }
}

}  // namespace

TemporaryPath TemporaryPath::Create(const std::string& path, Kind kind,
                                    const std::function<bool()>& create,
                                    const std::string& markPath, const std::string& shownAs) {
    Registry& registry = TheRegistry();
    std::uint64_t id = 0;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (registry.sealed)
            throw InterruptedError(StopSignal() != 0 ? StopSignal() : kInterruptSignal);
        id = registry.next++;
        // Busy until `create` has answered: a clean-up waits for the answer instead of missing
        // what is being made.
        registry.entries.emplace(id, Entry{path, kind, nullptr, markPath, shownAs, true});
    }
    // Ends the entry's busy time: kept when `made`, else dropped (with its mark; `path`, which
    // may be anyone's, stays).
    auto settle = [&registry, id](std::unique_ptr<OutputFile> mark, bool made) {
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto it = registry.entries.find(id);
        if (made) {
            it->second.mark = std::move(mark);
            it->second.busy = false;
        } else {
            if (mark) {
                mark.reset();
                std::error_code ec;
                std::filesystem::remove(NativePath(it->second.markPath), ec);
            }
            registry.entries.erase(it);
        }
        registry.settled.notify_all();
    };

    std::unique_ptr<OutputFile> mark;
    bool made = false;
    try {
        if (!markPath.empty())
            mark = OutputFile::CreateNew(markPath, path, Access::kPrivate);
        made = (markPath.empty() || mark) && create();
    } catch (...) {
        settle(std::move(mark), false);
        throw;
    }
    settle(std::move(mark), made);
    TemporaryPath created;
    if (made) {
        created.id_ = id;
        created.path_ = path;
        created.kind_ = kind;
    }
    return created;
}

TemporaryPath::TemporaryPath(TemporaryPath&& other) noexcept
    : id_(std::exchange(other.id_, 0)), path_(std::move(other.path_)), kind_(other.kind_) {}

TemporaryPath& TemporaryPath::operator=(TemporaryPath&& other) noexcept {
    if (this != &other) {
        Remove();
        id_ = std::exchange(other.id_, 0);
        path_ = std::move(other.path_);
        kind_ = other.kind_;
    }
    return *this;
}

TemporaryPath::~TemporaryPath() {
    Remove();
}

void TemporaryPath::Remove() {
    if (id_ == 0)
        return;
    Registry& registry = TheRegistry();
    const std::uint64_t id = std::exchange(id_, 0);
    Entry removing{path_, kind_, nullptr, std::string(), std::string()};
    bool registered = false;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto it = registry.entries.find(id);
        if (it != registry.entries.end()) {
            // Stays registered, busy, until it is gone: an interruption's clean-up waits for it
            // instead of ending the process halfway through it.
            removing.mark = std::move(it->second.mark);
            removing.markPath = it->second.markPath;
            it->second.busy = true;
            registered = true;
        }
        // Otherwise removed by RemoveAllTemporaryPaths already, or not: Windows deletes no open
        // file.
    }
    RemoveEntry(removing);
    if (registered) {
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.entries.erase(id);
        registry.settled.notify_all();
    }
}

void TemporaryPath::Keep() {
    if (id_ == 0)
        return;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const auto it = registry.entries.find(std::exchange(id_, 0));
    if (it == registry.entries.end())
        return;
    // What is kept is no one's to sweep: its mark goes.
    if (it->second.mark) {
        it->second.mark.reset();
        std::error_code ec;
        std::filesystem::remove(NativePath(it->second.markPath), ec);
    }
    registry.entries.erase(it);
}

void TemporaryPath::ShowAs(const std::string& shownAs) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const auto it = registry.entries.find(id_);
    if (it != registry.entries.end())
        it->second.shownAs = shownAs;
}

void RemoveAllTemporaryPaths(bool forGood) {
    Registry& registry = TheRegistry();
    std::unique_lock<std::mutex> lock(registry.mutex);
    registry.sealed = registry.sealed || forGood;
    // What is being created or removed right now settles within moments: wait for it, so that
    // nothing is left half made or half removed.
    registry.settled.wait(lock, [&registry]() {
        for (const auto& [id, entry] : registry.entries) {
            if (entry.busy)
                return false;
        }
        return true;
    });
    for (auto it = registry.entries.rbegin(); it != registry.entries.rend(); ++it)
        RemoveEntry(it->second);
    registry.entries.clear();
}

namespace {

// The working directory that `path` lies beneath, or null. Called with the registry locked.
const Entry* WorkingDirectoryHolding(const Registry& registry, const std::string& path) {
    for (const auto& [id, entry] : registry.entries) {
        const std::string& directory = entry.path;
        if (entry.kind == TemporaryPath::Kind::kWorkingDirectory &&
            path.size() > directory.size() + 1 &&
            path.compare(0, directory.size(), directory) == 0 &&
            (path[directory.size()] == '/' || path[directory.size()] == kPathSeparator)) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

bool IsInWorkingDirectory(const std::string& path) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return WorkingDirectoryHolding(registry, path) != nullptr;
}

std::string ShownPath(const std::string& path) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const Entry* holder = WorkingDirectoryHolding(registry, path);
    if (holder == nullptr || holder->shownAs.empty())
        return path;
    return holder->shownAs + ": member " + path.substr(holder->path.size() + 1);
}

std::uint64_t FreshNameBits() {
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        // The clock too, in case the system's source is a fixed sequence.
        std::seed_seq seed{
            device(), device(),
            static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    return generator();
}

std::size_t TemporaryPathCount() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return registry.entries.size();
}

}  // namespace carconv
