#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class QWidget;

// Answers the modal dialogs and menus the player opens, one handler per dialog in the order
// they come. A handler gets the dialog and returns after pressing one of its buttons; a dialog
// beyond the handlers is closed, so that nothing unexpected hangs a test.
class CDialogAnswers {
public:
    using Answer = std::function<void(QWidget* dialog)>;

    explicit CDialogAnswers(std::vector<Answer> answers);
    int Answered() const { return m_answered; }
    const std::vector<std::string>& Seen() const { return m_seen; }

private:
    void Look();

    std::vector<Answer> m_answers;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    int m_answered = 0;
    std::vector<std::string> m_seen;
};

// Picks path in a file dialog as a user does: its folder, then the name typed into the name
// field (which picks the file only while that field has the focus), then Open or Save. A
// dialog that stays open is cancelled, so that a refused choice fails the test instead of
// hanging it.
CDialogAnswers::Answer ChooseFile(const std::string& path);
// Clicks the dialog's button of that object name (the dialogs name theirs by control id).
void Click(QWidget* dialog, const char* objectName);
void ClickBox(QWidget* dialog, QMessageBox::StandardButton which);
// The whole file, or empty.
std::string Bytes(const std::string& path);
