#pragma once

#include "DisplayText.h"

#include <cstdint>
#include <string>

class CPlayerCore;
class CSkinForm;

// One deck's part of the deck panel: its time (elapsed or remaining, blinking towards the
// change-over), level meter, title and second line, and the shade over a deck the mix does not
// let through. Texts are sent to their controls only when they change, or when forced, and are
// composed in buffers kept from tick to tick: a steady display allocates nothing.
//
// Threads: the user-interface thread.
class CDeckDisplay {
public:
    // The core and the deck panel's form outlive the display.
    CDeckDisplay(CPlayerCore& core, CSkinForm& form, int deck);

    // tick counts display refreshes (it paces the blinking); showRemaining is the window's toggle.
    void Refresh(bool force, uint32_t tick, bool showRemaining);

    const std::string& TitleShown() const { return m_titleShown; }
    const std::string& SecondLineShown() const { return m_secondShown; }
    const char* TimeShown() const { return m_timeShown; }
    bool Shaded() const { return m_shaded; }
    int LevelShown() const { return m_levelShown; }
    // How often the title text was handed to its control.
    uint32_t TitleSends() const { return m_titleSends; }

private:
    void RefreshTime(bool force, uint32_t tick, bool showRemaining, bool loading);
    void RefreshTexts(bool force, bool loading);
    void RefreshShade(bool force);

    CPlayerCore& m_core;
    CSkinForm& m_form;
    int m_deck;
    char m_timeShown[DisplayText::kTimeBytes] = {};
    std::string m_titleShown;
    std::string m_secondShown;
    std::string m_title; // composed here, compared with the shown one
    std::string m_second;
    std::string m_trackTitle;          // the loaded track's own title, read once per load
    uint64_t m_titleLoad = UINT64_MAX; // the load m_trackTitle belongs to
    uint32_t m_titleSends = 0;
    int m_levelShown = -1;
    bool m_shaded = false;
    bool m_shadeKnown = false;
};
