#pragma once

#include <QLineEdit>

#include <cstddef>
#include <string>

// A line edit for one text of a track entry. It takes no more UTF-8 bytes than the entry can
// hold, so what the user sees is what gets stored, and it hands back the entry's own bytes when
// the text was left as shown: a text Qt cannot show as it stands (broken UTF-8, for one) is not
// changed by opening and confirming a dialog.
class CTrackTextField : public QLineEdit {
public:
    static constexpr size_t kNoLimit = 0;

    // maxBytes 0 takes any length (a location).
    explicit CTrackTextField(const std::string& text, size_t maxBytes, QWidget* parent = nullptr);

    // Shows text as the entry's own, as the constructor does.
    void SetText(const std::string& text);
    // The given bytes while the shown text is theirs, else the typed text as UTF-8.
    std::string Text() const;
    // Whether the shown text differs from the one last given.
    bool Edited() const;

private:
    std::string m_original; // the bytes last given
    QString m_shown;        // how they were shown
};
