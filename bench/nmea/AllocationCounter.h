#pragma once

#include <cstddef>

// Number of global operator new calls (every form) made by this program so far. The replacement
// operators live in their own source file so the compiler never inlines them into callers.
std::size_t AllocationCount();
