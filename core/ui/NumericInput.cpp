#include "NumericInput.h"

#include "AppMessage.h"

#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace {

constexpr unsigned kEnterPriceId = 18;
constexpr unsigned kEnterNumberId = 19;

void Refuse(QLineEdit* edit, unsigned messageId)
{
    AppMessageBoxId(messageId, 0);
    edit->setFocus();
    edit->selectAll();
}

std::optional<double> ParseDecimal(QString text)
{
    text.remove(QChar(u' ')).remove(QChar(0x00A0)).remove(QChar(0x202F));
    text.replace(u',', u'.');
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (!number.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString DecimalText(double value)
{
    QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
    text.replace(u'.', QLocale().decimalPoint());
    return text;
}

QString WithSeparator(QString text, QChar separator)
{
    text.replace(u',', separator);
    text.replace(u'.', separator);
    return text;
}

} // namespace

bool DDX_TextCurrency(bool save, QLineEdit* edit, Money& value, QChar separator)
{
    if (!save) {
        edit->setText(value.toInputText(separator));
        return true;
    }
    const auto parsed = Money::parseInput(edit->text().trimmed());
    if (!parsed) {
        Refuse(edit, kEnterPriceId);
        return false;
    }
    value = *parsed;
    return true;
}

bool DDX_TextDecimal(bool save, QLineEdit* edit, double& value)
{
    if (!save) {
        edit->setText(DecimalText(value));
        return true;
    }
    const auto parsed = ParseDecimal(edit->text().trimmed());
    if (!parsed) {
        Refuse(edit, kEnterNumberId);
        return false;
    }
    value = *parsed;
    return true;
}

bool DDX_TextDecimalSep(bool save, QLineEdit* edit, double& value, QChar separator)
{
    if (save)
        return DDX_TextDecimal(true, edit, value);
    edit->setText(WithSeparator(DecimalText(value), separator));
    return true;
}
