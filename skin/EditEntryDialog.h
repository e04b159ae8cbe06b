#pragma once

#include "TrackEntry.h"

#include <QDialog>

class CGenreBox;
class CPlaylist;
class CTrackTextField;
class QLineEdit;

// "Edit Entry" (dialog 173) for one track entry: "Title" (object name "title"), "Artist"
// ("artist"), "Album" ("album"), "Track" ("track"), "Genre" ("genre"), "Comment" ("comment")
// and "Location" ("location"); "Locate" ("locate") picks the file, "Read ID3" ("readId3")
// fills the fields from the file's tag, "Write ID3" ("writeId3") writes them to it at once;
// "OK" ("1") and "Cancel" ("2"). Texts take at most the entry's 63 bytes; a field left as shown
// keeps the entry's own value.
class CEditEntryDialog : public QDialog {
public:
    explicit CEditEntryDialog(const TrackEntry& entry, QWidget* parent = nullptr);

    // The entry as the fields show it: the given entry with the fields written over it.
    TrackEntry Edited() const;
    // Writes the fields into entry.
    void Apply(TrackEntry& entry) const;

private:
    void Locate();
    void ReadId3();
    void WriteId3();
    void ShowTrackNumber(int32_t trackNumber);

    TrackEntry m_entry;                 // as given, for the fields the dialog does not show
    CTrackTextField* m_title = nullptr; // children of the dialog
    CTrackTextField* m_artist = nullptr;
    CTrackTextField* m_album = nullptr;
    QLineEdit* m_track = nullptr;
    CGenreBox* m_genre = nullptr;
    CTrackTextField* m_comment = nullptr;
    CTrackTextField* m_location = nullptr;
    int32_t m_trackNumber = 0; // the number last shown, kept while its text is left alone
    QString m_trackShown;
};

// Shows the dialog for the list's entry at index modally: 1 on OK with the entry changed (found
// again by its id) and the list marked changed; 0 on cancel, for an index outside the list, or
// when the entry left the list while the dialog was open.
int EditEntry(QWidget* parent, CPlaylist& list, int index);
// The message that an ID3 tag could not be written (string 108).
void ShowId3WriteError(QWidget* parent);
