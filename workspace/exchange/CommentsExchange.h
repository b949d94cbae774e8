// Comments on single products of a receiver's figures: sent back to the organisation that sent
// the figures, and received there (stored by CommentsFile.h). User-interface thread only.
#pragma once

#include "CommentsFile.h"
#include "ExchangeOpen.h"
#include "ExchangeTexts.h"
#include "Session.h"
#include "TransportRegistry.h"

#include <QString>

class QWidget;

// "Отправка комментариев...": the comments of one chosen receiver's rows in the current forecast.
void OnSendComments(CSessionState& session, QWidget* frame, const CTransportList& transports);
// "Получение комментариев...": one file from the import folder.
void OnReceiveComments(CSessionState& session, QWidget* frame);
// Stores the comments of a comment document after the user agreed.
ImportOutcome ImportCommentFile(CSessionState& session, QWidget* frame, const QString& path);
