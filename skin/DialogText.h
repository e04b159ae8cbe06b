#pragma once

#include "StringTable.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// A string of the program's table in the current language, for a Qt widget.
inline QString DialogText(int32_t id)
{
    return QString::fromUtf8(CStringTable::Program().Get(id));
}

// A file-dialog filter of the table ("description\npattern\n..." pairs) as Qt writes it:
// "description (pattern pattern);;...".
inline QString FileDialogFilter(int32_t id)
{
    const QStringList lines = DialogText(id).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2) {
        QString patterns = lines[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << lines[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

// The caption of the program's message boxes.
inline constexpr const char* kProgramCaption = "Quandel Player";

// Object names of the dialogs' OK and Cancel buttons: the ids that dialog resources give them.
inline constexpr const char* kOkButtonName = "1";
inline constexpr const char* kCancelButtonName = "2";
