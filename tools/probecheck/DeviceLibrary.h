#pragma once

#include <string>

// One of the device libraries, loaded at run time the way any program on the device may load it: with
// dlopen, by its file name. The program's own library folder (the installed library folder beside the
// installed program, or build/lib beside build/bin) comes first, then the loader's usual search.
// Closed when the object goes; the libraries themselves stay loaded until the process exits.
class DeviceLibrary {
public:
    DeviceLibrary() = default;
    DeviceLibrary(const DeviceLibrary&) = delete;
    DeviceLibrary& operator=(const DeviceLibrary&) = delete;
    ~DeviceLibrary();

    // fileName as the loader looks it up ("libpinbank.so.1"). False with the loader's message.
    [[nodiscard]] bool Load(const char* fileName, std::string* error);

    // The address of an exported function as the given pointer type; false with a message when the
    // library does not export it.
    template <typename Function>
    [[nodiscard]] bool Find(const char* name, Function** function, std::string* error)
    {
        void* address = Symbol(name, error);
        *function = reinterpret_cast<Function*>(address);
        return address != nullptr;
    }

    // Where the loader found the library, for the record; empty when unknown.
    const std::string& Path() const { return path; }

private:
    void* Symbol(const char* name, std::string* error);

    void* handle = nullptr;
    std::string path;
};
