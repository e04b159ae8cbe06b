#pragma once

#include <string>
#include <string_view>
#include <vector>

// The user's mimeapps.list held as its lines and edited in place. Groups and keys are found by
// parsing each line, but a line the program does not change (comments, other groups, other
// keys, lines that are no "key=value" at all, bytes that are not text) is given back exactly as
// it was read, so a file the user or another program wrote keeps everything but our keys.
class CMimeAppsList {
public:
    // Any bytes are accepted; a line is what stands between two line feeds.
    explicit CMimeAppsList(std::string_view text = {});

    // The desktop ids the key lists in the group, in their order; empty when it is absent. A key
    // given twice answers with its first line.
    std::vector<std::string> Values(std::string_view group, std::string_view key) const;
    // Sets every line of the key in every instance of the group to the ids. A key not there yet
    // goes after the last entry of the first instance of the group, a group not there yet to the
    // end of the file. No ids removes the key's lines.
    void SetValues(std::string_view group, std::string_view key, const std::vector<std::string>& ids);

    // The file's bytes: the lines with their line feeds. A text that ended without a line feed
    // keeps ending without one until an edit touches the file.
    std::string Text() const;

private:
    // The group a header line opens, or empty when the line is no header.
    static std::string_view HeaderOf(std::string_view line);
    // The key of an entry line, or empty when the line is no entry (a comment, blank, garbage).
    static std::string_view KeyOf(std::string_view line);
    static std::string EntryLine(std::string_view key, const std::vector<std::string>& ids);

    std::vector<std::string> m_lines; // without their line feeds
    bool m_finalLineFeed = true;      // false for a text whose last line had none
};
