#pragma once

#include "ControlListener.h"
#include "GlobalTimer.h"
#include "PlayerSettings.h"

#include <QPoint>

#include <array>
#include <memory>
#include <vector>

class CPanelStack;
class CPictureManager;
class CPlayerApp;
class CSettingsStore;
class CSkinForm;
class CSkinWindow;

// The program's one top-level window: the skin's panels stacked in a skin window, the deck
// panel always, the mixer, Time Line and Cases panels as the user left them. Its timer tick
// drives the periodic work of the program: the core's events on every tick, the hand-over of
// a file from a second start on every 24th.
//
// Threads: the user-interface thread.
class CMainDialog : public CTimerClient, public CControlListener {
public:
    // Panel numbers, in stacking order.
    enum Panel : int { kDeck = 0, kBorder = 1, kMixer = 2, kTimeLine = 3, kTabs = 4, kCases = 5 };
    static constexpr int kHandoverTicks = 24;

    // The application and the picture manager outlive the window.
    CMainDialog(CPlayerApp& app, CPictureManager& pictures);
    ~CMainDialog() override;

    void ReadPanelSettings(const CSettingsStore& store);
    const PanelSettings& Panels() const { return m_panels; }
    // Builds the panels and shows the window, at (x, y) when both differ from -1.
    bool Create(int x, int y);
    void ShowPanel(int panel, bool open);
    bool IsPanelOpen(int panel) const;
    void RefreshDisplay(bool force);
    // The window's top-left corner as it is when neither minimised nor maximised.
    QPoint RestoredPosition() const;
    CSkinWindow* Window() const { return m_window.get(); }
    CSkinForm* Form(int panel) const;
    int TickCount() const { return m_tick; }

    void Tick() override;
    void OnControlEvent(const CSkinEvent& event, int32_t controlId) override;

private:
    CPlayerApp& m_app;
    CPictureManager& m_pictures;
    PanelSettings m_panels;
    // Declared so that the stack goes first, then the window it draws into and the forms.
    std::vector<std::unique_ptr<CSkinForm>> m_forms; // by panel number
    std::unique_ptr<CSkinWindow> m_window;
    std::unique_ptr<CPanelStack> m_stack;
    int m_tick = 0; // 0 .. kHandoverTicks - 1
    bool m_created = false;
};
