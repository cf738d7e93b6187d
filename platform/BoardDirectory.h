#pragma once

#include <string>

// The simulated board's directory, shared by the libraries and the tools that show or drive the board.

// Where the register files live: `regwinDir` when set and not empty, else `runtimeDir`/regwin, else
// /tmp/regwin-<effectiveUid>. Empty variables count as unset.
std::string BoardDirectoryPath(const char* regwinDir, const char* runtimeDir, unsigned effectiveUid);

// The same for this process: REGWIN_DIR and XDG_RUNTIME_DIR read with secure_getenv (a set-user-id
// program gets the /tmp fallback), and the effective uid.
std::string BoardDirectoryPath();

// Opens the board directory so that register files can be opened relative to it, with no window between
// a check and the open. Never through a symbolic link at its last component, and only a directory that
// belongs to the effective user and that neither its group nor others can write: whoever can write it
// chooses our registers. Returns the descriptor (close-on-exec), or -1 with errno set and a sentence for
// the user in *problem. Never creates anything.
int OpenBoardDirectory(const std::string& path, std::string* problem);
