#pragma once

// Why a library entry function is being called. The values are the loader's classic reason codes so
// a trace or a debugger shows the numbers people expect.
//
// On Linux only the two process reasons are ever delivered: the ELF constructor of a library runs its
// entry function with ProcessAttach when the library is loaded (at program start or by dlopen), and
// the ELF destructor runs it with ProcessDetach when it is unloaded, which for the shipped libraries
// (linked with -z nodelete) is only at process exit; their unloadable test copies detach at dlclose. The
// Linux loader has no per-thread callback, so ThreadAttach and ThreadDetach never arrive by
// themselves; the entry functions still handle them so their behaviour is defined and testable.
enum class AttachReason {
    ProcessDetach = 0,
    ProcessAttach = 1,
    ThreadAttach = 2,
    ThreadDetach = 3,
};
