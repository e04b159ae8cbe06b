#include "EditGroupDialog.h"

#include "DialogText.h"
#include "EditEntryDialog.h"
#include "GenreBox.h"
#include "Playlist.h"
#include "StringIds.h"
#include "TrackTextField.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>
#include <string>

namespace {

// The value every selected entry has, or nullopt when they differ or none is selected.
template <typename T> std::optional<T> Shared(const CPlaylist& list, T TrackEntry::*field)
{
    std::optional<T> shared;
    for (int i = list.FirstSelected(); i >= 0; i = list.NextSelected(i)) {
        const T& value = list.Entry(i).*field;
        if (!shared)
            shared = value;
        else if (*shared != value)
            return std::nullopt;
    }
    return shared;
}

CTrackTextField* SharedTextField(const CPlaylist& list, std::string TrackEntry::*field, const char* name)
{
    auto* text = new CTrackTextField(Shared(list, field).value_or(std::string()), TrackEntry::kTextBytes);
    text->setObjectName(QString::fromLatin1(name));
    return text;
}

} // namespace

CEditGroupDialog::CEditGroupDialog(const CPlaylist& list, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("176"));
    setWindowTitle(DialogText(StringId::EditGroupCaption));
    m_artist = SharedTextField(list, &TrackEntry::artist, "artist");
    m_album = SharedTextField(list, &TrackEntry::album, "album");
    m_comment = SharedTextField(list, &TrackEntry::comment, "comment");
    m_artist->setMinimumWidth(m_artist->fontMetrics().averageCharWidth() * 44);
    m_genre = new CGenreBox;
    m_genre->setObjectName(QStringLiteral("genre"));
    m_genre->SetGenre(Shared(list, &TrackEntry::genre).value_or(TrackEntry::kNoGenre));
    m_numberTracks = new QCheckBox(DialogText(StringId::EditGroupNumberTracks));
    m_numberTracks->setObjectName(QStringLiteral("numberTracks"));
    m_writeId3 = new QCheckBox(DialogText(StringId::EditGroupWriteId3));
    m_writeId3->setObjectName(QStringLiteral("writeId3"));

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(DialogText(StringId::EditGroupArtist), m_artist);
    form->addRow(DialogText(StringId::EditGroupAlbum), m_album);
    form->addRow(DialogText(StringId::EditGroupComment), m_comment);
    form->addRow(DialogText(StringId::EditGroupGenre), m_genre);
    form->addRow(QString(), m_numberTracks);
    form->addRow(QString(), m_writeId3);

    auto* ok = new QPushButton(DialogText(StringId::EditGroupOk));
    ok->setObjectName(QString::fromLatin1(kOkButtonName));
    ok->setDefault(true);
    auto* cancel = new QPushButton(DialogText(StringId::EditGroupCancel));
    cancel->setObjectName(QString::fromLatin1(kCancelButtonName));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

int CEditGroupDialog::Apply(CPlaylist& list) const
{
    const std::string artist = m_artist->Text();
    const std::string album = m_album->Text();
    const std::string comment = m_comment->Text();
    const bool genreChosen = m_genre->Edited() && m_genre->Genre() != TrackEntry::kNoGenre;
    int trackNumber = 0;
    int failedWrites = 0;
    for (int i = list.FirstSelected(); i >= 0; i = list.NextSelected(i)) {
        TrackEntry& entry = list.Entry(i);
        if (!artist.empty())
            entry.artist = artist;
        if (!album.empty())
            entry.album = album;
        if (!comment.empty())
            entry.comment = comment;
        if (genreChosen)
            entry.genre = m_genre->Genre();
        if (m_numberTracks->isChecked())
            entry.trackNumber = ++trackNumber;
        entry.changed = true;
        if (m_writeId3->isChecked() && !CPlaylist::WriteId3(entry.location, entry))
            ++failedWrites;
    }
    list.SetChanged(true);
    return failedWrites;
}

int EditGroup(QWidget* parent, CPlaylist& list)
{
    if (list.FirstSelected() < 0)
        return 0;
    CEditGroupDialog dialog(list, parent);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    if (dialog.Apply(list) > 0)
        ShowId3WriteError(parent);
    return 1;
}

int EditSelection(QWidget* parent, CPlaylist& list)
{
    const int first = list.FirstSelected();
    if (first < 0)
        return 0;
    if (list.NextSelected(first) < 0)
        return EditEntry(parent, list, first);
    return EditGroup(parent, list);
}
