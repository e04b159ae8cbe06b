#pragma once

#include "MidiBinding.h"

#include <string>
#include <string_view>
#include <vector>

class CControlTable;

// A row the reader refused, with the reason; lines count from 1.
struct MidiMappingProblem {
    int line = 0;
    std::string message;
};

// A controller mapping file: plain text, one binding per row, comments and blank lines kept.
// The grammar is in the README ("Controller mappings"). Reading checks every row against the
// control table: a row naming a function that does not exist, a number out of range, a behaviour
// the message cannot carry or a second row for the same message is refused with its line number
// and kept as text, so that writing the mapping back loses nothing the user wrote.
//
// Threads: one owner at a time; the MIDI thread gets its own copy.
class CMidiMapping {
public:
    static constexpr size_t kMaxFileBytes = 1 << 20;

    CMidiMapping() = default;

    // Reads text (any bytes); problems lists the refused rows in line order.
    static CMidiMapping Read(std::string_view text, const CControlTable& controls,
                             std::vector<MidiMappingProblem>& problems);
    // The file as text: every line in its place, accepted rows in their canonical form.
    std::string Write() const;

    // Reads a file of at most kMaxFileBytes; false with error set when it cannot be read.
    static bool LoadFile(const std::string& path, const CControlTable& controls, CMidiMapping& mapping,
                         std::vector<MidiMappingProblem>& problems, std::string& error);
    // Replaces path through a temporary file and a rename; false when any step failed.
    bool SaveFile(const std::string& path) const;

    // The canonical text of one binding, and the binding a row's text describes (false with a
    // reason when it is not one). Comments and "device" rows are not bindings.
    static std::string FormatBinding(const MidiBinding& binding);
    static bool ParseBinding(std::string_view row, const CControlTable& controls, MidiBinding& binding,
                             std::string& reason);

    // Accepted bindings, in file order.
    const std::vector<MidiBinding>& Bindings() const noexcept { return m_bindings; }
    // Port names containing this text use this mapping; empty: none chosen by name.
    const std::string& DeviceMatch() const noexcept { return m_device; }
    void SetDeviceMatch(std::string text);

    // Learn: puts binding in place of the row for the same message and layer, or appends it.
    void Bind(const MidiBinding& binding);

    // Two bindings that answer the same message in the same layer and direction.
    static bool SameInput(const MidiBinding& a, const MidiBinding& b) noexcept;

private:
    enum class LineKind { Binding, Device, Text };
    struct Line {
        LineKind kind = LineKind::Text;
        std::string text;   // Text: the line as read (comments, blanks, refused rows)
        size_t binding = 0; // Binding: index into m_bindings
    };

    std::vector<Line> m_lines;
    std::vector<MidiBinding> m_bindings;
    std::string m_device;
};
