#include "MimeAppsList.h"

namespace {

// Blanks around keys, values and headers are not part of them; a carriage return is what an
// editor on another system leaves before the line feed.
std::string_view Trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string> SplitIds(std::string_view value)
{
    std::vector<std::string> ids;
    while (!value.empty()) {
        const size_t semicolon = value.find(';');
        const std::string_view id = Trimmed(value.substr(0, semicolon));
        if (!id.empty())
            ids.emplace_back(id);
        if (semicolon == std::string_view::npos)
            break;
        value.remove_prefix(semicolon + 1);
    }
    return ids;
}

} // namespace

CMimeAppsList::CMimeAppsList(std::string_view text)
{
    while (!text.empty()) {
        const size_t feed = text.find('\n');
        m_lines.emplace_back(text.substr(0, feed));
        if (feed == std::string_view::npos) {
            m_finalLineFeed = false;
            break;
        }
        text.remove_prefix(feed + 1);
    }
}

std::string_view CMimeAppsList::HeaderOf(std::string_view line)
{
    const std::string_view trimmed = Trimmed(line);
    if (trimmed.size() < 3 || trimmed.front() != '[' || trimmed.back() != ']')
        return {};
    return trimmed.substr(1, trimmed.size() - 2);
}

std::string_view CMimeAppsList::KeyOf(std::string_view line)
{
    const std::string_view trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == '[')
        return {};
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos)
        return {};
    return Trimmed(trimmed.substr(0, equals));
}

std::string CMimeAppsList::EntryLine(std::string_view key, const std::vector<std::string>& ids)
{
    std::string line(key);
    line += '=';
    for (const std::string& id : ids) {
        line += id;
        line += ';';
    }
    return line;
}

std::vector<std::string> CMimeAppsList::Values(std::string_view group, std::string_view key) const
{
    std::string_view current;
    for (const std::string& line : m_lines) {
        const std::string_view header = HeaderOf(line);
        if (!header.empty()) {
            current = header;
            continue;
        }
        if (current == group && KeyOf(line) == key)
            return SplitIds(line.substr(line.find('=') + 1));
    }
    return {};
}

void CMimeAppsList::SetValues(std::string_view group, std::string_view key,
                              const std::vector<std::string>& ids)
{
    const std::string entry = EntryLine(key, ids);
    bool found = false;
    bool changed = false;
    std::vector<std::string> kept;
    kept.reserve(m_lines.size() + 3);
    std::string current;
    size_t insertAt = std::string::npos; // after the last entry of the group's first instance
    bool inFirstInstance = false;
    for (std::string& line : m_lines) {
        const std::string_view header = HeaderOf(line);
        if (!header.empty()) {
            current = header;
            const bool first = current == group && insertAt == std::string::npos;
            inFirstInstance = first;
            kept.push_back(std::move(line));
            if (first)
                insertAt = kept.size();
            continue;
        }
        const std::string_view lineKey = KeyOf(line);
        const bool isEntry = !lineKey.empty();
        if (current == group && lineKey == key) {
            found = true;
            if (ids.empty()) {
                changed = true;
                continue;
            }
            if (line != entry) {
                line = entry;
                changed = true;
            }
        }
        kept.push_back(std::move(line));
        if (inFirstInstance && isEntry)
            insertAt = kept.size();
    }
    m_lines = std::move(kept);
    if (!found && !ids.empty()) {
        if (insertAt != std::string::npos) {
            m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        } else {
            if (!m_lines.empty() && !Trimmed(m_lines.back()).empty())
                m_lines.emplace_back();
            m_lines.push_back("[" + std::string(group) + "]");
            m_lines.push_back(entry);
        }
        changed = true;
    }
    if (changed)
        m_finalLineFeed = true;
}

std::string CMimeAppsList::Text() const
{
    std::string text;
    for (size_t k = 0; k < m_lines.size(); ++k) {
        text += m_lines[k];
        if (k + 1 < m_lines.size() || m_finalLineFeed)
            text += '\n';
    }
    return text;
}
