#pragma once

#include <dlfcn.h>

// A library loaded with dlopen for one test and unloaded at the end. RTLD_LOCAL and the final dlclose
// give the next load fresh process-wide state (and run the library's attach and detach again).
class SharedLibrary {
public:
    explicit SharedLibrary(const char* path)
        : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL))
    {
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary() { Unload(); }

    bool IsLoaded() const { return handle != nullptr; }

    void Unload()
    {
        if (handle)
            dlclose(handle);
        handle = nullptr;
    }

    // Looks an export up by its plain name; null when the library does not export it.
    template <typename Function> Function* Find(const char* name) const
    {
        return handle ? reinterpret_cast<Function*>(dlsym(handle, name)) : nullptr;
    }

private:
    void* handle;
};
