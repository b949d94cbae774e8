// The order of a report view's rows by one column. Each cell is read once into a key: empty, a
// number ("9,5", "-3", "1.000"), a date as the lists write it ("dd.MM.yyyy", optionally " H:mm:ss")
// or text, compared as code page 1251 bytes. Keys of different kinds order in that sequence, so that
// a mixed column still has one consistent order.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

struct CSortKey {
    enum Kind : int { Empty, Number, Date, Text };
    Kind kind = Empty;
    double value = 0.0; // a number, or a date as seconds since the Julian day 0
    QByteArray bytes;   // text
};

CSortKey MakeSortKey(const QString& text);
// -1, 0 or 1.
int CompareSortKeys(const CSortKey& a, const CSortKey& b);
// The rows' old indexes in their new order; equal keys keep their order.
std::vector<int> SortedOrder(const std::vector<QString>& texts, bool ascending);
