#pragma once

#include "StringTable.h"

#include <QString>

#include <cstdint>

// A string of the program's table in the current language, for a Qt widget.
inline QString DialogText(int32_t id)
{
    return QString::fromUtf8(CStringTable::Program().Get(id));
}

// Object names of the dialogs' OK and Cancel buttons: the ids that dialog resources give them.
inline constexpr const char* kOkButtonName = "1";
inline constexpr const char* kCancelButtonName = "2";
