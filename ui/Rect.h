#pragma once

// A rectangle in pixels, right and bottom exclusive, as the classic window system keeps them. Client
// rectangles of a dialog are relative to the top-left of its template area.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
    constexpr bool operator==(const Rect&) const = default;
};
