#include "SkinArtwork.h"

#include "FormSource.h"
#include "GlyphRenderer.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

namespace {

// The palette. Panels are graphite, never pure black, so wells and displays read as sunken.
constexpr uint32_t kPanelTop = 0xFF22272Eu;
constexpr uint32_t kPanelBottom = 0xFF171A1Fu;
constexpr uint32_t kPanelMid = 0xFF1D2127u; // what buttons and handles are drawn over
constexpr uint32_t kEdgeLight = 0xFF323943u;
constexpr uint32_t kEdgeDark = 0xFF0B0D10u;
constexpr uint32_t kWell = 0xFF0C0E11u;
constexpr uint32_t kLabel = 0xFFC9D1DAu;
constexpr uint32_t kLabelHover = 0xFFF4F7FAu;
constexpr uint32_t kLabelPressed = 0xFFAEB6BFu;
constexpr uint32_t kLabelDisabled = 0xFF4A525Cu;
constexpr uint32_t kDim = 0xFF6D7784u;
constexpr uint32_t kAmber = 0xFFFFA53Au; // Deck A
constexpr uint32_t kCyan = 0xFF3CC8E6u;  // Deck B
constexpr uint32_t kGreen = 0xFF7EDC8Cu; // neutral "on"
constexpr uint32_t kYellow = 0xFFF2D14Bu;
constexpr uint32_t kRed = 0xFFFF4A3Du;
constexpr uint32_t kBlue = 0xFF7CA7D8u;

uint32_t Named(const std::string& name)
{
    static const std::map<std::string, uint32_t> colours = {
        {"amber", kAmber}, {"cyan", kCyan}, {"green", kGreen},     {"dim", kDim},          {"light", kLabel},
        {"red", kRed},     {"blue", kBlue}, {"pale", 0xFFC8D3BEu}, {"white", 0xFFFFFFFFu},
    };
    const auto it = colours.find(name);
    return it == colours.end() ? kLabel : it->second;
}

uint32_t Darker(uint32_t c, float f)
{
    return CSkinCanvas::Mix(c | 0xFF000000u, 0xFF000000u, f);
}

} // namespace

CSkinArtwork::CSkinArtwork(CGlyphRenderer& glyphs) : m_glyphs(glyphs)
{
}

// ---- Backgrounds -------------------------------------------------------------------------

CSkinCanvas CSkinArtwork::Background(int32_t width, int32_t height, const CFormSource* form)
{
    CSkinCanvas c(width, height, 0xFF000000u);
    c.GradientRect(0, 0, width, height, kPanelTop, kPanelBottom);
    c.HLine(0, 0, width, kEdgeLight);
    c.HLine(0, height - 1, width, kEdgeDark);
    if (form != nullptr)
        for (const FormDeco& deco : form->Decos())
            Deco(c, deco);
    return c;
}

void CSkinArtwork::Deco(CSkinCanvas& c, const FormDeco& d)
{
    const auto x = static_cast<float>(d.x);
    const auto y = static_cast<float>(d.y);
    const auto w = static_cast<float>(d.w);
    const auto h = static_cast<float>(d.h);
    if (d.kind == "titlebar") {
        c.GradientRect(d.x, d.y, d.w, d.h, 0xFF121519u, 0xFF1A1E23u);
        c.HLine(d.x, d.y + d.h, d.w, kEdgeDark);
        c.HLine(d.x, d.y + d.h + 1, d.w, 0xFF262B32u);
    } else if (d.kind == "deck") {
        // A deck's own area: a raised plate edged in the deck colour, with a bright bar on top.
        const uint32_t accent = Named(d.style);
        c.RoundRect(x, y, w, h, 4.0f, Darker(accent, 0.72f), Darker(accent, 0.82f));
        c.RoundRect(x + 1, y + 1, w - 2, h - 2, 3.0f, 0xFF242931u, 0xFF1A1E24u);
        c.FillRect(d.x + 4, d.y + 1, d.w - 8, 2, accent);
        c.FillRect(d.x + 4, d.y + 3, d.w - 8, 1, Darker(accent, 0.55f));
    } else if (d.kind == "plate") {
        c.RoundRect(x, y, w, h, 4.0f, 0xFF2C323Au, 0xFF1E2228u);
        c.RoundRect(x + 1, y + 1, w - 2, h - 2, 3.0f, 0xFF22272Eu, 0xFF1A1E24u);
    } else if (d.kind == "well") {
        // Sunken: dark rim above, light rim below; an accent colour tints the rim.
        const uint32_t rim = d.style.empty() ? 0xFF2B313Au : Darker(Named(d.style), 0.45f);
        c.RoundRect(x - 1, y - 1, w + 2, h + 2, 3.0f, kEdgeDark, rim);
        c.FillRect(d.x, d.y, d.w, d.h, kWell);
        c.HLine(d.x, d.y, d.w, 0xFF050607u);
    } else if (d.kind == "lcd") {
        const uint32_t tint = Named(d.style);
        c.RoundRect(x - 1, y - 1, w + 2, h + 2, 3.0f, kEdgeDark, 0xFF2E343Cu);
        c.RoundRect(x, y, w, h, 2.0f, CSkinCanvas::Mix(tint, 0xFFFFFFFFu, 0.18f), Darker(tint, 0.12f));
        c.HLine(d.x + 1, d.y, d.w - 2, Darker(tint, 0.35f));
    } else if (d.kind == "groove") {
        // A fader slot with scale ticks every tenth of the travel.
        const bool vertical = d.h > d.w;
        const int32_t cx = d.x + d.w / 2;
        const int32_t cy = d.y + d.h / 2;
        if (vertical) {
            for (int k = 0; k <= 10; ++k)
                c.FillRect(d.x, d.y + (d.h - 1) * k / 10, k == 5 ? d.w : d.w / 4, 1, kDim);
            c.RoundRect(static_cast<float>(cx - 2), y, 4, h, 2.0f, kEdgeDark, 0xFF2A3038u);
        } else {
            for (int k = 0; k <= 10; ++k) {
                const int32_t tx = d.x + (d.w - 1) * k / 10;
                const int32_t len = k == 5 || k == 0 || k == 10 ? d.h : d.h / 4;
                c.FillRect(tx, d.y, 1, len, k == 5 ? 0xFF8A94A0u : 0xFF3E4650u);
            }
            c.RoundRect(x, static_cast<float>(cy - 2), w, 4, 2.0f, kEdgeDark, 0xFF2A3038u);
        }
    } else if (d.kind == "caption") {
        // Text on the panel; the height gives the type size.
        const TypeFace face = d.h >= 14 ? TypeFace::Bold : TypeFace::CondensedBold;
        m_glyphs.DrawCentred(c, d.x, d.y, d.w, d.h, d.text, std::max(7, d.h - 2), face, Named(d.style));
    } else if (d.kind == "caption-left") {
        const auto size = std::max(7, d.h - 2);
        m_glyphs.DrawText(c, d.x, d.y + static_cast<int32_t>(std::lround(size * 0.9)), d.text, size,
                          d.h >= 14 ? TypeFace::Bold : TypeFace::Regular, Named(d.style));
    } else if (d.kind == "line") {
        c.FillRect(d.x, d.y, d.w, d.h, d.style.empty() ? kEdgeDark : Named(d.style));
        if (d.style.empty())
            c.FillRect(d.x + (d.w == 1 ? 1 : 0), d.y + (d.h == 1 ? 1 : 0), d.w, d.h, 0xFF2A3038u);
    } else if (d.kind == "grip") {
        for (int32_t i = d.x; i < d.x + d.w; i += 3) {
            c.Set(i, d.y + d.h / 2 - 1, 0xFF3E4650u);
            c.Set(i + 1, d.y + d.h / 2, kEdgeDark);
        }
    } else if (d.kind == "glow") {
        const uint32_t accent = Named(d.style);
        c.Glow(x + w / 2, y + h / 2, std::max(w, h) / 2, accent, 0.35f);
    } else if (d.kind == "stripe") {
        // Two deck colours meeting in the middle: the signature line of the about page.
        for (int32_t i = 0; i < d.w; ++i)
            c.FillRect(d.x + i, d.y, 1, d.h,
                       CSkinCanvas::Mix(kAmber, kCyan,
                                        static_cast<float>(i) / static_cast<float>(std::max(1, d.w - 1))));
    }
}

// ---- Buttons -------------------------------------------------------------------------------

void CSkinArtwork::ButtonFace(CSkinCanvas& c, int32_t x, int32_t w, int32_t h, Look look, bool on,
                              uint32_t accent)
{
    const auto fx = static_cast<float>(x);
    const auto fw = static_cast<float>(w);
    const auto fh = static_cast<float>(h);
    c.FillRect(x, 0, w, h, kPanelMid);
    uint32_t top = 0xFF3B434Du, bottom = 0xFF272C33u, rim = 0xFF0A0C0Fu;
    if (look == Look::Hover) {
        top = 0xFF4A5461u;
        bottom = 0xFF30363Eu;
        rim = 0xFF5F6B79u;
    } else if (look == Look::Pressed) {
        // Pushed in: a dark face with a lit rim, so a held button stands out from a hovered one.
        top = 0xFF111317u;
        bottom = 0xFF1F242Au;
        rim = CSkinCanvas::Mix(0xFF05060Au, kBlue, 0.6f);
    } else if (look == Look::Disabled) {
        top = 0xFF22262Bu;
        bottom = 0xFF1D2025u;
        rim = 0xFF15181Bu;
    }
    if (on && look != Look::Disabled) {
        // Lit: the face takes a clear share of the accent, so "on" reads at a glance.
        top = CSkinCanvas::Mix(top, accent, 0.30f);
        bottom = CSkinCanvas::Mix(bottom, accent, 0.22f);
        rim = CSkinCanvas::Mix(rim, accent, 0.6f);
    }
    c.RoundRect(fx, 0, fw, fh, 3.0f, rim, rim);
    c.RoundRect(fx + 1, 1, fw - 2, fh - 2, 2.5f, top, bottom);
    if (look == Look::Normal || look == Look::Hover)
        c.HLine(x + 3, 1, w - 6, CSkinCanvas::Mix(top, 0xFFFFFFFFu, 0.18f));
}

CSkinCanvas CSkinArtwork::ButtonStrip(int32_t w, int32_t h, int32_t states, bool press, bool hover,
                                      bool disabled, uint32_t accent, const Content& content)
{
    std::vector<std::pair<int32_t, Look>> frames;
    for (const Look look : {Look::Normal, Look::Pressed, Look::Hover}) {
        if ((look == Look::Pressed && !press) || (look == Look::Hover && !hover))
            continue;
        for (int32_t s = 0; s < states; ++s)
            frames.emplace_back(s, look);
    }
    if (disabled)
        frames.emplace_back(0, Look::Disabled);
    CSkinCanvas strip(w * static_cast<int32_t>(frames.size()), h, 0xFF000000u);
    for (size_t k = 0; k < frames.size(); ++k) {
        const auto [state, look] = frames[k];
        const auto x = static_cast<int32_t>(k) * w;
        const bool on = states > 1 && state > 0;
        ButtonFace(strip, x, w, h, look, on, accent);
        uint32_t ink = look == Look::Hover      ? kLabelHover
                       : look == Look::Pressed  ? kLabelPressed
                       : look == Look::Disabled ? kLabelDisabled
                                                : kLabel;
        if (on && look != Look::Disabled)
            ink = CSkinCanvas::Mix(accent, 0xFFFFFFFFu, look == Look::Hover ? 0.45f : 0.25f);
        CSkinCanvas face(w, h, 0);
        content(face, 0, state, look, ink);
        // Pressed content sits one pixel lower, as if pushed in.
        const int32_t dy = look == Look::Pressed ? 1 : 0;
        for (int32_t j = 0; j + dy < h; ++j)
            for (int32_t i = 0; i < w; ++i) {
                const uint32_t p = face.At(i, j);
                if ((p >> 24) != 0)
                    strip.Blend(x + i, j + dy, p | 0xFF000000u, static_cast<float>(p >> 24) / 255.0f);
            }
    }
    return strip;
}

CSkinCanvas CSkinArtwork::LabelButton(int32_t w, int32_t h, int32_t states,
                                      const std::vector<std::string>& labels, uint32_t accent, bool disabled)
{
    return ButtonStrip(w, h, states, true, true, disabled, accent,
                       [&](CSkinCanvas& c, int32_t x, int32_t state, Look, uint32_t ink) {
                           const std::string& label =
                               labels[std::min<size_t>(static_cast<size_t>(state), labels.size() - 1)];
                           const int32_t size = h >= 18 ? 9 : 8;
                           m_glyphs.DrawCentred(c, x, 0, w, h, label, size, TypeFace::CondensedBold, ink);
                       });
}

CSkinArtwork::Content CSkinArtwork::Icon(const std::string& name) const
{
    return [name](CSkinCanvas& c, int32_t x, int32_t state, Look, uint32_t ink) {
        const auto cx = static_cast<float>(x) + static_cast<float>(c.Width()) / 2.0f;
        const auto cy = static_cast<float>(c.Height()) / 2.0f;
        const auto tri = [&](float left, float dir, float size) {
            c.Polygon({left, cy - size, left, cy + size, left + dir * size * 1.2f, cy}, ink);
        };
        if (name == "play") {
            if (state == 0) {
                tri(cx - 4, 1, 5);
            } else {
                c.FillRect(static_cast<int32_t>(cx) - 5, static_cast<int32_t>(cy) - 5, 3, 10, ink);
                c.FillRect(static_cast<int32_t>(cx) + 2, static_cast<int32_t>(cy) - 5, 3, 10, ink);
            }
        } else if (name == "start") {
            c.FillRect(static_cast<int32_t>(cx) - 6, static_cast<int32_t>(cy) - 4, 2, 8, ink);
            tri(cx, -1, 4);
            tri(cx + 5, -1, 4);
        } else if (name == "back") {
            tri(cx, -1, 4);
            tri(cx + 5, -1, 4);
        } else if (name == "forward") {
            tri(cx - 5, 1, 4);
            tri(cx, 1, 4);
        } else if (name == "end") {
            tri(cx - 6, 1, 4);
            tri(cx - 1, 1, 4);
            c.FillRect(static_cast<int32_t>(cx) + 4, static_cast<int32_t>(cy) - 4, 2, 8, ink);
        } else if (name == "close") {
            c.Polygon({cx - 4, cy - 3, cx - 3, cy - 4, cx + 4, cy + 3, cx + 3, cy + 4}, ink);
            c.Polygon({cx + 3, cy - 4, cx + 4, cy - 3, cx - 3, cy + 4, cx - 4, cy + 3}, ink);
        } else if (name == "minimize") {
            c.FillRect(static_cast<int32_t>(cx) - 4, static_cast<int32_t>(cy) + 2, 8, 2, ink);
        } else if (name == "maximize") {
            const auto l = static_cast<int32_t>(cx) - 4;
            const auto t = static_cast<int32_t>(cy) - 4;
            c.FillRect(l, t, 8, 2, ink);
            c.FillRect(l, t, 1, 8, ink);
            c.FillRect(l + 7, t, 1, 8, ink);
            c.FillRect(l, t + 7, 8, 1, ink);
        } else if (name == "setup") {
            // A gear: eight teeth around a ring.
            for (int k = 0; k < 8; ++k) {
                const double a = k * std::numbers::pi / 4.0;
                const auto s = static_cast<float>(std::sin(a));
                const auto co = static_cast<float>(std::cos(a));
                const auto px = [&](float r, float t) { return cx + r * co - t * s; };
                const auto py = [&](float r, float t) { return cy + r * s + t * co; };
                c.Polygon({px(3, -1.2f), py(3, -1.2f), px(5.5f, -1.0f), py(5.5f, -1.0f), px(5.5f, 1.0f),
                           py(5.5f, 1.0f), px(3, 1.2f), py(3, 1.2f)},
                          ink);
            }
            c.Disc(cx, cy, 4.0f, ink);
            c.Disc(cx, cy, 1.6f, 0xFF000000u);
        } else if (name == "up" || name == "down") {
            const float d = name == "up" ? -1.0f : 1.0f;
            c.Polygon({cx - 4, cy - 2 * d, cx + 4, cy - 2 * d, cx, cy + 2.5f * d}, ink);
        } else if (name == "minus") {
            c.FillRect(static_cast<int32_t>(cx) - 4, static_cast<int32_t>(cy) - 1, 8, 2, ink);
        } else if (name == "plus") {
            c.FillRect(static_cast<int32_t>(cx) - 4, static_cast<int32_t>(cy) - 1, 8, 2, ink);
            c.FillRect(static_cast<int32_t>(cx) - 1, static_cast<int32_t>(cy) - 4, 2, 8, ink);
        } else if (name == "follow") {
            c.Polygon({cx - 4, cy - 4, cx + 4, cy - 4, cx, cy + 1}, ink);
            c.FillRect(static_cast<int32_t>(cx) - 5, static_cast<int32_t>(cy) + 3, 10, 2, ink);
        }
    };
}

// ---- Indicators ----------------------------------------------------------------------------

CSkinCanvas CSkinArtwork::Lamp(const std::string& label)
{
    // Six brightness steps, from dark to fully lit, as the mix monitor fades a lamp out.
    constexpr int32_t w = 15, h = 12;
    CSkinCanvas strip(w * 6, h, 0xFF000000u);
    for (int k = 0; k < 6; ++k) {
        const float level = static_cast<float>(k) / 5.0f;
        const int32_t x = k * w;
        strip.FillRect(x, 0, w, h, kPanelMid);
        strip.RoundRect(static_cast<float>(x), 0, w - 1, h, 2.0f, kEdgeDark, kEdgeDark);
        const uint32_t face = CSkinCanvas::Mix(0xFF1E2620u, 0xFF5FC46Eu, level);
        strip.RoundRect(static_cast<float>(x) + 1, 1, w - 3, h - 2, 1.5f,
                        CSkinCanvas::Mix(face, 0xFFFFFFFFu, 0.2f * level), face);
        const uint32_t ink = CSkinCanvas::Mix(0xFF56605Au, 0xFF0C1A0Eu, level);
        m_glyphs.DrawCentred(strip, x, 0, w - 1, h, label, 7, TypeFace::CondensedBold, ink);
    }
    return strip;
}

CSkinCanvas CSkinArtwork::LevelMeter(int32_t segmentWidth, int32_t segments, int32_t height)
{
    // Frames stacked top to bottom: frame k lights the first k segments; green, then yellow for
    // the last fifth before the two red ones.
    const int32_t width = segmentWidth * segments;
    CSkinCanvas strip(width, height * (segments + 1), 0xFF000000u);
    for (int32_t frame = 0; frame <= segments; ++frame) {
        const int32_t y = frame * height;
        strip.FillRect(0, y, width, height, kWell);
        for (int32_t s = 0; s < segments; ++s) {
            const uint32_t colour = s >= segments - 2 ? kRed : s >= segments * 7 / 10 ? kYellow : 0xFF5BD17Au;
            const uint32_t fill = s < frame ? colour : CSkinCanvas::Mix(kWell, colour, 0.16f);
            strip.FillRect(s * segmentWidth, y, segmentWidth - 1, height, fill);
            if (s < frame)
                strip.HLine(s * segmentWidth, y, segmentWidth - 1,
                            CSkinCanvas::Mix(colour, 0xFFFFFFFFu, 0.35f));
        }
    }
    return strip;
}

CSkinCanvas CSkinArtwork::FaderHandle(int32_t w, int32_t h, uint32_t grip)
{
    // Two frames side by side: enabled and disabled.
    CSkinCanvas strip(w * 2, h, 0);
    for (int k = 0; k < 2; ++k) {
        const auto x = static_cast<float>(k * w);
        const bool enabled = k == 0;
        strip.RoundRect(x, 0, static_cast<float>(w), static_cast<float>(h), 2.5f, 0xFF07080Au, 0xFF07080Au);
        strip.RoundRect(x + 1, 1, static_cast<float>(w - 2), static_cast<float>(h - 2), 2.0f,
                        enabled ? 0xFF9AA3AEu : 0xFF3A4048u, enabled ? 0xFF59616Bu : 0xFF2A2F35u);
        const bool horizontalGrip = h < w;
        if (horizontalGrip)
            strip.FillRect(static_cast<int32_t>(x) + 2, h / 2 - 1, w - 4, 2, enabled ? grip : 0xFF555C66u);
        else
            strip.FillRect(static_cast<int32_t>(x) + w / 2 - 1, 2, 2, h - 4, enabled ? grip : 0xFF555C66u);
    }
    strip.Harden(kPanelMid);
    return strip;
}

CSkinCanvas CSkinArtwork::MarkerStrip()
{
    // Nine frames of 12 x 38: the play position, then cue, fade out and in, loop start and end,
    // then three spare looks. A marker drawn left of its column has its line at x = 10, one
    // drawn right of it at x = 0, a centred one at x = 6.
    constexpr int32_t w = 12, h = 38;
    CSkinCanvas strip(w * 9, h, 0);
    const auto marker = [&](int frame, int32_t lineX, float flagDir, uint32_t colour) {
        const int32_t x = frame * w + lineX;
        strip.FillRect(x, 0, 1, h, colour);
        const auto fx = static_cast<float>(x) + (flagDir >= 0 ? 1.0f : 0.0f);
        if (flagDir == 0) {
            strip.Polygon({fx - 4, 0, fx + 5, 0, fx + 0.5f, 5}, colour);
            strip.Polygon({fx - 4, h, fx + 5, h, fx + 0.5f, h - 5.0f}, colour);
        } else {
            strip.Polygon({fx, 0, fx + 7 * flagDir, 2.5f, fx, 5}, colour);
        }
    };
    marker(0, 6, 0, 0xFFFFFFFFu);
    marker(1, 6, 0, kRed);
    marker(2, 10, -1, kYellow);
    marker(3, 0, 1, kYellow);
    marker(4, 10, -1, kBlue);
    marker(5, 0, 1, kBlue);
    marker(6, 6, 0, kGreen);
    marker(7, 10, -1, kGreen);
    marker(8, 0, 1, kGreen);
    strip.Harden(kWell, 110);
    return strip;
}

CSkinCanvas CSkinArtwork::RunLink()
{
    // The running light in the corner: eight frames of a dot circling the disc while the mix
    // runs; frame 0 is the resting look.
    constexpr int32_t w = 16, h = 14;
    CSkinCanvas strip(w * 8, h, 0xFF000000u);
    for (int k = 0; k < 8; ++k) {
        const auto x = static_cast<float>(k * w);
        strip.FillRect(k * w, 0, w, h, 0xFF121519u);
        strip.Disc(x + 8, 7, 6.0f, 0xFF2C323Au);
        strip.Disc(x + 8, 7, 4.5f, 0xFF15181Cu);
        const double a = k * std::numbers::pi / 4.0 - std::numbers::pi / 2.0;
        const uint32_t dot = k == 0 ? kDim : (k % 2 == 0 ? kAmber : kCyan);
        strip.Disc(x + 8 + static_cast<float>(4.5 * std::cos(a)), 7 + static_cast<float>(4.5 * std::sin(a)),
                   1.7f, dot);
        strip.Disc(x + 8, 7, 1.5f, k == 0 ? kDim : kLabel);
    }
    return strip;
}

CSkinCanvas CSkinArtwork::Tab(int32_t w, int32_t h)
{
    // States 0 (another list shown) and 1 (this list shown), then their hover looks. The shown
    // tab takes the playlist panel's colour and a blue top edge, so it joins the panel below.
    CSkinCanvas strip(w * 4, h, 0xFF000000u);
    for (int k = 0; k < 4; ++k) {
        const bool shown = k % 2 == 1;
        const bool hover = k >= 2;
        const int32_t x = k * w;
        const auto fx = static_cast<float>(x);
        strip.FillRect(x, 0, w, h, 0xFF15181Cu);
        const uint32_t top = shown ? 0xFF2A3038u : (hover ? 0xFF30363Fu : 0xFF1C2026u);
        const uint32_t bottom = shown ? 0xFF22272Eu : (hover ? 0xFF262A31u : 0xFF17191Du);
        strip.RoundRect(fx + 1, 2, static_cast<float>(w - 2), static_cast<float>(h + 4), 4.0f, 0xFF0A0C0Fu,
                        0xFF0A0C0Fu);
        strip.RoundRect(fx + 2, 3, static_cast<float>(w - 4), static_cast<float>(h + 4), 3.0f, top, bottom);
        if (shown)
            strip.FillRect(x + 4, 3, w - 8, 2, kBlue);
        else
            strip.HLine(x + 1, h - 1, w - 2, 0xFF0A0C0Fu);
    }
    return strip;
}

CSkinCanvas CSkinArtwork::Wordmark(int32_t w, int32_t h, const std::string& text, uint32_t accent,
                                   uint32_t backdrop)
{
    // A link: the name in the link colour on a transparent ground, brighter and underlined on
    // hover. The soft edges are settled against the panel it sits on.
    CSkinCanvas strip(w * 2, h, 0);
    for (int k = 0; k < 2; ++k) {
        const uint32_t ink = k == 0 ? CSkinCanvas::Mix(accent, backdrop, 0.25f) : accent;
        m_glyphs.DrawCentred(strip, k * w, 0, w, h, text, h >= 16 ? 11 : 9, TypeFace::Bold, ink);
        if (k == 1) {
            const int32_t textWidth = m_glyphs.TextWidth(text, h >= 16 ? 11 : 9, TypeFace::Bold);
            strip.HLine(k * w + (w - textWidth) / 2, h - 2, textWidth, accent);
        }
    }
    strip.Harden(backdrop);
    return strip;
}

// ---- The whole set -------------------------------------------------------------------------

std::vector<CSkinArtwork::Picture> CSkinArtwork::DrawAll(const std::vector<CFormSource>& forms)
{
    const auto formWithBackground = [&](int32_t id) -> const CFormSource* {
        for (const CFormSource& f : forms)
            if (f.BackgroundId() == id)
                return &f;
        return nullptr;
    };
    const auto background = [&](int32_t id, int32_t w, int32_t h) {
        return Background(w, h, formWithBackground(id));
    };
    const auto label = [&](int32_t w, int32_t h, const std::string& text) {
        return LabelButton(w, h, 1, {text}, kGreen);
    };
    const auto toggle = [&](int32_t w, int32_t h, const std::string& text, uint32_t accent) {
        return LabelButton(w, h, 2, {text, text}, accent);
    };
    const auto icon = [&](int32_t w, int32_t h, const std::string& name, int32_t states = 1) {
        return ButtonStrip(w, h, states, true, true, true, kGreen, Icon(name));
    };
    const auto font = [&](int32_t height, TypeFace face, uint32_t ink, uint32_t backdrop) {
        return m_glyphs.MakeBitmapFont(height, face, ink, backdrop);
    };

    std::vector<Picture> p;
    const auto add = [&](int32_t id, const char* file, int depth, CSkinCanvas canvas) {
        p.push_back({id, file, depth, std::move(canvas)});
    };
    const auto empty = [] {
        CSkinCanvas c(15, 1, 0xFF000000u);
        c.FillRect(0, 0, 15, 1, kPanelBottom);
        return c;
    }();
    const auto resizeBar = [&] {
        CSkinCanvas c(484, 8, 0xFF000000u);
        c.GradientRect(0, 0, 484, 8, 0xFF2A3038u, 0xFF181B20u);
        c.HLine(0, 7, 484, kEdgeDark);
        for (int32_t x = 222; x < 262; x += 4) {
            c.Set(x, 3, 0xFF5A6470u);
            c.Set(x + 1, 4, kEdgeDark);
        }
        return c;
    };

    // Stored order of the picture map.
    add(7, "background_mixer.tga", 24, background(7, 484, 71));
    add(15, "font_dark.tga", 32, font(12, TypeFace::Regular, 0xFF1B2026u, 0xFF8F8F8Fu));
    add(19, "mixer_xFader.tga", 32, FaderHandle(14, 18, 0xFF1A1D22u));
    add(6, "background_about.tga", 24, background(6, 480, 360));
    add(56, "background_playlist.tga", 24, background(56, 484, 358));
    add(59, "playlist_caseLoad.tga", 24, label(40, 18, "LOAD"));
    add(60, "playlist_caseSave.tga", 24, label(40, 18, "SAVE"));
    add(61, "playlist_trackAdd.tga", 24, label(40, 18, "ADD"));
    add(62, "playlist_trackDelete.tga", 24, label(48, 18, "DELETE"));
    add(63, "playlist_timeLineAppend.tga", 24, label(52, 18, "APPEND"));
    add(28, "background_empty.tga", 16, empty);
    add(40, "background_mixView.tga", 24, background(40, 484, 230));
    add(51, "background_master.tga", 24, background(51, 484, 105));
    add(53, "master_mixView.tga", 24, toggle(30, 16, "TIME", kBlue));
    add(67, "master_mixer.tga", 24, toggle(30, 16, "MIX", kBlue));
    add(68, "master_playList.tga", 24, toggle(30, 16, "LIST", kBlue));
    add(81, "playlist_trackEdit.tga", 24, label(40, 18, "EDIT"));
    add(86, "font_light.tga", 32, font(12, TypeFace::Regular, 0xFFB9C2CCu, kPanelMid));
    add(36, "playlist_trackFind.tga", 24, label(40, 18, "FIND"));
    add(91, "master_play.tga", 24, icon(30, 20, "play", 2));
    add(94, "master_deckLevel.tga", 24, LevelMeter(8, 20, 5));
    add(119, "mixer_fadeTimeDown.tga", 24, icon(20, 16, "minus"));
    add(120, "mixer_fadeTimeUp.tga", 24, icon(20, 16, "plus"));
    add(126, "playlist_timeLineRandom.tga", 24, label(52, 18, "RANDOM"));
    add(128, "master_minimize.tga", 24, icon(16, 13, "minimize"));
    add(129, "master_close.tga", 24, icon(16, 13, "close"));
    add(130, "master_setup.tga", 24, icon(16, 13, "setup"));
    add(131, "master_masterLevel.tga", 24, LevelMeter(7, 11, 3));
    add(18, "playlist_resize.tga", 16, resizeBar());
    add(22, "master_masterClipLED.tga", 24, [&] {
        // Off, overload with the limiter off (red), overload held by the limiter (amber).
        CSkinCanvas c(30 * 3, 14, 0xFF000000u);
        const uint32_t colours[3] = {0xFF2A2F36u, kRed, kAmber};
        for (int k = 0; k < 3; ++k) {
            c.FillRect(k * 30, 0, 30, 14, kPanelMid);
            c.RoundRect(static_cast<float>(k * 30), 0, 30, 14, 3.0f, kEdgeDark, kEdgeDark);
            c.RoundRect(static_cast<float>(k * 30) + 1, 1, 28, 12, 2.5f,
                        CSkinCanvas::Mix(colours[k], 0xFFFFFFFFu, k == 0 ? 0.0f : 0.25f), colours[k]);
            m_glyphs.DrawCentred(c, k * 30, 0, 30, 14, k == 2 ? "LIMIT" : "CLIP", 8, TypeFace::CondensedBold,
                                 k == 0 ? 0xFF59626Du : 0xFF1A0A06u);
        }
        return c;
    }());
    add(39, "mixer_waveDisplayMarkers.tga", 16, MarkerStrip());
    add(134, "master_seekBackward.tga", 24, icon(22, 20, "back"));
    add(135, "master_seekForward.tga", 24, icon(22, 20, "forward"));
    add(144, "master_maximize.tga", 24, icon(16, 13, "maximize"));
    add(95, "master_masterVolume.tga", 32, FaderHandle(10, 14, 0xFF1A1D22u));
    add(100, "master_seekEnd.tga", 24, icon(22, 20, "end"));
    add(102, "master_seekStart.tga", 24, icon(22, 20, "start"));
    add(10, "master_menu.tga", 24, label(36, 13, "MENU"));
    add(139, "master_link.tga", 24, RunLink());
    add(145, "about_link_distributor.tga", 32, Wordmark(200, 18, "quandel.example.org", kCyan, 0xFF1A1E23u));
    add(2, "mixView_add.tga", 24, label(36, 16, "ADD"));
    add(8, "mixView_delete.tga", 24, label(36, 16, "DEL"));
    add(9, "mixView_load.tga", 24, label(36, 16, "LOAD"));
    add(11, "mixView_save.tga", 24, label(36, 16, "SAVE"));
    add(12, "mixView_orderShuffle.tga", 24, label(48, 16, "SHUFFLE"));
    add(13, "mixView_orderPlaylist.tga", 24, label(52, 16, "IN ORDER"));
    add(16, "mixView_scrollDown.tga", 24, icon(20, 16, "down"));
    add(20, "mixView_scrollUp.tga", 24, icon(20, 16, "up"));
    add(21, "mixView_followPosition.tga", 24,
        ButtonStrip(20, 16, 2, true, true, true, kBlue, Icon("follow")));
    add(17, "font_dark_bold.tga", 32, font(13, TypeFace::Bold, 0xFF11151Au, 0xFF8F8F8Fu));
    add(23, "font_light_bold.tga", 32, font(13, TypeFace::Bold, 0xFFEEF2F6u, kPanelMid));
    add(24, "mixer_fadeModePause.tga", 24, label(42, 14, "PAUSE"));
    add(25, "mixer_fadeModeNoBlend.tga", 24, label(42, 14, "CUT"));
    add(26, "mixer_fadeModeBlend.tga", 24, label(42, 14, "BLEND"));
    add(1, "master_load.tga", 24, label(30, 16, "LOAD"));
    add(27, "master_deckRepeat.tga", 24, toggle(30, 15, "RPT 1", kGreen));
    add(29, "master_repeat.tga", 24, LabelButton(30, 16, 3, {"RPT", "RPT 1", "ALL"}, kGreen));
    add(30, "mixer_deckFxCU.tga", 24, Lamp("CU"));
    add(31, "mixer_deckFxEQ.tga", 24, Lamp("EQ"));
    add(32, "mixer_deckFxFL.tga", 24, Lamp("FL"));
    add(33, "mixer_deckFxLP.tga", 24, Lamp("LP"));
    add(34, "mixer_deckFxMN.tga", 24, Lamp("VO"));
    add(35, "mixer_deckFxPS.tga", 24, Lamp("PS"));
    add(37, "mixer_deckFxPB.tga", 24, Lamp("PB"));
    add(38, "mixer_deckFxRV.tga", 24, Lamp("RV"));
    add(41, "mixer_deckFxSK.tga", 24, Lamp("SK"));
    add(42, "playlist_timeLineInsert.tga", 24, label(52, 18, "INSERT"));
    add(43, "playlist_case0Mix.tga", 24, Tab(120, 20));
    add(44, "playlist_case1.tga", 24, Tab(88, 20));
    add(45, "playlist_case2.tga", 24, Tab(88, 20));
    add(46, "playlist_case3.tga", 24, Tab(88, 20));
    add(47, "playlist_case4.tga", 24, Tab(88, 20));
    add(4, "background_masterBorder.tga", 24, background(4, 484, 8));
    add(5, "master_mixMode.tga", 24, LabelButton(30, 16, 2, {"AUTO", "DJ"}, kAmber));
    add(14, "background_playlistTab.tga", 24, background(14, 484, 24));
    add(3, "font_black.tga", 32, font(11, TypeFace::Bold, 0xFF0A0B0Cu, kAmber));
    add(48, "master_linkQuandel.tga", 32, Wordmark(52, 13, "quandel", kAmber, 0xFF16191Du));
    add(49, "master_linkKelmaric.tga", 32, Wordmark(52, 13, "kelmaric", kCyan, 0xFF16191Du));
    add(50, "about_link_Kelmaric.tga", 32, Wordmark(200, 18, "www.kelmaric.example", kAmber, 0xFF1A1E23u));
    return p;
}
