// Texts of the mail transport that the host or the user sees, kept in one place so that the code
// and the tests use the same strings.
#pragma once

namespace MailTexts {

inline constexpr char16_t DisplayName[] = u"Электронная почта (SMTP/POP3)";
inline constexpr char16_t Code[] = u"SMTP";

// Settings dialog.
inline constexpr char16_t DialogCaption[] = u"Настройки SMTP/POP3";
inline constexpr char16_t TabOutgoing[] = u"Исходящие сообщения";
inline constexpr char16_t TabIncoming[] = u"Входящие сообщения";
inline constexpr char16_t ButtonApply[] = u"Применить";
inline constexpr char16_t ButtonOk[] = u"OK";
inline constexpr char16_t ButtonCancel[] = u"Отмена";
inline constexpr char16_t SmtpServerLabel[] = u"Сервер исходящих сообщений (SMTP):";
inline constexpr char16_t CheckLogin[] = u"Проверка подлинности пользователя";
inline constexpr char16_t LoginLabel[] = u"Учетная запись:";
inline constexpr char16_t PasswordLabel[] = u"Пароль:";
inline constexpr char16_t KeepPassword[] = u"Запомнить пароль";
inline constexpr char16_t EnableReceive[] = u"Включить прием сообщений";
inline constexpr char16_t PeriodLabel[] = u"Период опроса очереди входящих сообщений, сек:";
inline constexpr char16_t Pop3ServerLabel[] = u"Сервер входящих сообщений (POP3):";
inline constexpr char16_t BadPeriod[] =
    u"Неверные данные - период опроса очереди входящих сообщений должнен быть в числом в интерввале 1-86400";

} // namespace MailTexts
