#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text and path helpers of the list code. Text is UTF-8 inside the program; ID3v1 tags are
// Latin-1; paths may come from lists written on Windows, with backslashes.
namespace TrackText {

// Latin-1 bytes as UTF-8.
std::string Utf8FromLatin1(std::string_view latin1);
// UTF-8 as Latin-1; "?" for a character Latin-1 lacks and for each broken byte.
std::string Latin1FromUtf8(std::string_view utf8);
bool IsValidUtf8(std::string_view text);
// Valid UTF-8 as it stands, anything else read as Latin-1 (Windows-written files).
std::string Utf8FromUnknown(std::string_view text);
// At most maxBytes bytes, never ending inside a character.
std::string Cut(std::string_view utf8, size_t maxBytes = 63);

// Path parts, with "/" or "\" as separator.
std::string_view FileName(std::string_view path);
// The file name without its last extension.
std::string_view Stem(std::string_view path);
// The extension with its dot (".mp3"), or empty.
std::string_view Extension(std::string_view path);
// Drive and folder, ending in the separator; empty for a bare name.
std::string_view Folder(std::string_view path);
// Case-insensitive ASCII comparison and substring search.
bool EqualNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view text, std::string_view pattern);
// The order a folder is listed in: ASCII letters without regard to case, each run of digits by
// its value ("Track 2" before "Track 10", "a01" with "a1"); names that still compare equal go by
// their bytes, so only equal names tie. Negative, 0 or positive.
int CompareNames(std::string_view a, std::string_view b);

} // namespace TrackText
