#include "StringTable.h"

#include "ResourceTable.h"

#include <string_view>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u)
                return false;
            code = code << 6 | (next & 0x3Fu);
        }
        const uint32_t smallest = length == 2 ? 0x80u : length == 3 ? 0x800u : 0x10000u;
        if (code < smallest || code > 0x10FFFFu || (code >= 0xD800u && code <= 0xDFFFu))
            return false;
        i += length;
    }
    return true;
}

enum class LineKind { Skip, String, Bad };

// One line without its line feed. A String line fills id and text; a Bad one the reason.
LineKind ParseLine(std::string_view line, int32_t& id, std::string& text, std::string& reason)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] == '#')
        return LineKind::Skip;

    int64_t value = 0;
    const size_t idStart = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        // Six digits are out of range already; stop counting before the value can overflow.
        if (i - idStart >= 6) {
            reason = "id out of range";
            return LineKind::Bad;
        }
        value = value * 10 + (line[i] - '0');
        ++i;
    }
    if (i == idStart) {
        reason = "no id at the start of the line";
        return LineKind::Bad;
    }
    if (value < 1 || value > CStringTable::kMaxId) {
        reason = "id out of range";
        return LineKind::Bad;
    }
    if (i == line.size() || !IsBlank(line[i])) {
        reason = "no blank after the id";
        return LineKind::Bad;
    }
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] != '"') {
        reason = "no opening quote";
        return LineKind::Bad;
    }
    ++i;

    text.clear();
    bool closed = false;
    while (i < line.size()) {
        const char c = line[i++];
        if (c == '"') {
            closed = true;
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            reason = "control character in the text (write \\n or \\t)";
            return LineKind::Bad;
        }
        if (c == '\\') {
            if (i == line.size()) {
                reason = "escape at the end of the line";
                return LineKind::Bad;
            }
            const char e = line[i++];
            switch (e) {
            case 'n':
                text += '\n';
                break;
            case 't':
                text += '\t';
                break;
            case '"':
                text += '"';
                break;
            case '\\':
                text += '\\';
                break;
            default:
                reason = std::string("unknown escape \\") + e;
                return LineKind::Bad;
            }
        } else {
            text += c;
        }
        if (text.size() > CStringTable::kMaxTextBytes) {
            reason = "text too long";
            return LineKind::Bad;
        }
    }
    if (!closed) {
        reason = "no closing quote";
        return LineKind::Bad;
    }
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i != line.size()) {
        reason = "text after the closing quote";
        return LineKind::Bad;
    }
    if (!IsUtf8(text)) {
        reason = "text is not UTF-8";
        return LineKind::Bad;
    }
    id = static_cast<int32_t>(value);
    return LineKind::String;
}

} // namespace

CStringTable::CStringTable(const CResourceTable& resources)
{
    for (Loaded* loaded : {&m_english, &m_german}) {
        const int32_t resourceId =
            static_cast<int32_t>(loaded == &m_english ? Language::English : Language::German);
        const CResourceTable::Blob blob = resources.Find(ResourceType::Strings, resourceId);
        if (blob.data != nullptr)
            loaded->strings = Parse(blob.data, blob.size, &loaded->errors);
    }
}

CStringTable& CStringTable::Program()
{
    static CStringTable table(CResourceTable::Program());
    return table;
}

void CStringTable::SetLanguage(Language language)
{
    m_language.store(language);
}

CStringTable::Language CStringTable::GetLanguage() const
{
    return m_language.load();
}

CStringTable::Language CStringTable::LanguageForLocale(const char* locale)
{
    if (locale == nullptr)
        return Language::English;
    // The language code is the part before territory, code set and modifier: "de", "de_AT",
    // "de.UTF-8", "de@euro". A longer code that merely starts with "de" is another language.
    const std::string_view name(locale);
    if (name.size() >= 2 && (name[0] == 'd' || name[0] == 'D') && (name[1] == 'e' || name[1] == 'E') &&
        (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@' || name[2] == '-'))
        return Language::German;
    return Language::English;
}

const CStringTable::Loaded& CStringTable::For(Language language) const
{
    return language == Language::German ? m_german : m_english;
}

const char* CStringTable::Get(int32_t id) const
{
    const Strings& current = For(GetLanguage()).strings;
    if (auto it = current.find(id); it != current.end())
        return it->second.c_str();
    if (auto it = m_english.strings.find(id); it != m_english.strings.end())
        return it->second.c_str();
    return "";
}

const CStringTable::Strings& CStringTable::Table(Language language) const
{
    return For(language).strings;
}

const std::vector<CStringTable::ParseError>& CStringTable::Errors(Language language) const
{
    return For(language).errors;
}

CStringTable::Strings CStringTable::Parse(const uint8_t* data, size_t size, std::vector<ParseError>* errors)
{
    Strings strings;
    if (data == nullptr)
        return strings;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);
    std::string text;
    std::string reason;
    for (size_t lineNumber = 1; !rest.empty(); ++lineNumber) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        int32_t id = 0;
        switch (ParseLine(line, id, text, reason)) {
        case LineKind::Skip:
            break;
        case LineKind::Bad:
            if (errors != nullptr)
                errors->push_back({lineNumber, reason});
            break;
        case LineKind::String:
            if (!strings.emplace(id, text).second && errors != nullptr)
                errors->push_back({lineNumber, "id " + std::to_string(id) + " given twice"});
            break;
        }
    }
    return strings;
}
