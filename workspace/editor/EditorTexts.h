// The user-visible texts of the forecast editor, in one place.
#pragma once

#include <QString>

namespace EditorTexts {
// List grid header.
inline const QString kCode = QStringLiteral("Код");
inline const QString kProducts = QStringLiteral("Товары");
inline const QString kUnit = QStringLiteral("Ед. изм.");
inline const QString kJustification = QStringLiteral("Обоснование");
inline const QString kComment = QStringLiteral("Комментарий");
inline const QString kTotal = QStringLiteral("Всего");
// Row 1 of both grids: the parts of the forecast year.
inline const QString kYearParts[6] = {QStringLiteral("Итого"), QStringLiteral("Норматив"), QStringLiteral("Индексация"),
                                      QStringLiteral("План"),  QStringLiteral("Формула"),  QStringLiteral("Иное")};
// Column 0 of the card, rows 2 to 9.
inline const QString kCardRows[8] = {QStringLiteral("Количество"),          QStringLiteral("Сумма"),
                                     QStringLiteral("Обоснование"),         QStringLiteral("Цена"),
                                     QStringLiteral("Минимальная цена"),    QStringLiteral("Максимальная цена"),
                                     QStringLiteral("Индекс-дефлятор (%)"), QStringLiteral("Комментарий")};

inline const QString kWrongData = QStringLiteral("Введены неправильные данные");
inline const QString kProductReadError = QStringLiteral("Ошибка при чтении данных продукта!");
inline const QString kSearchWrap = QStringLiteral("Достигнут конец списка. Начать поиск с начала списка?");
inline const QString kSearchCaption = QStringLiteral("Поиск");

// The filter dialog.
inline const QString kFilterTitle = QStringLiteral("Условия фильтра");
inline const QString kOnlyWrong = QStringLiteral("Только строки с ошибками");
inline const QString kOnlyCommented = QStringLiteral("Только строки с коментариями");
inline const QString kOnlyFilled = QStringLiteral("Только строки с заполненными данными");
inline const QString kCodeLabel = QStringLiteral("Код:");
inline const QString kNameLabel = QStringLiteral("Наименование:");
inline const QString kClear = QStringLiteral("Очистить");

// The context menu of the grids.
inline const QString kFilterMenu = QStringLiteral("Фильтр");
} // namespace EditorTexts
