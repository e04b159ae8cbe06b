#include "FindEntryDialog.h"

#include "DialogText.h"
#include "ListFind.h"
#include "Playlist.h"
#include "StringIds.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

namespace {

QLineEdit* TextField(const std::string& text, const char* name)
{
    auto* field = new QLineEdit(QString::fromStdString(text));
    field->setObjectName(QString::fromLatin1(name));
    field->setMaxLength(CFindEntryDialog::kMaxChars);
    return field;
}

// An editable drop-down of the distinct non-empty values, showing text.
QComboBox* ChoiceField(const CPlaylist& list, std::string TrackEntry::*field, const std::string& text,
                       const char* name)
{
    QStringList values;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& value = list.Entry(i).*field;
        if (!value.empty())
            values << QString::fromStdString(value);
    }
    // Names that differ only in case keep one order, capitals first.
    std::sort(values.begin(), values.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    values.removeDuplicates();

    auto* box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Completing inline would search for the whole name the completer picked, not for the
    // part typed.
    box->setCompleter(nullptr);
    box->lineEdit()->setMaxLength(CFindEntryDialog::kMaxChars);
    box->addItems(values);
    box->setMaxVisibleItems(20);
    box->setCurrentIndex(-1);
    box->setEditText(QString::fromStdString(text));
    return box;
}

} // namespace

CFindEntryDialog::CFindEntryDialog(CPlaylist& list, int& current, ListFindState& state, QWidget* parent)
    : QDialog(parent), m_list(list), m_current(current), m_state(state)
{
    setObjectName(QStringLiteral("171"));
    setWindowTitle(DialogText(StringId::FindCaption));
    m_any = TextField(state.any, "anywhere");
    m_title = TextField(state.title, "title");
    m_artist = ChoiceField(list, &TrackEntry::artist, state.artist, "artist");
    m_album = ChoiceField(list, &TrackEntry::album, state.album, "album");
    const int fieldWidth = m_any->fontMetrics().averageCharWidth() * 36;
    for (QWidget* field : {static_cast<QWidget*>(m_any), static_cast<QWidget*>(m_title),
                           static_cast<QWidget*>(m_artist), static_cast<QWidget*>(m_album)})
        field->setMinimumWidth(fieldWidth);
    // A long artist or album name widens the open list, not the dialog.
    m_artist->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_album->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(DialogText(StringId::FindAnywhere), m_any);
    form->addRow(DialogText(StringId::FindTitle), m_title);
    form->addRow(DialogText(StringId::FindArtist), m_artist);
    form->addRow(DialogText(StringId::FindAlbum), m_album);

    auto* findNext = new QPushButton(DialogText(StringId::FindNext));
    findNext->setObjectName(QString::fromLatin1(kOkButtonName));
    findNext->setDefault(true);
    auto* selectAll = new QPushButton(DialogText(StringId::FindSelectAll));
    selectAll->setObjectName(QStringLiteral("selectAllMatches"));
    selectAll->setAutoDefault(false);
    auto* close = new QPushButton(DialogText(StringId::FindClose));
    close->setObjectName(QString::fromLatin1(kCancelButtonName));
    close->setAutoDefault(false);
    connect(findNext, &QPushButton::clicked, this, [this] { FindNext(); });
    connect(selectAll, &QPushButton::clicked, this, [this] { SelectAll(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findNext);
    buttons->addWidget(selectAll);
    buttons->addWidget(close);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void CFindEntryDialog::done(int result)
{
    Remember();
    QDialog::done(result);
}

void CFindEntryDialog::FindNext()
{
    Remember();
    const int start = Start();
    m_searched = true;
    if (ListFind::SelectFirstMatch(m_list, start, m_current, m_state) >= 0)
        m_found = true;
}

void CFindEntryDialog::SelectAll()
{
    Remember();
    // Every match is selected whatever the start; starting at current keeps it on its entry
    // when that entry matches.
    const int start = m_current >= 0 && m_current < m_list.Count() ? m_current : 0;
    m_searched = true;
    if (ListFind::SelectAllMatches(m_list, start, m_current, m_state) > 0)
        m_found = true;
}

int CFindEntryDialog::Start() const
{
    const bool currentValid = m_current >= 0 && m_current < m_list.Count();
    if (!currentValid)
        return 0;
    return m_searched ? m_current + 1 : m_current;
}

void CFindEntryDialog::Remember()
{
    m_state.any = m_any->text().toStdString();
    m_state.title = m_title->text().toStdString();
    m_state.artist = m_artist->currentText().toStdString();
    m_state.album = m_album->currentText().toStdString();
}

int FindEntry(QWidget* parent, CPlaylist& list, int& current, ListFindState& state)
{
    CFindEntryDialog dialog(list, current, state, parent);
    dialog.exec();
    return dialog.Found() ? 1 : 0;
}
