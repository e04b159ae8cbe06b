#pragma once

#include <QDialog>

class CGenreBox;
class CPlaylist;
class CTrackTextField;
class QCheckBox;

// "Edit Group" (dialog 176) for the selected entries of a list: "Artist" (object name
// "artist"), "Album" ("album") and "Comment" ("comment") show the text all selected entries
// share, else nothing; "Genre" ("genre") shows the genre they share, else the empty row;
// "# Tracks" ("numberTracks") and "Write ID3 Tags" ("writeId3"); "OK" ("1"), "Cancel" ("2").
class CEditGroupDialog : public QDialog {
public:
    // The selection is read now; the list is not kept.
    explicit CEditGroupDialog(const CPlaylist& list, QWidget* parent = nullptr);

    // Writes every non-empty text to each selected entry, the genre when one was chosen, the
    // numbers 1, 2, ... in list order with "# Tracks", and with "Write ID3 Tags" each entry's tag
    // to its file. Marks the entries and the list changed. The number of tags that could not be
    // written.
    int Apply(CPlaylist& list) const;

private:
    CTrackTextField* m_artist = nullptr; // children of the dialog
    CTrackTextField* m_album = nullptr;
    CTrackTextField* m_comment = nullptr;
    CGenreBox* m_genre = nullptr;
    QCheckBox* m_numberTracks = nullptr;
    QCheckBox* m_writeId3 = nullptr;
};

// Shows the dialog for the list's selection modally: 1 on OK with the entries changed, 0 on
// cancel or without a selection. Tags that could not be written are reported in one message.
int EditGroup(QWidget* parent, CPlaylist& list);
// The edit command of the list window: "Edit Entry" for one selected entry, "Edit Group" for
// several. 1 on OK, 0 on cancel or without a selection.
int EditSelection(QWidget* parent, CPlaylist& list);
