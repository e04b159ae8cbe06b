#pragma once

#include "RenderOptions.h"

#include <string>
#include <string_view>

// The renderer's command line: every option checked whole (a number followed by anything else is
// refused), times in seconds, m:ss or h:mm:ss.
class CRenderArguments {
public:
    // Parses argv into options; false with a one-line reason in error. help is set for --help.
    static bool Parse(int argc, char** argv, RenderOptions& options, std::string& error, bool& help);
    static const char* HelpText();

    // "90.5", "1:30", "1:02:03.25": seconds, not negative; minutes and seconds after a colon below
    // 60. False for anything else.
    static bool ParseTime(std::string_view text, double& seconds);
    // A whole decimal number in [low, high], nothing around it.
    static bool ParseInteger(std::string_view text, long low, long high, long& value);
};
