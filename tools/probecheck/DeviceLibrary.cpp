#include "tools/probecheck/DeviceLibrary.h"

#include <dlfcn.h>
#include <link.h>

DeviceLibrary::~DeviceLibrary()
{
    if (handle)
        dlclose(handle);
}

bool DeviceLibrary::Load(const char* fileName, std::string* error)
{
    // Every symbol resolved now: a library missing one of its own dependencies fails here, with the
    // loader's reason, instead of in the middle of a check.
    handle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
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
