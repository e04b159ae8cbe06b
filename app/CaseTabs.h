#pragma once

#include "ControlListener.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

class CPlaylist;
class CPlayerCore;
class CSkinForm;

// The tab bar over the playlist window: the Time Line's own list ("Mix Playlist") and the four
// cases. The tab of the list shown is lit; each case tab is captioned with the case's title, its
// number, or "- empty -". Captions are composed in buffers kept from tick to tick and handed to
// their controls only when they change, so a steady bar allocates nothing.
//
// Threads: the user-interface thread, which owns the cases.
class CCaseTabs : public CControlListener {
public:
    static constexpr int kTabs = 5;               // the Time Line's list, then cases 1..4
    static constexpr int32_t kFirstTab = 15;      // switch of tab k: 15 + k
    static constexpr int32_t kFirstCaption = 20;  // text of tab k: 20 + k (the cases' are 21..24)
    static constexpr size_t kCaptionBytes = 72;   // a title's 63 bytes, and room to spare
    static constexpr int kLongestWholeTitle = 13; // characters; longer ones are cut to 10 + "..."
    static constexpr const char* kEmptyCaption = "- empty -";

    // The core and the tab bar's form outlive the tabs. select is called with the list a click
    // asks for: -1 for the Time Line's list, 0..3 for a case.
    CCaseTabs(CPlayerCore& core, CSkinForm& form, std::function<void(int caseIndex)> select);
    ~CCaseTabs() override;
    CCaseTabs(const CCaseTabs&) = delete;
    CCaseTabs& operator=(const CCaseTabs&) = delete;

    // Every display tick while the bar is shown; shownCase is -1 for the Time Line's list.
    void Refresh(int shownCase, bool force);
    void OnControlEvent(const CSkinEvent& event, int32_t controlId) override;

    // The caption of case caseNumber (1..4) as the bar shows it.
    static void Caption(const CPlaylist& list, int caseNumber, char (&out)[kCaptionBytes]);
    const char* CaptionShown(int caseIndex) const
    {
        return m_captions[static_cast<size_t>(caseIndex & 3)].data();
    }

private:
    CPlayerCore& m_core;
    CSkinForm& m_form;
    std::function<void(int)> m_select;
    std::array<std::array<char, kCaptionBytes>, 4> m_captions{};
    int m_tabShown = -2; // -1 the Time Line's list, 0..3 a case; -2 before the first refresh
};
