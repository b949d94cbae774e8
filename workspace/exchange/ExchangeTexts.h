// The texts of the exports that log into the check and export window or show a message, and those
// the dialog side of the imports shows.
#pragma once

#include <QString>

namespace ExportTexts {
inline const QString kNoForecast = QStringLiteral("Не могу загрузить прогноз!");
// %1 the forecast's name, %2 its year.
inline const QString kForecast = QStringLiteral("Прогноз: %1 (%2 год)");
inline const QString kChosen = QStringLiteral("Выбрано получателей: %1");
inline const QString kNoSender = QStringLiteral("Не найден отправитель!");
inline const QString kNoReceiver = QStringLiteral("Не найден получатель!");
inline const QString kProducts = QStringLiteral("Найдено отраслей: %1");
inline const QString kDocuments = QStringLiteral("Найдено документов: %1");
inline const QString kUnits = QStringLiteral("Найдено единиц измерения: %1");
inline const QString kConverts = QStringLiteral("Найдено единиц пересчета: %1");
inline const QString kPrices = QStringLiteral("Найдено цен: %1");
inline const QString kProductsFailed = QStringLiteral("Ошибка загрузки отраслей!");
inline const QString kDocumentsFailed = QStringLiteral("Ошибка загрузки документов!");
inline const QString kUnitsFailed = QStringLiteral("Ошибка загрузки единиц измерения!");
inline const QString kConvertsFailed = QStringLiteral("Ошибка загрузки единиц пересчета!");
inline const QString kPricesFailed = QStringLiteral("Ошибка загрузки цен!");
inline const QString kDocumentFailed = QStringLiteral("  Ошибка создания XML документа!");
inline const QString kIdMapsFailed =
    QStringLiteral("Ошибка выгрузки информации о данных, импортированных из предыдущей версии!");
inline const QString kNoExportFolder = QStringLiteral("  Отсутствует директория по умолчанию");
inline const QString kFileExists = QStringLiteral("  Такой файл существует. Выберите файл.");
inline const QString kNoFileChosen = QStringLiteral("Не выбран файл");
inline const QString kSaveFailed = QStringLiteral("  Ошибка сохранения файла (%1)!");
inline const QString kSaved = QStringLiteral("  Выгружен (%1).");
inline const QString kTempSaveFailed = QStringLiteral("  Ошибка сохранения временного файла (%1)!");
inline const QString kFinished = QStringLiteral("Закончено.");
inline const QString kNsiComment = QStringLiteral("НСИ");
inline const QString kNsiNoReceiver = QStringLiteral("НСИ. Получатель неопределен.");
inline const QString kXmlFilter = QStringLiteral("Файлы XML (*.xml)");
// E-mail checks of a transport that mails.
inline const QString kMailTransport = QStringLiteral("SMTP");
inline const QString kNoEmail = QStringLiteral("Для %1 не задан E-Mail. Отправка невозможна.");
inline const QString kNoReceiverEmail = QStringLiteral("E-Mail получателя %1 не задан. Отправка невозможна.");
inline const QString kContinueSending = QStringLiteral(".\nПродолжить отправку?");
inline const QString kFileTransport = QStringLiteral("File");
} // namespace ExportTexts

// The dialog side of the comments import (the store's own texts are in CommentsFile.h).
namespace CommentTexts {
inline const QString kNoComments = QStringLiteral("Для данного получателя нет комментариев!");
inline const QString kExported = QStringLiteral("Комментарий успешно выгружен!");
inline const QString kExportFailed = QStringLiteral("Ошибка сохранения комментария!");
inline const QString kNoSender = QStringLiteral("Отправитель комментария не найден в базе");
inline const QString kNoReceiver = QStringLiteral("Получатель комментария не найден в базе");
// %1 the sender's name, %2 the receiver's.
inline const QString kQuestion = QStringLiteral("Получен комментарий к прогнозу от \"%1\" для \"%2\". Загрузить?");
inline const QString kImported = QStringLiteral("Комментарий к прогнозу успешно загружен!");
} // namespace CommentTexts

// The dialog side of the reference-data import (the reader's own texts are in NsiFile.h).
namespace NsiTexts {
// %1 the sender's name, %2 the recipient's.
inline const QString kQuestion = QStringLiteral("Получен НСИ от \"%1\" для \"%2\".\r\n");
inline const QString kRepeated =
    QStringLiteral("Внимание! При повторной загрузке НСИ предыдущие данные могут быть потеряны!\r\nЗагрузить?");
inline const QString kLoad = QStringLiteral("Загрузить?");
inline const QString kLoaded = QStringLiteral("НСИ успешно загружен!");
inline const QString kFileFilter = QStringLiteral("Файлы XML (*.xml)");
} // namespace NsiTexts

// The status text while an import runs: the command's name and the step.
namespace ImportStatusTexts {
inline const QString kNsi = QStringLiteral("Получение НСИ");
inline const QString kForecast = QStringLiteral("Получение прогноза");
inline const QString kComments = QStringLiteral("Получение комментариев");
inline const QString kReading = QStringLiteral("чтение файла");
inline const QString kStoring = QStringLiteral("запись в базу данных");
inline const QString kRefreshing = QStringLiteral("обновление окон");
} // namespace ImportStatusTexts
