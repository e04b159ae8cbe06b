#pragma once

#include <QDialog>

#include <string>

class QListWidget;

// The "Quandel - Play CD" choice (dialog 207): list 1201 with "Play tracks in original order"
// (string 33042) and, when the caller gives one, a second option; "Play" (object name "1")
// and "Cancel" ("2"). A double click on an entry plays it.
class CPlayCdDialog : public QDialog {
public:
    // An empty secondOption shows the first entry alone; selectSecond then has no effect.
    CPlayCdDialog(const std::string& secondOption, bool selectSecond, QWidget* parent = nullptr);

    // -1 while open or after Cancel; after Play, 0 for the first entry and 1 for the second.
    int Choice() const;
    QListWidget* List() const { return m_list; }

private:
    QListWidget* m_list = nullptr; // a child of the dialog
};

// Shows the choice modally: -1 Cancel, 0 play in the original order, 1 the second option.
int ChoosePlayOrder(QWidget* parent, const std::string& secondOption, bool selectSecond);
