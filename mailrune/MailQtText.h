// Between Qt strings and the plug-in's other texts: its fixed UTF-16 texts and cp1251 bytes.
#pragma once

#include "Codepage.h"

#include <QString>

#include <string>
#include <string_view>

// One of the fixed texts (MailTexts) as a QString.
inline QString Text(const char16_t* text)
{
    return QString::fromUtf16(text);
}

// The text's cp1251 bytes; a character the code page cannot hold becomes '?'.
inline std::string ToCp1251(const QString& text)
{
    return Utf16ToCodepage(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())));
}
