#pragma once

#include <cstdint>

class CSkinEvent;

// Anything told about a control's events: the application's control dispatch and the main
// window logic.
class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void OnControlEvent(const CSkinEvent& event, int32_t controlId) = 0;
};
