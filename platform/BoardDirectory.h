#pragma once

#include <string>

// The simulated board's directory, shared by the libraries and the tools that show or drive the board.

// Where the register files live: `regwinDir` when set and not empty, else `runtimeDir`/regwin, else
// /tmp/regwin-<effectiveUid>. Empty variables count as unset.
std::string BoardDirectoryPath(const char* regwinDir, const char* runtimeDir, unsigned effectiveUid);

// The same for this process: REGWIN_DIR and XDG_RUNTIME_DIR read with secure_getenv (a set-user-id
// program gets the /tmp fallback), and the effective uid.
std::string BoardDirectoryPath();

// Splits `path` into the directory that holds its last component ("." for a bare name, "/" at the root)
// and that component, so the component can be opened or made relative to the opened directory.
void SplitPath(const std::string& path, std::string* directory, std::string* name);

// Why opening the directory `path` without following a link at its end failed with `error`, in words for
// the user; a symbolic link and something else than a directory are told apart.
std::string DirectoryOpenFailure(const std::string& path, int error);

// True in a set-user-id, set-group-id or file-capability program (the loader's secure mode). Such a
// program reads none of our environment variables and creates no directory: whoever started it chose
// them, not the program's owner.
bool PrivilegedCaller();

// Opens the board directory so that register files can be opened relative to it, with no window between
// a check and the open. Never through a symbolic link at its last component, and only a directory that
// belongs to the effective user and that neither its group nor others can write: whoever can write it
// chooses our registers. Returns the descriptor (close-on-exec), or -1 with errno set and a sentence for
// the user in *problem. Never creates anything.
int OpenBoardDirectory(const std::string& path, std::string* problem);

// OpenBoardDirectory, after creating the directory (mode 0700) when it is missing and `mayCreate`. Only
// the last component is made, relative to its opened parent: a missing parent is an error, because
// creating a chain of directories under a path that others can change (following their links on the
// way) would build ours wherever they pointed it.
int OpenOrCreateBoardDirectory(const std::string& path, bool mayCreate, std::string* problem);
