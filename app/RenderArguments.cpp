#include "RenderArguments.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr double kLongestFadeSeconds = 600.0;

// Digits only, at least one; value below limit.
bool ParseField(std::string_view text, long limit, long& value)
{
    if (text.empty() || text.size() > 9)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value < limit;
}

// Digits with an optional fraction ("12", "12.5", ".5" refused), below limit.
bool ParseSeconds(std::string_view text, double limit, double& value)
{
    const size_t dot = text.find('.');
    long whole = 0;
    if (!ParseField(text.substr(0, dot), 1000000000L, whole))
        return false;
    double fraction = 0.0;
    if (dot != std::string_view::npos) {
        const std::string_view digits = text.substr(dot + 1);
        if (digits.empty() || digits.size() > 9)
            return false;
        long part = 0;
        if (!ParseField(digits, 1000000000L, part))
            return false;
        fraction = static_cast<double>(part) / std::pow(10.0, static_cast<double>(digits.size()));
    }
    value = static_cast<double>(whole) + fraction;
    return value < limit;
}

} // namespace

bool CRenderArguments::ParseTime(std::string_view text, double& seconds)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
        const size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon == std::string_view::npos ? colon : colon - start));
        if (colon == std::string_view::npos)
            break;
        start = colon + 1;
    }
    if (fields.size() > 3)
        return false;
    double last = 0.0;
    if (!ParseSeconds(fields.back(), fields.size() == 1 ? 1e9 : 60.0, last))
        return false;
    long minutes = 0;
    long hours = 0;
    if (fields.size() >= 2 &&
        !ParseField(fields[fields.size() - 2], fields.size() == 3 ? 60 : 1000000L, minutes))
        return false;
    if (fields.size() == 3 && !ParseField(fields[0], 100000L, hours))
        return false;
    seconds = static_cast<double>(hours) * 3600.0 + static_cast<double>(minutes) * 60.0 + last;
    return true;
}

bool CRenderArguments::ParseInteger(std::string_view text, long low, long high, long& value)
{
    long parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || parsed < low ||
        parsed > high)
        return false;
    value = parsed;
    return true;
}

const char* CRenderArguments::HelpText()
{
    return "usage: quandel-render [options] [INPUT...]\n"
           "\n"
           "Renders a mix without a display. INPUT is an M3U or .qzl list, a folder, track files\n"
           "(.mp3, .wav, .flac, .ogg, .opus, .m4a, .aiff, .wma, ...) played in Automix in the given\n"
           "order, or a .qzx Mix-File replayed with the list stored in it. Without INPUT the\n"
           "bundled demo is made and rendered.\n"
           "\n"
           "options:\n"
           "  -o FILE.wav         where the mix is written; - writes it to standard output\n"
           "                      (default: the first input's name + .wav, or + -mix.wav when\n"
           "                      that would name an input). An input is never written over.\n"
           "  --tracklist FILE    the mix as heard: start time, deck, artist - title, BPM\n"
           "  --cue FILE          a CUE sheet of the written file, an INDEX where each track\n"
           "                      enters the mix\n"
           "  --fade SECONDS      Automix fade time; negative: a pause between tracks (default 8)\n"
           "  --repeat            start the list again after its last track, cross-faded like\n"
           "                      any change-over (needs --to, unless the mix goes to - or --play)\n"
           "  --from TIME         start writing at TIME (seconds, m:ss or h:mm:ss)\n"
           "  --to TIME           stop at TIME, on that very frame\n"
           "  --master-volume N   \"Master Volume\" 0..255 (default 191: 0 dB, tracks play at their\n"
           "                      own level and the limiter keeps the mix from clipping; the\n"
           "                      player's own default 128 is -9.9 dB)\n"
           "  --analyse           analyse the tracks first: tempo, loudness and silent ends\n"
           "                      (a tempo the list gives stays); results are kept in\n"
           "                      $XDG_DATA_HOME/quandel-player/analysis.txt for the next run\n"
           "  --skip-silence      each track starts at its first sound above -60 dBFS, the fade\n"
           "                      (or pause) out of it is placed at its last, and the mix ends\n"
           "                      with the last track's last sound; analyses the tracks as\n"
           "                      --analyse does\n"
           "  --level             each track plays at -14 LUFS integrated loudness, never above\n"
           "                      0 dBTP, through its deck volume; analyses the tracks as\n"
           "                      --analyse does\n"
           "  --play              play through the sound card (ALSA \"default\") in real time\n"
           "  --block TICKS       ticks of 128 frames per rendered block (1..128, default 8)\n"
           "  --threads N         1: decode and mix on one thread; 2: decode the tracks on a\n"
           "                      second thread while the mix renders (default where the\n"
           "                      machine has more than one core); the file is the same\n"
           "  --demo-dir DIR      where the demo is made when no INPUT is given (default:\n"
           "                      $XDG_DATA_HOME/quandel-player/demo, or ~/.local/share/...)\n"
           "  -q                  no progress, no change-over lines, only errors and the summary\n"
           "  -h, --help          this text\n"
           "\n"
           "The mix is 16-bit stereo at 44100 Hz. It is written to a temporary file beside the\n"
           "output, which replaces the output only when it is complete: a failed or interrupted\n"
           "render leaves an earlier file as it was. Past 4 GiB of audio (about 6 h 45 min) the\n"
           "file is written as RF64 (EBU Tech 3306), which sox, ffmpeg and most editors read.\n"
           "\n"
           "exit codes:\n"
           "  0  the mix was rendered\n"
           "  1  bad options, or an output that names an input\n"
           "  2  nothing to play: no input could be read, none of its tracks, or nothing lies\n"
           "     after --from\n"
           "  3  the output could not be written (the reason is named) or the sound device opened\n"
           "  4  rendered, but some tracks or list entries were left out (each was named)\n"
           "  SIGINT, SIGTERM or SIGHUP end the render: the temporary file is removed and the\n"
           "  program ends by that signal.\n";
}

bool CRenderArguments::Parse(int argc, char** argv, RenderOptions& options, std::string& error, bool& help)
{
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "-h" || arg == "--help") {
            help = true;
            return true;
        } else if (arg == "-o") {
            if (!value(options.output))
                return false;
            if (options.output.empty()) {
                error = "-o needs a file name";
                return false;
            }
        } else if (arg == "--tracklist" || arg == "--cue") {
            if (!value(arg == "--cue" ? options.cueSheet : options.tracklist))
                return false;
        } else if (arg == "--fade") {
            if (!value(text))
                return false;
            char* end = nullptr;
            const double fade = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(fade) ||
                std::fabs(fade) > kLongestFadeSeconds) {
                error = "--fade wants seconds from -600 to 600, not \"" + text + "\"";
                return false;
            }
            options.fadeSeconds = static_cast<float>(fade);
        } else if (arg == "--from" || arg == "--to") {
            if (!value(text))
                return false;
            double seconds = 0.0;
            if (!ParseTime(text, seconds)) {
                error = arg + " wants a time in seconds, m:ss or h:mm:ss, not \"" + text + "\"";
                return false;
            }
            (arg == "--from" ? options.fromSeconds : options.toSeconds) = seconds;
        } else if (arg == "--block") {
            long ticks = 0;
            if (!value(text))
                return false;
            if (!ParseInteger(text, 1, 128, ticks)) {
                error = "--block wants 1..128 ticks, not \"" + text + "\"";
                return false;
            }
            options.blockTicks = static_cast<uint32_t>(ticks);
        } else if (arg == "--threads") {
            long threads = 0;
            if (!value(text))
                return false;
            if (!ParseInteger(text, 1, 2, threads)) {
                error = "--threads wants 1 or 2, not \"" + text + "\"";
                return false;
            }
            options.threads = static_cast<int>(threads);
        } else if (arg == "--master-volume") {
            long volume = 0;
            if (!value(text))
                return false;
            if (!ParseInteger(text, 0, 255, volume)) {
                error = "--master-volume wants 0..255, not \"" + text + "\"";
                return false;
            }
            options.masterVolume = static_cast<int>(volume);
        } else if (arg == "--demo-dir") {
            if (!value(options.demoFolder))
                return false;
        } else if (arg == "--analyse") {
            options.analyse = true;
        } else if (arg == "--skip-silence") {
            options.skipSilence = true;
            options.analyse = true;
        } else if (arg == "--level") {
            options.levelTracks = true;
            options.analyse = true;
        } else if (arg == "--repeat") {
            options.repeat = true;
        } else if (arg == "--play") {
            options.play = true;
        } else if (arg == "-q") {
            options.quiet = true;
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                options.inputs.emplace_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            options.inputs.push_back(arg);
        }
    }
    if (options.toSeconds >= 0.0 && options.toSeconds <= options.fromSeconds) {
        error = "--to must lie after --from";
        return false;
    }
    if (options.repeat && options.toSeconds < 0.0 && !options.play && options.output != "-") {
        error = "--repeat renders forever without --to";
        return false;
    }
    if (options.play && (options.output == "-" || !options.cueSheet.empty())) {
        error = "--play writes no file: -o - and --cue do not go with it";
        return false;
    }
    return true;
}
