#pragma once

#include "DialogText.h"
#include "PlayerSettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <tuple>

// Helpers for the dialog tests: find controls by their id, press buttons with the mouse, run
// an exec() with a hand on the modal dialog, and tell whether any text is cut.
namespace dialogtest {

template <typename T> T* Control(QWidget* dialog, const char* id)
{
    T* control = dialog->findChild<T*>(QString::fromLatin1(id));
    EXPECT_NE(control, nullptr) << "no control " << id;
    return control;
}

// A check box takes clicks on its box and label only, not on the rest of its row.
inline void ClickCheckBox(QCheckBox* box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

inline void Click(QWidget* dialog, const char* id)
{
    auto* button = Control<QAbstractButton>(dialog, id);
    if (auto* box = qobject_cast<QCheckBox*>(button))
        ClickCheckBox(box);
    else if (button != nullptr)
        QTest::mouseClick(button, Qt::LeftButton);
}

inline void Show(QWidget* dialog)
{
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QApplication::processEvents();
}

// Runs action on the modal window as soon as one that passes the test is up. A window that has
// not come up after five seconds fails the test.
inline void WhenModalWhere(const std::function<bool(QWidget*)>& test,
                           const std::function<void(QWidget*)>& action)
{
    auto* timer = new QTimer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, test, action, deadline] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal->isVisible() && test(modal)) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (std::chrono::steady_clock::now() > deadline) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal dialog came up";
        }
    });
    timer->start(5);
}

// Runs action on the modal dialog as soon as exec() has shown it.
inline void WhenModal(const std::function<void(QWidget*)>& action)
{
    WhenModalWhere([](QWidget*) { return true; }, action);
}

// Runs action on the first modal window of type T, such as the file dialog that a dialog's
// button opens on top of it.
template <typename T> void WhenModalIs(const std::function<void(T*)>& action)
{
    WhenModalWhere([](QWidget* modal) { return qobject_cast<T*>(modal) != nullptr; },
                   [action](QWidget* modal) { action(qobject_cast<T*>(modal)); });
}

// While alive, closes every message box that comes up with OK and keeps its text, so that a
// test can count the messages an action shows.
class CMessageBoxCatcher {
public:
    CMessageBoxCatcher()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible() || box->property("caught").toBool())
                return;
            box->setProperty("caught", true);
            m_texts << box->text();
            box->done(QMessageBox::Ok);
        });
        m_timer.start(5);
    }

    const QStringList& Texts() const { return m_texts; }

private:
    QTimer m_timer;
    QStringList m_texts;
};

// Every text shown whole: labels and group titles as wide as they need, wrapped labels as
// high as their lines, buttons, boxes and drop-downs at least their size hint. Call with each
// tab page shown in turn, since hidden pages are not laid out.
inline void ExpectNoClippedText(QWidget* root)
{
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root))
            continue;
        const QString what =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty())
                continue;
            if (label->wordWrap()) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                    << label->text().toStdString();
            } else {
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
            }
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            EXPECT_GE(group->width(), group->minimumSizeHint().width()) << group->title().toStdString();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (!button->text().isEmpty()) {
                EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
            }
        } else if (qobject_cast<QComboBox*>(w) != nullptr) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << what.toStdString();
        }
    }
}

// All members, for comparing two records.
inline auto Fields(const PlayerSettings& s)
{
    return std::tie(s.run, s.outputDevice, s.outputFrequency, s.outputBlockSize, s.outputResolution,
                    s.outputStereo, s.windowPosX, s.windowPosY, s.driveAudioCd, s.registerQzl, s.registerQzx,
                    s.registerM3u, s.registerMp3, s.registerWav, s.registerCda, s.registerAudioCd,
                    s.playlistRecDirAdd, s.playlistRepeat, s.autoFadeTime, s.toolTips, s.timeLineModeFixed,
                    s.automixSkipSilence, s.automixLevelTracks, s.defaultLoadDir, s.outputChanged);
}

} // namespace dialogtest
