#include "FormSource.h"

#include "ByteWriter.h"

#include <cstdlib>
#include <set>

namespace {

// Splits a line at blanks; a double-quoted part stays one token (quotes removed), also after
// "key=".
std::vector<std::string> Tokens(std::string_view line)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string token;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            if (line[i] == '"') {
                const size_t end = line.find('"', i + 1);
                token += line.substr(i + 1, (end == std::string_view::npos ? line.size() : end) - i - 1);
                i = end == std::string_view::npos ? line.size() : end + 1;
                continue;
            }
            token += line[i++];
        }
        out.push_back(token);
    }
    return out;
}

bool ToInt(const std::string& s, int32_t& value)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 0);
    if (*end != 0)
        return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

const std::map<std::string, std::string>& ClassNames()
{
    static const std::map<std::string, std::string> names = {
        {"switch", "switch.dll"},         {"selector", "selector.dll"},     {"text", "text.dll"},
        {"wave", "waveDisplay.dll"},      {"markers", "markerDisplay.dll"}, {"level", "levelMonitor.dll"},
        {"host", "Generic Windows Ctrl"}, {"tracks", "Mix Track View"},     {"shade", "Shade Area"},
    };
    return names;
}

// The keys each kind takes besides the common w, h, mask, erase and anchor.
const std::map<std::string, std::set<std::string>>& KindKeys()
{
    static const std::map<std::string, std::set<std::string>> keys = {
        {"switch",
         {"group", "state", "picture", "frames", "blank", "toggle", "hover", "press", "disabled",
          "reporthover", "leftonly", "notify", "period", "delay"}},
        {"selector",
         {"picture", "value", "vertical", "twoframes", "range", "grab", "length", "relative", "knobvalue",
          "freeturn"}},
        {"text",
         {"font", "centrex", "centrey", "text", "scroll", "period", "step", "click", "drag", "min", "max"}},
        {"wave", {"colour", "markers"}},
        {"markers", {"colour", "picture"}},
        {"level", {"picture", "levels", "peaks", "max", "vertical"}},
        {"host", {}},
        {"tracks", {"fonts"}},
        {"shade", {"colour"}},
    };
    return keys;
}

} // namespace

int CFormSource::Parse(std::string_view text, std::string& error)
{
    int lineNumber = 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        const std::vector<std::string> t = Tokens(line);
        if (t.empty())
            continue;
        const auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(lineNumber) + ": " + what;
            return 0;
        };
        const auto ints = [&](size_t from, size_t count, std::vector<int32_t>& out) {
            out.assign(count, 0);
            if (t.size() < from + count)
                return false;
            for (size_t k = 0; k < count; ++k)
                if (!ToInt(t[from + k], out[k]))
                    return false;
            return true;
        };
        std::vector<int32_t> v;
        if (t[0] == "form") {
            if (!ints(1, 1, v))
                return fail("form needs its id");
            m_formId = v[0];
        } else if (t[0] == "background") {
            if (!ints(1, 3, v))
                return fail("background needs picture id, width and height");
            m_backgroundId = v[0];
            m_width = v[1];
            m_height = v[2];
        } else if (t[0] == "deco") {
            if (t.size() < 6 || !ints(2, 4, v))
                return fail("deco needs kind, x, y, w, h");
            FormDeco deco{t[1], v[0], v[1], v[2], v[3], t.size() > 6 ? t[6] : "", t.size() > 7 ? t[7] : ""};
            m_decos.push_back(deco);
        } else if (ClassNames().count(t[0]) != 0) {
            if (!ints(1, 3, v))
                return fail(t[0] + " needs id, x and y");
            Control c{t[0], v[0], v[1], v[2], {}, lineNumber};
            const std::set<std::string>& allowed = KindKeys().at(t[0]);
            for (size_t k = 4; k < t.size(); ++k) {
                const size_t eq = t[k].find('=');
                if (eq == std::string::npos)
                    return fail("expected key=value, found " + t[k]);
                const std::string key = t[k].substr(0, eq);
                if (allowed.count(key) == 0 && key != "w" && key != "h" && key != "mask" && key != "erase" &&
                    key != "anchor")
                    return fail(t[0] + " takes no key " + key);
                c.keys[key] = t[k].substr(eq + 1);
            }
            m_controls.push_back(c);
        } else {
            return fail("unknown line kind " + t[0]);
        }
    }
    if (m_backgroundId == 0 || m_width <= 0 || m_height <= 0) {
        error = "the form has no background line";
        return 0;
    }
    return 1;
}

std::vector<uint8_t> CFormSource::Compile(const PictureSize& pictureSize, std::string& error) const
{
    CByteWriter out;
    out.WriteI32(1);
    out.WriteI32(m_backgroundId);
    out.WriteI32(static_cast<int32_t>(m_controls.size()));
    for (const Control& c : m_controls) {
        const auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(c.line) + ": " + what;
            return std::vector<uint8_t>();
        };
        bool bad = false;
        const auto get = [&](const char* key, int32_t fallback) {
            const auto it = c.keys.find(key);
            int32_t value = fallback;
            if (it != c.keys.end() && !ToInt(it->second, value))
                bad = true;
            return value;
        };
        const auto getFloat = [&](const char* key) {
            const auto it = c.keys.find(key);
            return it == c.keys.end() ? 0.0f : std::strtof(it->second.c_str(), nullptr);
        };
        int32_t w = get("w", 0);
        int32_t h = get("h", 0);
        CByteWriter data;
        if (c.kind == "switch") {
            const int32_t picture = get("picture", 0);
            const int32_t frames = get("frames", 1);
            const int32_t blank = get("blank", 0);
            int32_t pw = 0, ph = 0;
            if (!pictureSize(picture, pw, ph))
                return fail("switch " + std::to_string(c.id) + " names missing picture " +
                            std::to_string(picture));
            if (frames - (blank != 0 ? 1 : 0) <= 0)
                return fail("switch needs frames");
            // The control takes its frame size from the strip when it loads; stored alike, the
            // form writes back unchanged.
            w = pw / (frames - (blank != 0 ? 1 : 0));
            h = ph;
            data.WriteI32(5);
            for (const int32_t value :
                 {get("group", c.id), get("state", 0), picture, frames, w, h, blank, get("toggle", 0),
                  get("hover", 0), get("press", 0), get("disabled", 0), get("reporthover", 0),
                  get("leftonly", 0), get("notify", 0), get("period", 0), get("delay", 0)})
                data.WriteI32(value);
        } else if (c.kind == "selector") {
            const int32_t picture = get("picture", 0);
            const int32_t two = get("twoframes", 0);
            const int32_t vertical = get("vertical", 0);
            const int32_t length = get("length", 160);
            int32_t pw = 0, ph = 0;
            if (!pictureSize(picture, pw, ph))
                return fail("selector names missing picture " + std::to_string(picture));
            const int32_t handleWidth = two != 0 ? pw / 2 : pw;
            w = vertical != 0 ? handleWidth : length;
            h = vertical != 0 ? length : ph;
            data.WriteI32(7);
            // A fader: the knob fields keep their defaults; the stored knob value and free turn
            // only travel with the record.
            for (const int32_t value : {0,
                                        1,
                                        0,
                                        get("knobvalue", 0),
                                        0,
                                        0,
                                        0,
                                        36,
                                        2,
                                        2,
                                        0,
                                        0,
                                        0,
                                        0,
                                        0,
                                        1,
                                        get("freeturn", 0),
                                        picture,
                                        get("value", 0),
                                        vertical,
                                        two,
                                        get("range", 255),
                                        get("grab", 0),
                                        length,
                                        get("relative", 1)})
                data.WriteI32(value);
        } else if (c.kind == "text") {
            data.WriteI32(6);
            data.WriteI32(get("font", 0));
            data.WriteI32(0);
            data.WriteI32(get("centrex", 0));
            data.WriteI32(get("centrey", 1));
            const auto text = c.keys.find("text");
            data.WriteShortString(text == c.keys.end() ? "" : text->second);
            for (const int32_t value :
                 {get("scroll", 0), get("period", 0), get("step", 0), get("click", 0), get("drag", 0)})
                data.WriteI32(value);
            data.WriteF32(getFloat("min"));
            data.WriteF32(getFloat("max"));
            for (int k = 0; k < 16; ++k)
                data.WriteF32(0.0f);
        } else if (c.kind == "wave") {
            data.WriteI32(3);
            data.WriteI32(get("colour", static_cast<int32_t>(0xFFB4B4B4u)));
            data.WriteI32(get("markers", 0));
        } else if (c.kind == "markers") {
            data.WriteI32(2);
            data.WriteI32(get("colour", static_cast<int32_t>(0xFFB4B4B4u)));
            data.WriteI32(get("picture", 0));
        } else if (c.kind == "level") {
            const int32_t picture = get("picture", 0);
            const int32_t levels = get("levels", 1);
            const int32_t peaks = get("peaks", 0);
            const int32_t vertical = get("vertical", 0);
            int32_t pw = 0, ph = 0;
            if (!pictureSize(picture, pw, ph) || levels + peaks <= 0)
                return fail("level meter names missing picture " + std::to_string(picture));
            w = vertical != 0 ? pw : pw / (levels + peaks);
            h = vertical != 0 ? ph / (levels + peaks) : ph;
            data.WriteI32(2);
            for (const int32_t value : {0, picture, w, h, levels, peaks, get("max", 255), vertical})
                data.WriteI32(value);
        } else if (c.kind == "host") {
            data.WriteI32(1);
        } else if (c.kind == "tracks") {
            data.WriteI32(5);
            const auto fonts = c.keys.find("fonts");
            int32_t ids[4] = {0, 0, 0, 0};
            if (fonts != c.keys.end()) {
                std::string list = fonts->second;
                for (int k = 0; k < 4 && !list.empty(); ++k) {
                    const size_t comma = list.find(',');
                    if (!ToInt(list.substr(0, comma), ids[k]))
                        bad = true;
                    list = comma == std::string::npos ? "" : list.substr(comma + 1);
                }
            }
            for (const int32_t id : ids)
                data.WriteI32(id);
        } else if (c.kind == "shade") {
            data.WriteI32(1);
            data.WriteI32(get("colour", static_cast<int32_t>(0xFF800000u)));
        }
        if (bad)
            return fail("a value is not a number");
        if (w <= 0 || h <= 0)
            return fail(c.kind + " " + std::to_string(c.id) + " needs a size (w=, h=)");
        out.WriteI32(c.id);
        for (const int32_t value : {c.x, c.y, c.x + w, c.y + h})
            out.WriteI32(value);
        out.WriteI32(5);
        out.WriteShortString(ClassNames().at(c.kind));
        out.WriteI32(get("mask", -1));
        out.WriteI32(get("erase", 1));
        out.WriteI32(get("anchor", 0));
        out.WriteBytes(data.Bytes().data(), data.Bytes().size());
    }
    return out.Take();
}
