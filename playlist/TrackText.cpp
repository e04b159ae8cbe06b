#include "TrackText.h"

#include <cstdint>

namespace TrackText {

std::string Utf8FromLatin1(std::string_view latin1)
{
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

namespace {

// Length of the UTF-8 sequence at text[i], or 0 when it is broken.
size_t SequenceLength(std::string_view text, size_t i, uint32_t& codePoint)
{
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t length = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<uint8_t>(text[i + k]);
        if ((byte & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (byte & 0x3F);
    }
    // Overlong forms and surrogates are not characters.
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint < 0xE000))
        return 0;
    return length;
}

} // namespace

std::string Latin1FromUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t codePoint = 0;
        const size_t length = SequenceLength(utf8, i, codePoint);
        if (length == 0) {
            out += '?';
            ++i;
            continue;
        }
        out += codePoint < 0x100 ? static_cast<char>(codePoint) : '?';
        i += length;
    }
    return out;
}

bool IsValidUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        uint32_t codePoint = 0;
        const size_t length = SequenceLength(text, i, codePoint);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string Utf8FromUnknown(std::string_view text)
{
    return IsValidUtf8(text) ? std::string(text) : Utf8FromLatin1(text);
}

std::string Cut(std::string_view utf8, size_t maxBytes)
{
    if (utf8.size() <= maxBytes)
        return std::string(utf8);
    size_t end = maxBytes;
    // Back up over continuation bytes to the start of the character that does not fit.
    while (end > 0 && (static_cast<uint8_t>(utf8[end]) & 0xC0) == 0x80)
        --end;
    return std::string(utf8.substr(0, end));
}

std::string_view FileName(std::string_view path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view Stem(std::string_view path)
{
    const std::string_view name = FileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string_view Extension(std::string_view path)
{
    const std::string_view name = FileName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view{} : name.substr(dot);
}

std::string_view Folder(std::string_view path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool ContainsNoCase(std::string_view text, std::string_view pattern)
{
    if (pattern.empty())
        return true;
    if (pattern.size() > text.size())
        return false;
    for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
        if (EqualNoCase(text.substr(i, pattern.size()), pattern))
            return true;
    }
    return false;
}

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The end of the run of digits starting at at.
size_t DigitsEnd(std::string_view text, size_t at)
{
    while (at < text.size() && IsDigit(text[at]))
        ++at;
    return at;
}

} // namespace

int CompareNames(std::string_view a, std::string_view b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Values compared as digit strings without their leading zeros: no run is too long.
            const size_t endA = DigitsEnd(a, i);
            const size_t endB = DigitsEnd(b, j);
            while (i < endA && a[i] == '0')
                ++i;
            while (j < endB && b[j] == '0')
                ++j;
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            if (const int order = a.substr(i, endA - i).compare(b.substr(j, endB - j)); order != 0)
                return order;
            i = endA;
            j = endB;
            continue;
        }
        const auto ca = static_cast<unsigned char>(Lower(a[i]));
        const auto cb = static_cast<unsigned char>(Lower(b[j]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}

} // namespace TrackText
