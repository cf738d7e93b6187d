#pragma once

#include "platform/RunProgram.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

// Every symbol that the shared object `library` defines for programs that load it, with its version as nm
// lists it ("GetGPInput@@PINBANK_1"); the GNU linker adds each version node's own name.
inline std::set<std::string> DefinedDynamicSymbols(const char* library, const std::string& scratchDirectory)
{
    const ProgramResult nm = RunProgram(
        NM_PROGRAM, { "-D", "--defined-only", "--format=just-symbols", library }, scratchDirectory);
    EXPECT_EQ(nm.exitCode, 0) << nm.err;
    std::set<std::string> names;
    std::istringstream lines(nm.out);
    for (std::string line; std::getline(lines, line);)
        names.insert(line);
    return names;
}
