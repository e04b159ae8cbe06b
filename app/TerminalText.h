#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Text for a terminal: names from files and lists shown so that no byte of theirs can move the
// cursor or change the terminal, and a progress line that fits the terminal's width.
class CTerminalText {
public:
    // Control characters (C0, DEL, C1) and bytes that are not UTF-8 become \xNN; the rest,
    // accented and non-Latin letters included, is kept.
    static std::string Escape(std::string_view text);
    // Columns of the terminal behind stream (its window size, else $COLUMNS, else 80).
    static int Columns(FILE* stream);
    // "[#####.....] 1:23 / 4:56  270x" in at most columns - 1 characters (the last column stays
    // free, so the line never wraps); without the bar where it does not fit.
    static std::string ProgressLine(int columns, double doneSeconds, double totalSeconds, double speed);
    // m:ss, or h:mm:ss from an hour on.
    static std::string Clock(double seconds);
};
