#include "TrackTextField.h"

#include <QValidator>

namespace {

// Cuts what was just typed or pasted (the characters before the cursor) until the text fits in
// the entry's bytes, the way a length limit cuts a paste. A multi-byte character is taken or
// left whole.
class CUtf8BytesValidator : public QValidator {
public:
    CUtf8BytesValidator(size_t maxBytes, QObject* parent) : QValidator(parent), m_maxBytes(maxBytes) {}

    State validate(QString& input, int& pos) const override
    {
        while (static_cast<size_t>(input.toUtf8().size()) > m_maxBytes) {
            if (pos <= 0)
                return Invalid;
            // A character outside the basic plane is two UTF-16 units; both go.
            const int width = pos >= 2 && input.at(pos - 1).isLowSurrogate() ? 2 : 1;
            input.remove(pos - width, width);
            pos -= width;
        }
        return Acceptable;
    }

private:
    size_t m_maxBytes;
};

} // namespace

CTrackTextField::CTrackTextField(const std::string& text, size_t maxBytes, QWidget* parent)
    : QLineEdit(parent)
{
    if (maxBytes != kNoLimit)
        setValidator(new CUtf8BytesValidator(maxBytes, this));
    SetText(text);
}

void CTrackTextField::SetText(const std::string& text)
{
    m_original = text;
    m_shown = QString::fromStdString(text);
    setText(m_shown);
    setCursorPosition(0);
}

std::string CTrackTextField::Text() const
{
    return Edited() ? text().toStdString() : m_original;
}

bool CTrackTextField::Edited() const
{
    return text() != m_shown;
}
