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
// - Otherwise the simulated board: the file <8 lowercase hex digits>.reg in $REGWIN_DIR (default
//   $XDG_RUNTIME_DIR/regwin, else /tmp/regwin-<uid>, which must then be a private directory of ours).
//   The directory is created (mode 0700) and the file is created zero-filled or grown to `size` bytes
//   when it is missing or shorter; a longer file is left as it is. The mapping is shared, so every
//   process that maps the same file sees the same registers live. Registers are little-endian 32-bit
//   words at their offsets.
//
// `size` must be a non-zero multiple of 4. Not thread-safe with respect to the environment.
[[nodiscard]] void* MapRegisterWindow(std::uint32_t platformAddress, std::uint32_t size);

// Releases a window that MapRegisterWindow returned for `size` bytes. A null window is ignored.
void UnmapRegisterWindow(void* window, std::uint32_t size);
