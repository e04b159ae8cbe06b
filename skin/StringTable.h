#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CResourceTable;

// The texts of message boxes, dialogs, menus and tooltips, by id, in English and German. The
// tables are STRINGS resources 1033 and 1031, one string a line:
//     <id> "<text>"
// where id is decimal (1..65535) and the text is UTF-8 with the escapes \n, \t, \" and \\.
// Blank lines and lines starting with # are skipped; a line that breaks the form is skipped
// and reported, the lines around it still count.
class CStringTable {
public:
    enum class Language : int32_t { English = 1033, German = 1031 };

    struct ParseError {
        size_t line; // 1-based
        std::string reason;
    };
    using Strings = std::map<int32_t, std::string>;

    // The STRINGS resources 1033 and 1031 of the table; a missing one leaves that language empty.
    explicit CStringTable(const CResourceTable& resources);
    CStringTable(const CStringTable&) = delete;
    CStringTable& operator=(const CStringTable&) = delete;

    // The tables compiled into the program; English until SetLanguage.
    static CStringTable& Program();
    void SetLanguage(Language language);
    Language GetLanguage() const;
    // The language for a POSIX locale name ("de_DE.UTF-8", "de", "C", ""): German for "de*",
    // English otherwise.
    static Language LanguageForLocale(const char* locale);
    // The text of id in the current language, the English text when that language lacks it,
    // "" when neither has it. UTF-8. The pointer lives as long as the table.
    const char* Get(int32_t id) const;

    // One language's strings and what was wrong with its resource.
    const Strings& Table(Language language) const;
    const std::vector<ParseError>& Errors(Language language) const;

    // Parses a table; a later line with an id already read is an error and the first text stays.
    static Strings Parse(const uint8_t* data, size_t size, std::vector<ParseError>* errors = nullptr);

    static constexpr int32_t kMaxId = 65535;
    static constexpr size_t kMaxTextBytes = 4096; // after unescaping

private:
    struct Loaded {
        Strings strings;
        std::vector<ParseError> errors;
    };
    const Loaded& For(Language language) const;

    Loaded m_english;
    Loaded m_german;
    std::atomic<Language> m_language{Language::English};
};
