// Comments on single products of a receiver's figures: sent back to the organisation that sent
// the figures, and received there (stored by CommentsFile.h). User-interface thread only.
#pragma once

#include "CommentsFile.h"
#include "Session.h"
#include "TransportRegistry.h"

#include <QString>

class QWidget;

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

// "Отправка комментариев...": the comments of one chosen receiver's rows in the current forecast.
void OnSendComments(CSessionState& session, QWidget* frame, const CTransportList& transports);
// "Получение комментариев...": one file from the import folder.
void OnReceiveComments(CSessionState& session, QWidget* frame);
// Stores the comments of a comment document after the user agreed.
void ImportCommentFile(CSessionState& session, QWidget* frame, const QString& path);
