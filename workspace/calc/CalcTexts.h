// The user-visible texts of the group sums and the recalculation, in one place.
#pragma once

#include <QString>

namespace CalcTexts {
inline QString ConversionMissing(const QString& source, const QString& target)
{
    return QStringLiteral("Не задана единица пересчёта из '") + source + QStringLiteral("' в '") + target
        + QStringLiteral("'");
}
// The unit id follows.
inline const QString kUnknownMeasurement = QStringLiteral("invalid measurent id ");
inline const QString kNoPriceUnit = QStringLiteral("Не задана ценовая единица измерения для ");
inline const QString kProductsBroken = QStringLiteral("ошибка при получении продуктов группы. Схема БД нарушена");
inline const QString kReceiversBroken =
    QStringLiteral("ошибка при получении получателей категории группы. Схема БД нарушена");
inline const QString kSumOverflow = QStringLiteral("Сумма по группе не помещается в денежный формат: ");
inline const QString kGroupRecalcQuestion =
    QStringLiteral("Внимание! Операции пересчета строк ВСЕГО и ПРОЧЕЕ по группе получателей может занять много "
                   "времени! Продолжить?");
} // namespace CalcTexts
