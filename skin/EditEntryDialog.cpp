#include "EditEntryDialog.h"

#include "DialogText.h"
#include "GenreBox.h"
#include "Playlist.h"
#include "StringIds.h"
#include "TrackText.h"
#include "TrackTextField.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The ID3v1.1 tag keeps the track number in one byte.
constexpr int kMaxTrackNumber = 255;

CTrackTextField* TextField(const std::string& text, size_t maxBytes, const char* name)
{
    auto* field = new CTrackTextField(text, maxBytes);
    field->setObjectName(QString::fromLatin1(name));
    return field;
}

QPushButton* Button(int32_t text, const char* name)
{
    auto* button = new QPushButton(DialogText(text));
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

CEditEntryDialog::CEditEntryDialog(const TrackEntry& entry, QWidget* parent) : QDialog(parent), m_entry(entry)
{
    setObjectName(QStringLiteral("173"));
    setWindowTitle(DialogText(StringId::EditEntryCaption));
    m_title = TextField(entry.title, TrackEntry::kTextBytes, "title");
    m_artist = TextField(entry.artist, TrackEntry::kTextBytes, "artist");
    m_album = TextField(entry.album, TrackEntry::kTextBytes, "album");
    m_comment = TextField(entry.comment, TrackEntry::kTextBytes, "comment");
    m_location = TextField(entry.location, CTrackTextField::kNoLimit, "location");
    m_track = new QLineEdit;
    m_track->setObjectName(QStringLiteral("track"));
    m_track->setValidator(new QIntValidator(0, kMaxTrackNumber, m_track));
    m_track->setMaxLength(3);
    m_track->setFixedWidth(m_track->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
    ShowTrackNumber(entry.trackNumber);
    m_genre = new CGenreBox;
    m_genre->setObjectName(QStringLiteral("genre"));
    m_genre->SetGenre(entry.genre);
    // Wide enough for most of a music folder's path; a title of 63 characters fits in this too.
    m_title->setMinimumWidth(m_title->fontMetrics().averageCharWidth() * 66);

    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(m_track);
    numberRow->addSpacing(16);
    auto* genreLabel = new QLabel(DialogText(StringId::EditEntryGenre));
    genreLabel->setBuddy(m_genre);
    numberRow->addWidget(genreLabel);
    numberRow->addWidget(m_genre);
    numberRow->addStretch();

    auto* locate = Button(StringId::EditEntryLocate, "locate");
    auto* locationRow = new QHBoxLayout;
    locationRow->addWidget(m_location, 1);
    locationRow->addWidget(locate);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(DialogText(StringId::EditEntryTitle), m_title);
    form->addRow(DialogText(StringId::EditEntryArtist), m_artist);
    form->addRow(DialogText(StringId::EditEntryAlbum), m_album);
    form->addRow(DialogText(StringId::EditEntryTrack), numberRow);
    form->addRow(DialogText(StringId::EditEntryComment), m_comment);
    form->addRow(DialogText(StringId::EditEntryLocation), locationRow);

    auto* readId3 = Button(StringId::EditEntryReadId3, "readId3");
    auto* writeId3 = Button(StringId::EditEntryWriteId3, "writeId3");
    auto* ok = Button(StringId::EditEntryOk, kOkButtonName);
    ok->setDefault(true);
    auto* cancel = Button(StringId::EditEntryCancel, kCancelButtonName);
    connect(locate, &QPushButton::clicked, this, [this] { Locate(); });
    connect(readId3, &QPushButton::clicked, this, [this] { ReadId3(); });
    connect(writeId3, &QPushButton::clicked, this, [this] { WriteId3(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(readId3);
    buttons->addWidget(writeId3);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

TrackEntry CEditEntryDialog::Edited() const
{
    TrackEntry entry = m_entry;
    Apply(entry);
    return entry;
}

void CEditEntryDialog::Apply(TrackEntry& entry) const
{
    entry.title = TrackText::Cut(m_title->Text(), TrackEntry::kTextBytes);
    entry.artist = TrackText::Cut(m_artist->Text(), TrackEntry::kTextBytes);
    entry.album = TrackText::Cut(m_album->Text(), TrackEntry::kTextBytes);
    entry.comment = TrackText::Cut(m_comment->Text(), TrackEntry::kTextBytes);
    entry.location = m_location->Text();
    // An empty or unreadable number is no number.
    entry.trackNumber = m_track->text() == m_trackShown ? m_trackNumber : m_track->text().toInt();
    entry.genre = m_genre->Genre();
    entry.changed = true;
}

void CEditEntryDialog::ShowTrackNumber(int32_t trackNumber)
{
    m_trackNumber = trackNumber;
    m_trackShown = trackNumber > 0 ? QString::number(trackNumber) : QString();
    m_track->setText(m_trackShown);
}

void CEditEntryDialog::Locate()
{
    QFileDialog dialog(this, DialogText(StringId::EditEntryLocate));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(FileDialogFilter(StringId::LocateFilter));
    dialog.setDefaultSuffix(QStringLiteral("mp3"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QFileInfo current(m_location->text());
    if (!m_location->text().isEmpty() && current.dir().exists()) {
        dialog.setDirectory(current.dir());
        dialog.selectFile(current.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    m_location->setText(dialog.selectedFiles().front());
}

void CEditEntryDialog::ReadId3()
{
    TrackEntry entry = Edited();
    if (!CPlaylist::ReadId3(entry.location, entry))
        return;
    m_title->SetText(entry.title);
    m_artist->SetText(entry.artist);
    m_album->SetText(entry.album);
    m_comment->SetText(entry.comment);
    ShowTrackNumber(entry.trackNumber);
    m_genre->SetGenre(entry.genre);
}

void CEditEntryDialog::WriteId3()
{
    const TrackEntry entry = Edited();
    if (!CPlaylist::WriteId3(entry.location, entry))
        ShowId3WriteError(this);
}

int EditEntry(QWidget* parent, CPlaylist& list, int index)
{
    if (index < 0 || index >= list.Count())
        return 0;
    const int32_t id = list.Entry(index).id;
    CEditEntryDialog dialog(list.Entry(index), parent);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    // The list may have moved on while the dialog was open (a folder import adds entries); the
    // edit goes to the entry it was made for, or nowhere when that entry is gone.
    TrackEntry* found = list.EntryById(id);
    if (found == nullptr)
        return 0;
    TrackEntry& entry = *found;
    const std::string oldLocation = entry.location;
    dialog.Apply(entry);
    // A located file is there now; the row stops showing it as missing.
    if (entry.location != oldLocation)
        list.Recheck(entry);
    list.SetChanged(true);
    return 1;
}

void ShowId3WriteError(QWidget* parent)
{
    QMessageBox::warning(parent, QString::fromLatin1(kProgramCaption), DialogText(StringId::Id3WriteError));
}
