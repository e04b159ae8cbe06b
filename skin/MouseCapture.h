#pragma once

#include <cstdint>

class CSkinControl;
class CSkinEvent;

// The mouse handling of a control that only passes its events on to its listeners: a press
// (or double click) captures the mouse until the last release, moves count only while the
// mouse is captured, and entering or leaving is passed on without being consumed.
class CMouseCapture {
public:
    // Passes event on for control; non-zero when the control consumed it.
    int HandleEvent(CSkinControl& control, const CSkinEvent& event);

private:
    int32_t m_captures = 0; // presses not yet released
};
