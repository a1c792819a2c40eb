#include "platform/temporary_path.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

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
};

// Never destroyed: an interruption may use it while the main thread is already running the
// static destructors at the end of the process.
struct Registry {
    std::mutex mutex;
    std::map<std::uint64_t, Entry> entries;
    std::uint64_t next = 1;
    bool sealed = false;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// Called with the registry's lock held. The mark goes last, closed before it is deleted (Windows
// cannot delete an open file).
void RemoveEntry(Entry& entry) {
    std::error_code ec;
    if (entry.kind == TemporaryPath::Kind::kDirectoryTree)
        std::filesystem::remove_all(NativePath(entry.path), ec);
    else
        std::filesystem::remove(NativePath(entry.path), ec);
    if (entry.mark) {
        entry.mark.reset();
        std::filesystem::remove(NativePath(entry.markPath), ec);
    }
}

}  // namespace

TemporaryPath TemporaryPath::Create(const std::string& path, Kind kind,
                                    const std::function<bool()>& create,
                                    const std::string& markPath) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (registry.sealed)
        throw InterruptedError(StopSignal() != 0 ? StopSignal() : kInterruptSignal);
    TemporaryPath created;
    Entry entry{path, kind, nullptr, markPath};
    if (!markPath.empty()) {
        entry.mark = OutputFile::CreateNew(markPath, path);
        if (!entry.mark)
            return created;
    }
    // When `create` made nothing, the mark goes again; `path`, which may be anyone's, stays.
    auto dropMark = [&entry]() {
        if (entry.mark) {
            entry.mark.reset();
            std::error_code ec;
            std::filesystem::remove(NativePath(entry.markPath), ec);
        }
    };
    bool made = false;
    try {
        made = create();
    } catch (...) {
        dropMark();
        throw;
    }
    if (!made) {
        dropMark();
        return created;
    }
    created.id_ = registry.next++;
    created.path_ = path;
    created.kind_ = kind;
    registry.entries.emplace(created.id_, std::move(entry));
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
    // Removed under the lock: an interruption's clean-up waits for it instead of ending the
    // process halfway through it.
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.entries.find(std::exchange(id_, 0));
    if (it != registry.entries.end()) {
        RemoveEntry(it->second);
        registry.entries.erase(it);
    } else {
        // Removed by RemoveAllTemporaryPaths already, or not: Windows deletes no open file.
        Entry gone{path_, kind_, nullptr, std::string()};
        RemoveEntry(gone);
    }
}

void TemporaryPath::Keep() {
    if (id_ == 0)
        return;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.entries.erase(std::exchange(id_, 0));
}

void RemoveAllTemporaryPaths(bool forGood) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.sealed = registry.sealed || forGood;
    for (auto it = registry.entries.rbegin(); it != registry.entries.rend(); ++it)
        RemoveEntry(it->second);
    registry.entries.clear();
}

std::size_t TemporaryPathCount() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return registry.entries.size();
}

}  // namespace carconv
