#pragma once

#include <cxxabi.h>

// Runs `body` and hands back its result, or `failed` when it throws. The C exports and the load and
// unload hooks wrap their work in this: a C caller cannot catch a C++ exception (a bad_alloc while a
// path is built, say), so one escaping would end the calling program. The unwinding of a cancelled
// thread is not an error and carries on.
template <typename Result, typename Body> Result WithoutExceptions(Result failed, Body&& body)
{
    try {
        return body();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        return failed;
    }
}
