#include "TextLimits.h"

#include <QByteArrayAlgorithms>

#include <algorithm>

std::size_t Utf8TextLength(std::string_view bytes)
{
    // Every character has one byte that does not continue another.
    return std::size_t(std::count_if(bytes.begin(), bytes.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::span<const CTextLimit> TextLimitsOf(const char* table)
{
    const std::span<const CTextLimit> all(kTextLimits);
    if (!table)
        return {};
    const auto same = [table](const CTextLimit& l) { return qstricmp(l.table, table) == 0; };
    const auto first = std::find_if(all.begin(), all.end(), same);
    const auto end = std::find_if_not(first, all.end(), same);
    return all.subspan(std::size_t(first - all.begin()), std::size_t(end - first));
}

int TextLimitOf(const char* table, const char* column)
{
    return TextLimitIn(TextLimitsOf(table), column);
}

int TextLimitIn(std::span<const CTextLimit> limits, const char* column)
{
    const auto found = std::find_if(limits.begin(), limits.end(),
                                    [column](const CTextLimit& l) { return qstricmp(l.column, column) == 0; });
    return found != limits.end() ? found->length : 0;
}
