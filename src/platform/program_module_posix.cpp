#include "platform/program_module.h"

#include <dlfcn.h>
#include <stdlib.h>

namespace carconv {

std::string ProgramDirectory() {
    char* resolved = realpath("/proc/self/exe", nullptr);
    if (resolved == nullptr)
        return "";
    std::string path = resolved;
    free(resolved);
    const std::string::size_type slash = path.find_last_of('/');
    if (path.empty() || path[0] != '/' || slash == std::string::npos)
        return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void* LoadModuleSymbol(const std::string& path, const char* name, std::string& problem) {
    if (path.empty() || path[0] != '/') {
        problem = "not an absolute path: " + path;
        return nullptr;
    }
    // Every symbol now, so that a module that does not fit this program fails here and not in
    // the middle of a window; local, so that its names never stand in for the program's own.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* reason = dlerror();
        problem = reason != nullptr ? reason : "cannot load " + path;
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) {
        const char* reason = dlerror();
        problem = reason != nullptr ? reason : path + " has no " + name;
        return nullptr;
    }
    return symbol;
}

}  // namespace carconv
