#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// A shape the artwork draws into a form's background under its controls: deck panels, wells
// behind displays, fader grooves, captions.
struct FormDeco {
    std::string kind;
    int32_t x = 0;
    int32_t y = 0;
    int32_t w = 0;
    int32_t h = 0;
    std::string style; // a colour or variant name, kind-specific
    std::string text;
};

// One form as a person writes it: a text file of lines, turned into the binary FRM resource.
// The format is described in resources/forms/README.md.
class CFormSource {
public:
    // Size of a picture the form refers to; false when the picture does not exist.
    using PictureSize = std::function<bool(int32_t id, int32_t& width, int32_t& height)>;

    // 1, or 0 with a message naming the line.
    int Parse(std::string_view text, std::string& error);
    // The FRM bytes; empty with a message when a control names a missing picture.
    std::vector<uint8_t> Compile(const PictureSize& pictureSize, std::string& error) const;

    int32_t FormId() const { return m_formId; }
    int32_t BackgroundId() const { return m_backgroundId; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    const std::vector<FormDeco>& Decos() const { return m_decos; }

private:
    struct Control {
        std::string kind;
        int32_t id = 0;
        int32_t x = 0;
        int32_t y = 0;
        std::map<std::string, std::string> keys;
        int line = 0;
    };

    int32_t m_formId = 0;
    int32_t m_backgroundId = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    std::vector<FormDeco> m_decos;
    std::vector<Control> m_controls;
};
