#pragma once

#include <cstdint>

// The message vocabulary the two programs were written against. Values match the classic window
// system so that the programs' own tables (message maps, progress-bar messages) read as written.
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using BOOL = int;
using UINT_PTR = std::uintptr_t;
// A colour as 0x00BBGGRR, built with RGB.
using COLORREF = std::uint32_t;

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

// WM_SETICON's wParam.
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

constexpr std::uint16_t LOWORD(std::uintptr_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }
constexpr std::uint16_t HIWORD(std::uintptr_t value) { return static_cast<std::uint16_t>((value >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(std::uint16_t low, std::uint16_t high)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16));
}
// WM_COMMAND carries the control id in the low word and the notification code in the high word.
constexpr WPARAM MAKEWPARAM(std::uint16_t low, std::uint16_t high)
{
    return static_cast<WPARAM>(static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16));
}

constexpr COLORREF RGB(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return static_cast<COLORREF>(red) | (static_cast<COLORREF>(green) << 8) | (static_cast<COLORREF>(blue) << 16);
}
constexpr std::uint8_t GetRValue(COLORREF colour) { return static_cast<std::uint8_t>(colour & 0xFF); }
constexpr std::uint8_t GetGValue(COLORREF colour) { return static_cast<std::uint8_t>((colour >> 8) & 0xFF); }
constexpr std::uint8_t GetBValue(COLORREF colour) { return static_cast<std::uint8_t>((colour >> 16) & 0xFF); }
