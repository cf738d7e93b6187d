#pragma once

#include "ui/MessageTypes.h"

// Icons are named by resource ids, as the programs' resource scripts did. A program maps each id to a
// Qt resource path (":/skyprobe/icon.png") once, before loading; the layer only loads them.
enum class HICON : std::intptr_t {};
constexpr HICON NullIcon {};

// Makes resource id available to LoadIcon. A later call for the same id replaces the path.
void RegisterIconResource(int resourceId, const char* path);

// The icon for resource id, or NullIcon when the id is not registered or its file does not exist.
// Handles stay valid for the life of the process; nothing needs freeing.
HICON LoadIcon(int resourceId);

// The path behind a handle, or nullptr for NullIcon and unknown handles.
const char* IconPath(HICON icon);
