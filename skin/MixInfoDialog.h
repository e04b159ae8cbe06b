#pragma once

#include <QDialog>

#include <string>

class QLineEdit;
class QPlainTextEdit;

// "Quandel - Playlist & Mix Info" (dialog 198): the list title (edit 1203), the mix title
// (1088) and the mix comment (multi-line 1094), with "OK" (object name "1") and the cancel
// button ("2", captioned "Abbruch" in English as the resource has it). Texts are UTF-8; line
// breaks in the comment are "\n" both ways.
class CMixInfoDialog : public QDialog {
public:
    CMixInfoDialog(const std::string& listTitle, const std::string& mixTitle, const std::string& comment,
                   QWidget* parent = nullptr);

    std::string ListTitle() const;
    std::string MixTitle() const;
    std::string Comment() const;

private:
    QLineEdit* m_listTitle = nullptr; // children of the dialog
    QLineEdit* m_mixTitle = nullptr;
    QPlainTextEdit* m_comment = nullptr;
};

// Shows the dialog modally: 1 on OK with the three strings replaced by the edited texts, 0 on
// cancel with them untouched.
int EditMixInfo(QWidget* parent, std::string& listTitle, std::string& mixTitle, std::string& comment);
