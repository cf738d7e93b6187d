#pragma once

#include <cstdint>

// The message vocabulary the two programs were written against. Values match the classic window
// system so that the programs' own tables (message maps, progress-bar messages) read as written.
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using BOOL = int;

// A window handle is a number that is never reused within a process, so a handle kept by a thread
// after its window has gone can only miss, never reach another window.
enum class HWND : std::uint32_t {};
constexpr HWND NullWindow {};

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

constexpr UINT BN_CLICKED = 0;

constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
