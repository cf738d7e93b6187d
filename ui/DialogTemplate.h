#pragma once

#include <cstdint>
#include <span>

// Dialogs are described by constant tables, so a program's layout reads as data and can be checked
// against its drawing. Positions and sizes are in dialog units (see DialogUnits.h).

enum class ControlKind : std::uint8_t {
    Static, // a text label; with SunkenEdge a value field
    GroupBox, // a frame drawn behind the controls listed after it
    PushButton, // sends BN_CLICKED
    CheckBox, // with AutoCheck it toggles itself; sends BN_CLICKED
    Edit, // one line, or several with MultiLine
    ProgressBar, // range 0 to 100 until PBM_SETRANGE says otherwise
};

// Control styles, combined with |.
enum ControlStyle : std::uint32_t {
    NoStyle = 0,
    SunkenEdge = 1u << 0,
    Centered = 1u << 1,
    Hidden = 1u << 2, // never shown; the control still has its rectangle (placeholders)
    Disabled = 1u << 3,
    ReadOnly = 1u << 4,
    MultiLine = 1u << 5,
    VerticalScroll = 1u << 6,
    AutoHScroll = 1u << 7,
    Border = 1u << 8,
    TabStop = 1u << 9, // reached with Tab; controls without it still take the focus when clicked
    Group = 1u << 10,
    AutoCheck = 1u << 11,
};
constexpr ControlStyle operator|(ControlStyle a, ControlStyle b)
{
    return static_cast<ControlStyle>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}

// Window styles of the dialog itself, combined with |.
enum DialogStyle : std::uint32_t {
    NoDialogStyle = 0,
    NoSystemMenu = 1u << 0, // no close button where the window manager lets us ask for that
    SetForeground = 1u << 1, // the dialog brings itself to the front when it is created
    CaptionOkButton = 1u << 2, // an "OK" button in a strip above the template area (IDOK)
};
constexpr DialogStyle operator|(DialogStyle a, DialogStyle b)
{
    return static_cast<DialogStyle>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}

// Controls without an id of their own (labels, frames) use NoControlId; they cannot be bound.
constexpr int NoControlId = -1;

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char16_t* text; // initial text; nullptr or u"" for none
    int x;
    int y;
    int cx;
    int cy;
    ControlStyle style = NoStyle;
};

// Controls are created in table order, which is also the Tab order and the stacking order (later
// controls are drawn over earlier ones).
struct DialogTemplate {
    int id;
    const char16_t* title;
    int cx; // template area in dialog units
    int cy;
    DialogStyle style;
    std::span<const ControlTemplate> controls;
};
