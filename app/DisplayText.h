#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CTimeLine;

// The texts of the main window's time displays and the mix information, written into a caller's
// buffer so that a display refreshed 24 times a second allocates nothing.
namespace DisplayText {

constexpr size_t kTimeBytes = 16;

// The mix time: seconds below 5941 as minutes and seconds ("99:00"), up to 356399 as hours and
// minutes ("01h39"), beyond that as hours alone ("99h"); a negative value gets a leading '-'.
void MixTime(int64_t seconds, char (&out)[kTimeBytes]);
// The Time Line's elapsed time in whole seconds, or with remaining the time still to play (as a
// negative value), as MixTime writes it.
void TimeLineMixTime(const CTimeLine& timeLine, bool remaining, char (&out)[kTimeBytes]);
// A deck's elapsed time " mm:ss" (with a leading blank) or remaining time "-mm:ss".
void DeckTime(double seconds, bool remaining, char (&out)[kTimeBytes]);
// " --:--": a deck loading, or the off phase of a blinking remaining time.
constexpr const char* kNoTime = " --:--";

// A mix comment stores each line break as "\n\n"; the edit field shows it as one line break.
std::string CommentForEditing(const std::string& stored);
std::string CommentForStoring(const std::string& edited);

} // namespace DisplayText
