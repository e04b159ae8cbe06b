#include "MidiMapping.h"

#include "ControlTable.h"
#include "FileReplacer.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

struct Name {
    const char* text;
    int value;
};

constexpr Name kBehaviours[] = {
    {"absolute", static_cast<int>(MidiBehaviour::Absolute)},
    {"takeover", static_cast<int>(MidiBehaviour::TakeOver)},
    {"relative-twos", static_cast<int>(MidiBehaviour::RelativeTwos)},
    {"relative-offset", static_cast<int>(MidiBehaviour::RelativeOffset)},
    {"button", static_cast<int>(MidiBehaviour::Button)},
    {"toggle", static_cast<int>(MidiBehaviour::Toggle)},
    {"press", static_cast<int>(MidiBehaviour::Press)},
    {"jog-touch", static_cast<int>(MidiBehaviour::JogTouch)},
    {"jog-turn-twos", static_cast<int>(MidiBehaviour::JogTurnTwos)},
    {"jog-turn-offset", static_cast<int>(MidiBehaviour::JogTurnOffset)},
};

constexpr int kMaxStep = 4096;

const char* BehaviourName(MidiBehaviour behaviour)
{
    for (const Name& name : kBehaviours) {
        if (name.value == static_cast<int>(behaviour))
            return name.text;
    }
    return "absolute";
}

// Splits a row at runs of spaces and tabs.
std::vector<std::string_view> Words(std::string_view row)
{
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < row.size()) {
        while (i < row.size() && (row[i] == ' ' || row[i] == '\t'))
            ++i;
        const size_t start = i;
        while (i < row.size() && row[i] != ' ' && row[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(row.substr(start, i - start));
    }
    return words;
}

// Decimal digits only, within low..high.
bool Number(std::string_view word, int low, int high, int& value)
{
    if (word.empty() || word.size() > 9 || word.front() < '0' || word.front() > '9')
        return false;
    int parsed = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), parsed);
    if (error != std::errc() || end != word.data() + word.size() || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

// Reads the words of a row one at a time, and says what was missing or wrong.
class CRowReader {
public:
    CRowReader(std::vector<std::string_view> words, std::string& reason)
        : m_words(std::move(words)), m_reason(reason)
    {
    }
    bool AtEnd() const { return m_next >= m_words.size(); }
    std::string_view Peek() const { return AtEnd() ? std::string_view() : m_words[m_next]; }
    bool Take(std::string_view& word, const char* what)
    {
        if (AtEnd())
            return Fail(std::string("missing ") + what);
        word = m_words[m_next++];
        return true;
    }
    bool TakeNumber(int low, int high, int& value, const char* what)
    {
        std::string_view word;
        if (!Take(word, what))
            return false;
        if (!Number(word, low, high, value))
            return Fail(std::string(what) + " \"" + std::string(word) + "\" is not a number from " +
                        std::to_string(low) + " to " + std::to_string(high));
        return true;
    }
    bool Fail(std::string reason)
    {
        m_reason = std::move(reason);
        return false;
    }

private:
    std::vector<std::string_view> m_words;
    size_t m_next = 0;
    std::string& m_reason;
};

bool ReadMessage(CRowReader& reader, MidiBinding& binding)
{
    std::string_view kind;
    if (!reader.Take(kind, "message (note, cc, cc14 or bend)"))
        return false;
    int channel = 0;
    int number = 0;
    if (kind == "note" || kind == "cc") {
        binding.kind = kind == "note" ? MidiMessageKind::Note : MidiMessageKind::ControlChange;
        if (!reader.TakeNumber(1, 16, channel, "MIDI channel") ||
            !reader.TakeNumber(0, 127, number, kind == "note" ? "note number" : "controller number"))
            return false;
    } else if (kind == "cc14") {
        binding.kind = MidiMessageKind::ControlChange14;
        int lsb = 0;
        if (!reader.TakeNumber(1, 16, channel, "MIDI channel") ||
            !reader.TakeNumber(0, 127, number, "MSB controller number") ||
            !reader.TakeNumber(0, 127, lsb, "LSB controller number"))
            return false;
        if (lsb == number)
            return reader.Fail("the MSB and LSB controllers are the same");
        binding.lsbNumber = static_cast<uint8_t>(lsb);
    } else if (kind == "bend") {
        binding.kind = MidiMessageKind::PitchBend;
        if (!reader.TakeNumber(1, 16, channel, "MIDI channel"))
            return false;
    } else {
        return reader.Fail("unknown message \"" + std::string(kind) + "\" (note, cc, cc14 or bend)");
    }
    binding.channel = static_cast<uint8_t>(channel - 1);
    binding.number = static_cast<uint8_t>(number);
    return true;
}

bool ReadDeck(CRowReader& reader, MidiBinding& binding)
{
    std::string_view deck;
    if (!reader.Take(deck, "deck (A or B)"))
        return false;
    if (deck != "A" && deck != "B")
        return reader.Fail("deck \"" + std::string(deck) + "\" is neither A nor B");
    binding.deck = deck == "A" ? 0 : 1;
    return true;
}

bool ReadTarget(CRowReader& reader, MidiBinding& binding)
{
    std::string_view target;
    if (!reader.Take(target, "target"))
        return false;
    if (target == "control") {
        binding.target = MidiTarget::Control;
        int id = 0;
        if (!reader.TakeNumber(0, 99999999, id, "control id"))
            return false;
        binding.controlId = id;
        return true;
    }
    if (target == "jog" || target == "load") {
        binding.target = target == "jog" ? MidiTarget::Jog : MidiTarget::Load;
        return ReadDeck(reader, binding);
    }
    if (target == "next")
        binding.target = MidiTarget::Next;
    else if (target == "previous")
        binding.target = MidiTarget::Previous;
    else if (target == "shift")
        binding.target = MidiTarget::Shift;
    else
        return reader.Fail("unknown target \"" + std::string(target) +
                           "\" (control, jog, next, previous, load or shift)");
    return true;
}

// "control ID" takes a deck letter after the id exactly when the function has one value per deck.
bool ReadControl(CRowReader& reader, const CControlTable& controls, MidiBinding& binding)
{
    const CControlFunction* function = controls.FindFunction(binding.controlId);
    if (function == nullptr)
        return reader.Fail("unknown control id " + std::to_string(binding.controlId));
    if (function->ChannelCount() == 2)
        return ReadDeck(reader, binding);
    if (reader.Peek() == "A" || reader.Peek() == "B")
        return reader.Fail("\"" + function->Name() + "\" has no deck");
    return true;
}

bool BehaviourFits(const MidiBinding& b)
{
    const bool pair = b.kind == MidiMessageKind::ControlChange14 || b.kind == MidiMessageKind::PitchBend;
    const bool key = b.kind == MidiMessageKind::Note || b.kind == MidiMessageKind::ControlChange;
    switch (b.behaviour) {
    case MidiBehaviour::Absolute:
    case MidiBehaviour::TakeOver:
        return b.target == MidiTarget::Control && (pair || b.kind == MidiMessageKind::ControlChange);
    case MidiBehaviour::RelativeTwos:
    case MidiBehaviour::RelativeOffset:
        return b.target == MidiTarget::Control && b.kind == MidiMessageKind::ControlChange;
    case MidiBehaviour::Button:
    case MidiBehaviour::Toggle:
        return (b.target == MidiTarget::Control || b.target == MidiTarget::Shift) && key;
    case MidiBehaviour::Press:
        return (b.target == MidiTarget::Next || b.target == MidiTarget::Previous ||
                b.target == MidiTarget::Load) &&
               key;
    case MidiBehaviour::JogTouch:
        return b.target == MidiTarget::Jog && key;
    case MidiBehaviour::JogTurnTwos:
    case MidiBehaviour::JogTurnOffset:
        return b.target == MidiTarget::Jog && b.kind == MidiMessageKind::ControlChange;
    }
    return false;
}

bool ReadOptions(CRowReader& reader, const CControlTable& controls, MidiBinding& binding)
{
    const CControlFunction* function =
        binding.target == MidiTarget::Control ? controls.FindFunction(binding.controlId) : nullptr;
    while (!reader.AtEnd()) {
        std::string_view option;
        reader.Take(option, "option");
        const size_t equals = option.find('=');
        const std::string_view key = option.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? "" : option.substr(equals + 1);
        const std::string bad = "option \"" + std::string(option) + "\"";
        int number = 0;
        if (key == "layer" && (value == "shift" || value == "normal")) {
            binding.layer = value == "shift" ? MidiLayer::Shift : MidiLayer::Normal;
        } else if (key == "step" && binding.direction == MidiDirection::In &&
                   (binding.behaviour == MidiBehaviour::RelativeTwos ||
                    binding.behaviour == MidiBehaviour::RelativeOffset ||
                    binding.behaviour == MidiBehaviour::JogTurnTwos ||
                    binding.behaviour == MidiBehaviour::JogTurnOffset)) {
            if (!Number(value, 1, kMaxStep, number))
                return reader.Fail(bad + ": the step is a number from 1 to " + std::to_string(kMaxStep));
            binding.step = number;
        } else if (key == "value" && function != nullptr &&
                   (binding.behaviour == MidiBehaviour::Button ||
                    binding.behaviour == MidiBehaviour::Toggle)) {
            if (!Number(value, 1, function->Maximum(), number))
                return reader.Fail(bad + ": \"" + function->Name() + "\" takes values from 1 to " +
                                   std::to_string(function->Maximum()));
            binding.value = number;
        } else if ((key == "on" || key == "off") && binding.direction == MidiDirection::Out) {
            if (!Number(value, 0, 127, number))
                return reader.Fail(bad + ": a value sent is a number from 0 to 127");
            (key == "on" ? binding.onValue : binding.offValue) = number;
        } else {
            return reader.Fail("unknown " + bad);
        }
    }
    return true;
}

std::string MessageText(const MidiBinding& b)
{
    const std::string channel = std::to_string(b.channel + 1);
    switch (b.kind) {
    case MidiMessageKind::Note:
        return "note " + channel + " " + std::to_string(b.number);
    case MidiMessageKind::ControlChange:
        return "cc " + channel + " " + std::to_string(b.number);
    case MidiMessageKind::ControlChange14:
        return "cc14 " + channel + " " + std::to_string(b.number) + " " + std::to_string(b.lsbNumber);
    case MidiMessageKind::PitchBend:
        return "bend " + channel;
    }
    return {};
}

std::string DeckText(int deck)
{
    return deck == 0 ? " A" : deck == 1 ? " B" : "";
}

std::string TargetText(const MidiBinding& b)
{
    switch (b.target) {
    case MidiTarget::Control:
        return "control " + std::to_string(b.controlId) + DeckText(b.deck);
    case MidiTarget::Jog:
        return "jog" + DeckText(b.deck);
    case MidiTarget::Next:
        return "next";
    case MidiTarget::Previous:
        return "previous";
    case MidiTarget::Load:
        return "load" + DeckText(b.deck);
    case MidiTarget::Shift:
        return "shift";
    }
    return {};
}

// The controller numbers a control-change binding listens to (a pair listens to two).
bool SharesController(const MidiBinding& a, const MidiBinding& b)
{
    const auto hears = [](const MidiBinding& x, uint8_t number) {
        return x.number == number || (x.kind == MidiMessageKind::ControlChange14 && x.lsbNumber == number);
    };
    return hears(a, b.number) || (b.kind == MidiMessageKind::ControlChange14 && hears(a, b.lsbNumber));
}

} // namespace

bool CMidiMapping::SameInput(const MidiBinding& a, const MidiBinding& b) noexcept
{
    if (a.direction != b.direction || a.channel != b.channel || a.layer != b.layer)
        return false;
    const bool aCc = a.kind == MidiMessageKind::ControlChange || a.kind == MidiMessageKind::ControlChange14;
    const bool bCc = b.kind == MidiMessageKind::ControlChange || b.kind == MidiMessageKind::ControlChange14;
    if (aCc && bCc)
        return SharesController(a, b);
    if (a.kind != b.kind)
        return false;
    return a.kind == MidiMessageKind::PitchBend || a.number == b.number;
}

bool CMidiMapping::ParseBinding(std::string_view row, const CControlTable& controls, MidiBinding& binding,
                                std::string& reason)
{
    binding = MidiBinding();
    CRowReader reader(Words(row), reason);
    std::string_view direction;
    if (!reader.Take(direction, "direction (in or out)"))
        return false;
    if (direction != "in" && direction != "out")
        return reader.Fail("a row starts with in, out, device or #, not \"" + std::string(direction) + "\"");
    binding.direction = direction == "in" ? MidiDirection::In : MidiDirection::Out;
    if (!ReadMessage(reader, binding) || !ReadTarget(reader, binding))
        return false;
    if (binding.target == MidiTarget::Control && !ReadControl(reader, controls, binding))
        return false;

    if (binding.direction == MidiDirection::Out) {
        if (binding.target != MidiTarget::Control ||
            (binding.kind != MidiMessageKind::Note && binding.kind != MidiMessageKind::ControlChange))
            return reader.Fail("a lamp row sends a note or a cc for a control");
        return ReadOptions(reader, controls, binding);
    }

    std::string_view behaviour;
    if (!reader.Take(behaviour, "behaviour"))
        return false;
    bool known = false;
    for (const Name& name : kBehaviours) {
        if (behaviour == name.text) {
            binding.behaviour = static_cast<MidiBehaviour>(name.value);
            known = true;
        }
    }
    if (!known)
        return reader.Fail("unknown behaviour \"" + std::string(behaviour) + "\"");
    if (!BehaviourFits(binding))
        return reader.Fail("behaviour \"" + std::string(behaviour) +
                           "\" does not fit this message and target");
    return ReadOptions(reader, controls, binding);
}

std::string CMidiMapping::FormatBinding(const MidiBinding& b)
{
    std::string row = b.direction == MidiDirection::In ? "in " : "out ";
    row += MessageText(b) + " " + TargetText(b);
    if (b.direction == MidiDirection::Out) {
        if (b.onValue != MidiBinding::kDefaultOn)
            row += " on=" + std::to_string(b.onValue);
        if (b.offValue != 0)
            row += " off=" + std::to_string(b.offValue);
    } else {
        row += std::string(" ") + BehaviourName(b.behaviour);
    }
    if (b.layer == MidiLayer::Shift)
        row += " layer=shift";
    if (b.step != MidiBinding::kDefaultStep)
        row += " step=" + std::to_string(b.step);
    if (b.value != 1)
        row += " value=" + std::to_string(b.value);
    return row;
}

CMidiMapping CMidiMapping::Read(std::string_view text, const CControlTable& controls,
                                std::vector<MidiMappingProblem>& problems)
{
    CMidiMapping mapping;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        ++lineNumber;
        std::string_view row = text.substr(start, end - start);
        start = end + 1;
        // Line ends of other systems are read and written as \n alone.
        while (!row.empty() && row.back() == '\r')
            row.remove_suffix(1);

        Line line;
        line.text = std::string(row);
        const std::vector<std::string_view> words = Words(row);
        if (words.empty() || words.front().front() == '#') {
            mapping.m_lines.push_back(std::move(line));
            continue;
        }
        if (words.front() == "device") {
            const size_t at = row.find("device") + 6;
            const size_t from = row.find_first_not_of(" \t", at);
            if (from == std::string_view::npos) {
                problems.push_back({lineNumber, "a device row names the port text it matches"});
            } else if (!mapping.m_device.empty()) {
                problems.push_back({lineNumber, "a second device row"});
            } else {
                mapping.m_device = std::string(row.substr(from));
                line.kind = LineKind::Device;
            }
            mapping.m_lines.push_back(std::move(line));
            continue;
        }
        MidiBinding binding;
        std::string reason;
        if (!ParseBinding(row, controls, binding, reason)) {
            problems.push_back({lineNumber, reason});
            mapping.m_lines.push_back(std::move(line));
            continue;
        }
        bool duplicate = false;
        for (size_t i = 0; i < mapping.m_bindings.size() && !duplicate; ++i) {
            if (SameInput(mapping.m_bindings[i], binding)) {
                duplicate = true;
                problems.push_back(
                    {lineNumber, "the same message is bound again (" + MessageText(binding) + ")"});
            }
        }
        if (!duplicate) {
            line.kind = LineKind::Binding;
            line.binding = mapping.m_bindings.size();
            mapping.m_bindings.push_back(binding);
        }
        mapping.m_lines.push_back(std::move(line));
    }
    return mapping;
}

std::string CMidiMapping::Write() const
{
    std::string text;
    for (const Line& line : m_lines) {
        switch (line.kind) {
        case LineKind::Binding:
            text += FormatBinding(m_bindings[line.binding]);
            break;
        case LineKind::Device:
            text += "device " + m_device;
            break;
        case LineKind::Text:
            text += line.text;
            break;
        }
        text += '\n';
    }
    return text;
}

void CMidiMapping::SetDeviceMatch(std::string text)
{
    m_device = std::move(text);
    for (const Line& line : m_lines) {
        if (line.kind == LineKind::Device)
            return;
    }
    Line line;
    line.kind = LineKind::Device;
    m_lines.insert(m_lines.begin(), std::move(line));
}

void CMidiMapping::Bind(const MidiBinding& binding)
{
    for (MidiBinding& existing : m_bindings) {
        if (SameInput(existing, binding)) {
            existing = binding;
            return;
        }
    }
    Line line;
    line.kind = LineKind::Binding;
    line.binding = m_bindings.size();
    m_bindings.push_back(binding);
    m_lines.push_back(std::move(line));
}

bool CMidiMapping::LoadFile(const std::string& path, const CControlTable& controls, CMidiMapping& mapping,
                            std::vector<MidiMappingProblem>& problems, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char block[16384];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0 && text.size() <= kMaxFileBytes)
        text.append(block, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = path + ": the file cannot be read";
        return false;
    }
    if (text.size() > kMaxFileBytes) {
        error = path + ": larger than a mapping can be (1 MiB)";
        return false;
    }
    mapping = Read(text, controls, problems);
    return true;
}

bool CMidiMapping::SaveFile(const std::string& path) const
{
    return CFileReplacer::Replace(path, Write());
}
