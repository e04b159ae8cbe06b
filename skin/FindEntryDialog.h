#pragma once

#include <QDialog>

class CPlaylist;
class QComboBox;
class QLineEdit;
struct ListFindState;

// "Find Entry" (dialog 171) over one list: "Anywhere" (object name "anywhere"), "Title"
// ("title"), and the drop-downs "Artist" ("artist") and "Album" ("album") offering the list's
// artists and albums, each taking 63 characters; "Find Next" (the default button, "1"),
// "Select All Matches" ("selectAllMatches") and "Close" ("2"). It opens with the texts of the
// last search and leaves the typed texts in the state when it closes. Searches select in the
// list and move the caller's current index while the dialog stays open, so that the list
// window shows each hit.
class CFindEntryDialog : public QDialog {
public:
    static constexpr int kMaxChars = 63;

    // list, current and state belong to the caller and outlive the dialog.
    CFindEntryDialog(CPlaylist& list, int& current, ListFindState& state, QWidget* parent = nullptr);

    // Whether a search of this opening selected anything.
    bool Found() const { return m_found; }

    void done(int result) override;

private:
    void FindNext();
    void SelectAll();
    // "Find Next" starts at current (0 when there is none) the first time and after current
    // later on, so that pressing it again steps to the next hit instead of finding the same one.
    int Start() const;
    void Remember();

    CPlaylist& m_list;
    int& m_current;
    ListFindState& m_state;
    QLineEdit* m_any = nullptr; // children of the dialog
    QLineEdit* m_title = nullptr;
    QComboBox* m_artist = nullptr;
    QComboBox* m_album = nullptr;
    bool m_searched = false;
    bool m_found = false;
};

// Shows the dialog modally: 1 when one of its searches selected entries, else 0.
int FindEntry(QWidget* parent, CPlaylist& list, int& current, ListFindState& state);
