#include "TerminalText.h"

#include <algorithm>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Length of the UTF-8 sequence starting at text[i], 0 when it is not one (or a C1 control).
size_t Utf8Length(std::string_view text, size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0; // over-long or beyond U+10FFFF
    if (lead == 0xC2 && second < 0xA0)
        return 0; // U+0080..U+009F: C1 controls
    return length;
}

} // namespace

std::string CTerminalText::Escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t length = c >= 0x80 ? Utf8Length(text, i) : 0;
        if (length > 0) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        static const char kHex[] = "0123456789abcdef";
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
        ++i;
    }
    return out;
}

int CTerminalText::Columns(FILE* stream)
{
    winsize size{};
    if (stream != nullptr && ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        const int value = std::atoi(columns);
        if (value > 0)
            return value;
    }
    return 80;
}

std::string CTerminalText::Clock(double seconds)
{
    const auto whole = static_cast<long>(std::max(0.0, seconds));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string CTerminalText::ProgressLine(int columns, double doneSeconds, double totalSeconds, double speed)
{
    char figures[96];
    std::snprintf(figures, sizeof figures, "%s / %s  %.0fx", Clock(doneSeconds).c_str(),
                  Clock(std::max(totalSeconds, doneSeconds)).c_str(), speed);
    const auto room = static_cast<size_t>(std::max(columns - 1, 0));
    std::string line(figures);
    // The bar needs its brackets, a blank and at least ten marks to say anything.
    const size_t fixed = line.size() + 3;
    if (room >= fixed + 10) {
        const size_t width = std::min<size_t>(room - fixed, 60);
        const double fraction = totalSeconds > 0.0 ? std::clamp(doneSeconds / totalSeconds, 0.0, 1.0) : 0.0;
        const auto filled = static_cast<size_t>(fraction * static_cast<double>(width));
        line = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " + line;
    }
    if (line.size() > room)
        line.resize(room);
    return line;
}
