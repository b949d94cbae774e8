// Conversions between the single-byte code pages the system exchanges (1251, 866), UTF-16 and UTF-8.
// No Qt: the mail plug-in uses these too. Invalid UTF-8 becomes U+FFFD; a character that the code
// page cannot hold becomes '?'.
#pragma once

#include <string>
#include <string_view>

enum class Codepage { Cp1251, Cp866 };

std::u16string CodepageToUtf16(std::string_view bytes, Codepage cp = Codepage::Cp1251);
std::string Utf16ToCodepage(std::u16string_view text, Codepage cp = Codepage::Cp1251);
// The same, appended to `out`: a writer of many lines reuses one buffer.
void AppendUtf16AsCodepage(std::string& out, std::u16string_view text, Codepage cp = Codepage::Cp1251);
std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view text);
std::string CodepageToUtf8(std::string_view bytes, Codepage cp = Codepage::Cp1251);
std::string Utf8ToCodepage(std::string_view bytes, Codepage cp = Codepage::Cp1251);
