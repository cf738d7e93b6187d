#include "tools/probecheck/DeviceLibrary.h"

#include "tools/common/ReadLink.h"

#include <cstdlib>
#include <memory>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace {

// The folder the running program lies in, with its trailing slash; empty when unknown.
std::string ProgramDirectory()
{
    const std::string program = ReadLink("/proc/self/exe");
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
}

} // namespace

DeviceLibrary::~DeviceLibrary()
{
    if (handle)
        dlclose(handle);
}

bool DeviceLibrary::Load(const char* fileName, std::string* error)
{
    // The folder is looked up here rather than left to the program's run path, which the loader does
    // not consult when a sanitizer's runtime makes the dlopen call on the program's behalf. The installed
    // layout comes first: an installed probecheck must load the libraries of its own packages (under the
    // multiarch directory), not whatever an old install left in a plain ../lib. A build tree has nothing
    // at the installed place, so it still finds build/lib.
    std::string chosen = fileName;
    const std::string directory = ProgramDirectory();
    for (const char* libraryDirectory : { PROBECHECK_INSTALL_LIBRARY_DIR, PROBECHECK_BUILD_LIBRARY_DIR }) {
        const std::string candidate = directory + libraryDirectory + "/" + fileName;
        const std::unique_ptr<char, decltype(&std::free)> resolved(
            directory.empty() ? nullptr : realpath(candidate.c_str(), nullptr), &std::free);
        if (resolved) {
            chosen = resolved.get();
            break;
        }
    }
    // Every symbol resolved now: a library missing one of its own dependencies fails here, with the
    // loader's reason, instead of in the middle of a check.
    handle = dlopen(chosen.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        *error = std::string("cannot load ") + fileName + ": " + (reason ? reason : "unknown reason");
        return false;
    }
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name)
        path = map->l_name;
    return true;
}

void* DeviceLibrary::Symbol(const char* name, std::string* error)
{
    void* address = handle ? dlsym(handle, name) : nullptr;
    if (!address)
        *error = path + " does not export " + name;
    return address;
}
