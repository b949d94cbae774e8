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

// The send operation: its result file, its step log and the mail it composes. UTF-8.
namespace MailSendTexts {

inline constexpr char ResultPrefix[] = "quillpost";
inline constexpr char Success[] = "Завершено успешно.";
inline constexpr char ErrorPrefix[] = "Ошибка: ";
inline constexpr char NoDescription[] = "Описание файла для отправки не найдено.\r\n Путь - ";
inline constexpr char BadDescription[] = "Неверный формат описания файла для отправки.";
inline constexpr char NoToEmail[] = "Не задан email получателя.";
inline constexpr char NoFromEmail[] = "Не задан email отправителя.";
inline constexpr char NoToName[] = "Не задано название организации получателя.";
inline constexpr char NoFromName[] = "Не задано название организации отправителя.";
inline constexpr char NoTypeData[] = "Не задан тип передаваемых данных в файле отправки.";
inline constexpr char BadDataFile[] = "Неверный формат файла для отправки.";
inline constexpr char ZipFailed[] = "Ошибка при архивировании.";
inline constexpr char MailFailed[] = "Ошибка при попытке отправки почты.\n";
// Why curl could not send: the server, its port and the cause (the receive loop's causes serve too).
inline constexpr char SendFault[] = "Письмо не отправлено через сервер SMTP \"%s\", порт %ld: %s";
inline constexpr char FaultNoConnection[] = "не удалось подключиться к серверу";
inline constexpr char FaultNotSmtp[] = "сервер отвечает не по протоколу SMTP";
inline constexpr char FaultBadAddress[] = "имя сервера или порт заданы неверно";
inline constexpr char FaultAttachment[] = "не удалось прочитать вложение";
inline constexpr char FaultMemory[] = "недостаточно памяти";
inline constexpr char FaultOther[] = "ошибка передачи, код %u";
// The server's refusal by the command it answered, with its reply.
inline constexpr char Refused[] = "%s, ответ сервера: %s";
inline constexpr char RefusedLogin[] = "сервер не принял имя пользователя или пароль";
inline constexpr char RefusedSender[] = "сервер не принял адрес отправителя";
inline constexpr char RefusedRecipient[] = "сервер не принял адрес получателя";
inline constexpr char RefusedMail[] = "сервер не принял письмо";
inline constexpr char RefusedOther[] = "сервер отказал в обслуживании";
inline constexpr char UnknownFailure[] = "Произошла неизвестная ошибка.\n";

// The step log, in the order the steps run.
inline constexpr const char* Steps[] = {
    "Начало считывания конфигурации SMTP\n",
    "Окончание считывания конфигурации SMTP\n",
    "Установка адресата \n",
    "Окончание установки адресата \n",
    "Установка отправителя\n",
    "Окончание установки отправителя\n",
    "Установка темы\n",
    "Окончание установка темы\n",
    "Установка тела\n",
    "Окончание установка тела\n",
    "Прикрепление файла\n",
    "Окончание прикрепления файла\n",
    "Отправка письма\n",
    "Окончание отправки письма\n",
};

inline constexpr char InfoType[] = "ИНФОРМАЦИЯ";
inline constexpr char InfoSubject[] = "{Auto} АИС ЛИР. Информационное сообщение";
inline constexpr char DataSubject[] = "{Auto} АИС ЛИР. Данные:";
inline constexpr char DataBody[] = "[From:] \"%s\" <%s> \n[To:] \"%s\" <%s> \n[Data:] [АИС ЛИР]: \"%s\" \n %s";
inline constexpr char InfoBody[] =
    "[From:] \"%s\" <%s> \n[To:] \"%s\" <%s> \n[Data:] [АИС ЛИР]: \"%s\"\n[InfoSubject:]%s\n%s";

} // namespace MailSendTexts

// The receive loop: the lines of its log, in the order it writes them. The system's own mails are
// told by the subjects that the send operation writes. UTF-8.
namespace MailReceiveTexts {

inline constexpr char Started[] = "Поток приема транспортного модуля запущен";
inline constexpr char SessionCreated[] = "Создан объект POP3 соединение";
inline constexpr char SettingsRead[] = "Считаны настройки приема сообщений: Сервер %s, Пользователь %s";
inline constexpr char TimerFired[] = "Сработал таймер проверки сообщений";
inline constexpr char CannotConnect[] = "Невозможно подключиться к серверу POP3";
inline constexpr char Connected[] = "Подключен к серверу POP3";
inline constexpr char Mailbox[] = "В почтовом ящике %i сообщений, размер %lld";
inline constexpr char Received[] = "Получено сообщениею Тема %s";
inline constexpr char KindInfo[] = "Сообщение имеет тип: информационная рассылка";
inline constexpr char KindNsi[] = "Сообщение имеет тип: НСИ";
inline constexpr char KindData[] = "Сообщение имеет тип: Данные";
inline constexpr char QuitFailed[] = "Ошибка отсоединения от сервера";
inline constexpr char Disconnected[] = "Отсоединен от сервера";
inline constexpr char PollDone[] = "Цикл приема сообщений завершен";
inline constexpr char Ending[] = "Завершается поток приема сообщений";

// What went wrong, with the message's number and subject where there is one.
inline constexpr char Pop3Fault[] = "Ошибка обмена с сервером POP3: %s";
inline constexpr char RetrFailed[] = "Не удалось получить сообщение %i, Тема %s: %s";
inline constexpr char Refused[] = "Сообщение %i не принято и оставлено на сервере, Тема %s: %s";
// A mail cut for time: tried again after a day, once the mails behind it have come.
inline constexpr char SetAsideFor[] = "Сообщение %i отложено на сутки и оставлено на сервере, Тема %s: %s";
// The file of a data mail, named as it lies in the import folder (a taken name gets a number).
inline constexpr char Stored[] = "Принятый файл сохранен под именем %s";
// The program answered the hand-over without deciding on the mail (it was ending during its question).
inline constexpr char Kept[] = "Сообщение %i оставлено на сервере, Тема %s: программа не приняла решения о нем";
inline constexpr char FirstMessagesOnly[] = "Просматриваются только первые %i сообщений";
inline constexpr char TooLarge[] = "сообщение больше %u МБ";
inline constexpr char FaultTimedOut[] = "сервер не ответил вовремя";
inline constexpr char FaultTooSlow[] = "сервер передает ответ слишком медленно";
inline constexpr char FaultDeadline[] = "опрос почтового ящика не уложился в %u с";
inline constexpr char FaultClosed[] = "сервер закрыл соединение";
inline constexpr char FaultTooLong[] = "ответ сервера длиннее допустимого";
inline constexpr char FaultReply[] = "сервер ответил ошибкой: %s";
inline constexpr char FaultStopped[] = "прием остановлен";
inline constexpr char FaultBadHost[] = "сервер с таким именем не найден";
inline constexpr char FaultRefused[] = "сервер отказал в соединении";
inline constexpr char FaultReset[] = "соединение сброшено";
inline constexpr char FaultConnectTimedOut[] = "сервер не отвечает на подключение";
inline constexpr char FaultUnreachable[] = "сервер недоступен";
inline constexpr char FaultSocket[] = "ошибка соединения, код %d";

// After the data subject (MailSendTexts::DataSubject): the reference-data type.
inline constexpr char NsiWord[] = "НСИ";

} // namespace MailReceiveTexts
