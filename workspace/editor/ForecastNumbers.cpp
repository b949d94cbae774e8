#include "ForecastNumbers.h"

#include <QLocale>

QString FormatAmount(double value)
{
    // QString::number is locale-free.
    QString text = QString::number(value, 'f', 6);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    if (text == QStringLiteral("-0"))
        text = QStringLiteral("0");
    return text;
}

QString FormatAmount(Money value)
{
    return FormatAmount(value.toDouble());
}

QChar EditorDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 ? point.front() : QChar(u'.');
}

std::optional<Money> ParseCardAmount(const QString& typed, QChar separator)
{
    QString text = typed.trimmed();
    text.replace(u'.', separator);
    text.replace(u',', separator);
    if (text.isEmpty())
        text = QStringLiteral("0");
    QString plain = text;
    plain.replace(separator, u'.');
    const Money value = Money::fromXmlText(plain);
    if (!value.isValid() || value.toInputText(separator) != text)
        return std::nullopt;
    return value;
}

double CellNumber(const QString& text)
{
    QString plain = text.trimmed();
    plain.replace(u',', u'.');
    bool ok = false;
    const double value = plain.toDouble(&ok);
    return ok ? value : 0.0;
}
