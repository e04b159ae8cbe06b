#pragma once

#include <cstdint>

// Event kinds of skin controls; the values are shared with the listeners of the application.
namespace SkinEventKind {
constexpr int32_t MouseMove = 1;
constexpr int32_t MouseButton = 2;
constexpr int32_t MouseEnter = 3;
constexpr int32_t MouseLeave = 4;
constexpr int32_t MouseWheel = 5;
constexpr int32_t Timer = 16;
constexpr int32_t Enable = 32;
constexpr int32_t SwitchChanged = 256;
constexpr int32_t SwitchHover = 257;
constexpr int32_t SelectorChanged = 512;
constexpr int32_t TextClicked = 768;
constexpr int32_t TextValueDragged = 769;
constexpr int32_t MixViewScroll = 20480;
} // namespace SkinEventKind

// Mouse key flags as the window system reports them with pointer events.
namespace SkinKeys {
constexpr uint32_t LeftButton = 0x0001;
constexpr uint32_t RightButton = 0x0002;
constexpr uint32_t Shift = 0x0004;
constexpr uint32_t Control = 0x0008;
constexpr uint32_t MiddleButton = 0x0010;
} // namespace SkinKeys

// One event of the skin: a kind and the data that kind carries. Coordinates are form coordinates.
class CSkinEvent {
public:
    int32_t kind = 0;
    int32_t x = 0;
    int32_t y = 0;
    uint32_t keys = 0;        // SkinKeys flags
    bool rightButton = false; // mouse button
    bool down = false;        // mouse button: pressed (else released)
    bool doubleClick = false; // mouse button
    int32_t wheelDelta = 0;   // mouse wheel, 120 per notch
    int32_t timerId = 0;      // timer
    int32_t value = 0;        // enable flag, switch state, selector value, hover flag, scroll amount
    float floatValue = 0.0f;  // dragged text value
    const CSkinEvent* source = nullptr; // the mouse event behind a control event, or none

    static CSkinEvent Mouse(int32_t kind, int32_t x, int32_t y, uint32_t keys)
    {
        CSkinEvent e;
        e.kind = kind;
        e.x = x;
        e.y = y;
        e.keys = keys;
        return e;
    }
    static CSkinEvent Button(int32_t x, int32_t y, uint32_t keys, bool right, bool down, bool doubleClick)
    {
        CSkinEvent e = Mouse(SkinEventKind::MouseButton, x, y, keys);
        e.rightButton = right;
        e.down = down;
        e.doubleClick = doubleClick;
        return e;
    }
    static CSkinEvent Wheel(int32_t x, int32_t y, uint32_t keys, int32_t delta)
    {
        CSkinEvent e = Mouse(SkinEventKind::MouseWheel, x, y, keys);
        e.wheelDelta = delta;
        return e;
    }
    static CSkinEvent Timer(int32_t timerId)
    {
        CSkinEvent e;
        e.kind = SkinEventKind::Timer;
        e.timerId = timerId;
        return e;
    }
    static CSkinEvent Value(int32_t kind, int32_t value, const CSkinEvent* source = nullptr)
    {
        CSkinEvent e;
        e.kind = kind;
        e.value = value;
        e.source = source;
        return e;
    }
    bool IsShift() const { return (keys & SkinKeys::Shift) != 0; }
};
