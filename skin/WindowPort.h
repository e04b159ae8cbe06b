#pragma once

#include "SkinRect.h"

#include <cstdint>

class CSkinPicture;

// The native window under the panel stack, as the stack sees it. The Qt window implements it;
// the skin core knows nothing else of the window system.
class CWindowPort {
public:
    virtual ~CWindowPort() = default;
    virtual void SetCapture() = 0;
    virtual void ReleaseCapture() = 0;
    virtual void SetClientSize(int32_t width, int32_t height) = 0;
    virtual void SetResizable(bool resizable) = 0;
    virtual void InvalidateAll() = 0;
    virtual void InvalidateRect(const SkinRect& rect) = 0;
    // The damaged area not yet painted; false when there is none.
    virtual bool GetUpdateRect(SkinRect& rect) const = 0;
};
