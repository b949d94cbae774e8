#include "ForecastNumbers.h"

#include <QLocale>

QString FormatAmount(double value)
{
    return Decimal6Text(value);
}

QString FormatAmount(Money value)
{
    // From the ten-thousandths themselves: a double holds no more than 15 or 16 of a sum's 19 digits.
    return value.toXmlText();
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
