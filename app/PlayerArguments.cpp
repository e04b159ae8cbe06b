#include "PlayerArguments.h"

#include <filesystem>
#include <string_view>

PlayerArguments PlayerArguments::Parse(int argc, const char* const* argv)
{
    PlayerArguments arguments;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (options && argument == "--") {
            options = false;
        } else if (options && (argument == "--help" || argument == "-h")) {
            arguments.help = true;
        } else if (options && argument == "--version") {
            arguments.version = true;
        } else if (options && (argument == "--audio-cd" || argument == "/AudioCD")) {
            arguments.audioCd = true;
        } else if (options && argument.size() > 1 && argument[0] == '-') {
            arguments.error = "unknown option " + std::string(argument);
            return arguments;
        } else if (argument.empty()) {
            arguments.error = "an empty file name";
            return arguments;
        } else if (!arguments.file.empty()) {
            arguments.error = "more than one file given";
            return arguments;
        } else {
            std::error_code error;
            const std::filesystem::path absolute = std::filesystem::absolute(std::string(argument), error);
            arguments.file = error ? std::string(argument) : absolute.lexically_normal().string();
        }
    }
    return arguments;
}

const char* PlayerArguments::Usage()
{
    return "Usage: quandel-player [OPTION] [FILE]\n"
           "A two-deck DJ mixing player.\n"
           "\n"
           "FILE is a list (.qzl, .m3u), a Mix-File (.qzx) or a track, opened and played at once.\n"
           "Without FILE the player opens the Time Line it had at its last exit.\n"
           "\n"
           "Only one player runs per user: a second start hands FILE (or nothing) to the running\n"
           "player and ends with status 0. The hand-over carries paths of up to 259 bytes; with\n"
           "a longer path the second start says so and ends with status 2, and the running\n"
           "player is left as it is.\n"
           "\n"
           "  --audio-cd, /AudioCD  started for an inserted Audio CD: play the CD when the\n"
           "                        Time Line is empty\n"
           "  --help                this text\n"
           "  --version             the program's version\n"
           "\n"
           "Settings: $XDG_CONFIG_HOME/Kelmaric/Quandel Player.conf\n"
           "Saved lists: $XDG_DATA_HOME/Kelmaric/Quandel Player/ (last.qzl, case1.qzl ... case4.qzl)\n"
           "\n"
           "Exit status: 0 after a normal end or a hand-over, 1 when the player could not start\n"
           "(no display, no sound device), 2 for a wrong command line or a path too long to hand\n"
           "over.\n";
}
