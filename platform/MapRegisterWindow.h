#pragma once

#include <cstdint>

// Maps `size` bytes of device registers that the device knows at `platformAddress` into this process,
// readable and writable, and returns the start of the window, or null when it cannot be reached.
//
// Where the registers come from is decided here, once per call:
// - REGWIN_PHYS_<8 lowercase hex digits of platformAddress> (for example REGWIN_PHYS_92100000=0xfe200000)
//   names the physical address of the block. The window is then mapped from /dev/mem with O_SYNC
//   (uncached). A malformed or unaligned value gives null rather than a silent simulation. The variable
//   is read with secure_getenv, so set-user-id programs never honour it.
// - A board is either real or simulated, never both: once any REGWIN_PHYS_ variable is set, a block
//   without its own gives null.
// - Otherwise the simulated board: the file <8 lowercase hex digits>.reg in the board directory
//   (BoardDirectory.h), which must be ours and private; the file is opened relative to it. A missing
//   board directory is created (mode 0700) when its parent exists, except in a set-user-id, set-group-id
//   or file-capability program. The file is created zero-filled or grown to `size` bytes when it is
//   missing or shorter; a longer file is left as it is. It must be a regular file of the effective user
//   with a single name (no second hard link). The mapping is shared, so every process that maps the same
//   file sees the same registers live. Registers are little-endian 32-bit words at their offsets.
//
// Every reason for a null window is said on standard error ("regwin: ..."), each one once.
// `size` must be a non-zero multiple of 4. Not thread-safe with respect to the environment.
[[nodiscard]] void* MapRegisterWindow(std::uint32_t platformAddress, std::uint32_t size);

// Releases a window that MapRegisterWindow returned for `size` bytes. A null window is ignored.
void UnmapRegisterWindow(void* window, std::uint32_t size);

// For tests: physical windows come from `path`, an ordinary file standing in for the memory device, for
// the rest of the process, so a test can never map real memory. The shared libraries do not export it
// and no environment variable reaches it.
void UseMemoryDeviceStandIn(const char* path);
