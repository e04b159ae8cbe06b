#pragma once

// The player started in this process with a Time Line of tracks made by the test, its window
// driven through real Qt events on the offscreen platform, playing to the test sound server
// that ctest's fixture runs.
#include "CoreTestSupport.h"
#include "ListAnalysis.h"
#include "MainDialog.h"
#include "PanelStack.h"
#include "PlayerApp.h"
#include "PlayerTestSupport.h"
#include "SkinControl.h"
#include "SkinForm.h"
#include "SkinWindow.h"
#include "TempDir.h"
#include "XmlPlaylist.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class PlayerWindowTest : public ::testing::Test {
protected:
    // A track of the Time Line as the list file names it.
    struct ListTrack {
        std::string path;
        std::string title; // empty: the file name
        std::string artist;
        int32_t playSeconds = TrackEntry::kUnknownPlayTime; // as a list that played it knows it
    };

    PlayerWindowTest() : m_home(m_dir.Root()) {}
    void SetUp() override
    {
        ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
            << "run through ctest: its fixture starts the sound server";
        m_home.Apply();
    }
    void TearDown() override
    {
        if (m_app != nullptr)
            m_app->ExitInstance();
        m_app.reset();
    }

    std::string Track(const std::string& name, double hz, double seconds)
    {
        return WriteToneTrack(m_home.Root() + "/music/" + name, hz, seconds);
    }
    // Starts the player with these tracks as the last Time Line, stopped.
    void Start(const std::vector<ListTrack>& tracks, const std::string& extraSettings = {})
    {
        std::filesystem::create_directories(m_home.DataFolder());
        CPlaylist last;
        last.SetTitle("Friday");
        for (const ListTrack& track : tracks) {
            const int index = last.AddTrack(track.path, true);
            ASSERT_GE(index, 0) << track.path;
            if (!track.title.empty())
                last.Entry(index).title = track.title;
            last.Entry(index).artist = track.artist;
            last.Entry(index).playTime = track.playSeconds;
        }
        ASSERT_TRUE(CXmlPlaylist::Save(last, m_home.DataFolder() + "last.qzl"));
        m_home.WriteSettings(extraSettings);
        m_arguments = {"quandel-player"};
        m_argv = {m_arguments[0].data()};
        m_argc = 1;
        m_app = std::make_unique<CPlayerApp>(m_argc, m_argv.data());
        ASSERT_TRUE(m_app->InitInstance());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window()));
    }

    CMainDialog& Dialog() { return *m_app->MainDialog(); }
    CSkinWindow* Window() { return Dialog().Window(); }
    CPlayerCore& Core() { return m_app->Core(); }
    CPanelStack& Stack() { return *Window()->GetStack(); }
    template <typename Control> Control& Get(int panel, int32_t id)
    {
        auto* control = dynamic_cast<Control*>(Dialog().Form(panel)->FindControl(id));
        EXPECT_NE(control, nullptr) << panel << ":" << id;
        return *control;
    }
    // A point of a panel's form in window coordinates.
    QPoint ToWindow(int panel, int32_t x, int32_t y)
    {
        return QPoint(x, y + Stack().PanelOffset(Dialog().Form(panel)));
    }
    QPoint Centre(int panel, int32_t id)
    {
        CSkinForm* form = Dialog().Form(panel);
        const SkinRect r = Stack().PanelRectToWindow(form, form->FindControl(id)->GetRect());
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void Click(int panel, int32_t id, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(Window(), Qt::LeftButton, modifiers, Centre(panel, id));
    }
    // Lets the window's timer tick until the condition holds; false after the deadline.
    static bool WaitFor(const std::function<bool()>& condition, int ms = 10000)
    {
        return QTest::qWaitFor(condition, ms);
    }
    // Until the player's analysis of the tracks it started with has finished: the title line
    // shows it while it runs.
    bool WaitAnalysed()
    {
        return WaitFor(
            [&] { return m_app->Analysis() == nullptr || m_app->Analysis()->ProgressText().empty(); }, 60000);
    }
    static void Screenshot(QWidget* widget, const char* name, const QRect& part = {})
    {
        QDir().mkpath(QStringLiteral(QUANDEL_SCREENS));
        // Everything the controls were told so far, drawn now rather than on the next tick.
        if (auto* window = dynamic_cast<CSkinWindow*>(widget);
            window != nullptr && window->GetStack() != nullptr)
            window->GetStack()->PaintWindow();
        widget->grab(part.isNull() ? widget->rect() : part)
            .save(QStringLiteral(QUANDEL_SCREENS "/") + QString::fromLatin1(name));
    }
    // The window's rectangle of a panel.
    QRect PanelRect(int panel)
    {
        const CSkinForm* form = Dialog().Form(panel);
        return QRect(0, Stack().PanelOffset(form), form->Width(), form->Height());
    }

    CTempDir m_dir;
    CPlayerHome m_home;
    std::vector<std::string> m_arguments;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<CPlayerApp> m_app;
};
