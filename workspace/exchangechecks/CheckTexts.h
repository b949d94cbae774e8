// The texts of the data checks, the consolidation and their dialogs, in one place.
#pragma once

#include <QString>

namespace CheckTexts {
// Captions of the dialog family.
inline const QString kExportNsiCaption = QStringLiteral("Отправка НСИ");
inline const QString kExportDataCaption = QStringLiteral("Отправка прогноза");
inline const QString kCheckForecastCaption = QStringLiteral("Проверка прогнозных данных");
inline const QString kCalculateCaption = QStringLiteral("Генерация сводного прогноза");
inline const QString kReportGroup = QStringLiteral("Отчет");
inline const QString kSaveReport = QStringLiteral("Сохранить отчет");
inline const QString kSaveReportFilter = QStringLiteral("Текстовые файлы (*.txt)");

inline const QString kFinished = QStringLiteral("Закончено.");

// The forecast data check.
inline const QString kCheckingForecast = QStringLiteral("Проверка прогнозых данных...\r\n");
inline const QString kPleaseWait = QStringLiteral("Операция может занять несколько минут. Пожалуйста подождите...\r\n");
inline const QString kReceiversNotLoaded = QStringLiteral("\tОшибка загрузки получателей бюджета!");
inline const QString kRowsNotLoaded = QStringLiteral("\tОшибка загрузки прогнозных данных!");
inline const QString kNoRows = QStringLiteral("\tОтсутствуют прогнозные данные!");
inline const QString kProductNotLoaded = QStringLiteral("\tОшибка загрузки отрасли!");
inline const QString kNoRowPriceUnit = QStringLiteral("\tНе указана единица измерения цен!");
inline const QString kGroupSumAbove[3] = {
    QStringLiteral("\tСумма по продуктам за прошлый год больше указанной.\r\n"),
    QStringLiteral("\tСумма по продуктам за текущий год больше указанной.\r\n"),
    QStringLiteral("\tСумма по продуктам за следующий год больше указанной.\r\n"),
};
inline const QString kGroupSumFailed = QStringLiteral("\tНе удалось подсчитать сумму по продуктам.\r\n");
inline const QString kNoQuantity[3] = {
    QStringLiteral("\tНе указано количество за прошлый год!"),
    QStringLiteral("\tНе указано количество за текущий год!"),
    QStringLiteral("\tНе указано количество за следующий год!"),
};
inline const QString kPriceOutOfRange = QStringLiteral("\tЦена не входит в допустимый диапазон!");

// The reference-data check.
inline const QString kCheckingProducts = QStringLiteral("Проверка отраслей...");
inline const QString kProductsNotLoaded = QStringLiteral("Ошибка загрузки отраслей!");
inline const QString kNoPriceUnit = QStringLiteral("Не задана ценовая единица измерения!");
inline const QString kPartialSecondUnit =
    QStringLiteral("Ценовая единица измерения должна быть не задана, либо задана полностью!");
inline const QString kNoCostKoef =
    QStringLiteral("Не задан коэффициент пересчета из стоимостной в ценовую единицу измерения!");
inline const QString kNoNaturalKoef =
    QStringLiteral("Не задан коэффициент пересчета из натуральной в ценовую единицу измерения!");
inline const QString kNoNaturalUnit = QStringLiteral("Не задана натуральная единица измерения!");
inline const QString kOffsetsNotPositive = QStringLiteral("Разрешенные отклонения должны быть больше нуля!");
inline const QString kOffsetsReversed =
    QStringLiteral("Минимальное разрешенное отклонение не может быть больше максимального!");
inline const QString kPricesNotPositive = QStringLiteral("Цены должны быть больше нуля!");
inline const QString kCheckingDocuments = QStringLiteral("Проверка документов...");
inline const QString kDocumentsNotLoaded = QStringLiteral("Ошибка загрузки документов!");
inline const QString kDocumentMissing = QStringLiteral("Не найден документ!");
inline const QString kCheckingUnits = QStringLiteral("Проверка единиц измерения...");
inline const QString kNoRootProduct = QStringLiteral("Не найден корневой продукт!");
inline QString NoPriceUnitFor(const QString& displayName)
{
    return QStringLiteral("Не задана ценовая единица измерения для \"") + displayName
        + QStringLiteral("\". Проверка приостановлена!");
}
inline QString NoUnitPair(const QString& childUnit, const QString& parentUnit)
{
    return QStringLiteral("Не найдена ценовая единица пересчета из %1 в %2!").arg(childUnit, parentUnit);
}

// The consolidation.
inline const QString kBuildingTotals = QStringLiteral("Формирование сводного прогноза...");
inline const QString kNoTotalData = QStringLiteral("\tНет данных для формирования сводного прогноза!");
inline const QString kTotalsBuilt = QStringLiteral("Сводный прогноз успешно сформирован.");
} // namespace CheckTexts
