// The texts that Bastrel shows, in one place.
#pragma once

#include <QString>

namespace PrepTexts {

inline const QString kErrorCaption = QStringLiteral("Ошибка");
inline const QString kDialogCaption = QStringLiteral("Подготовка БД");
inline const QString kServerLabel = QStringLiteral("Сервер:");
inline const QString kLoginLabel = QStringLiteral("Логин:");
inline const QString kPasswordLabel = QStringLiteral("Пароль:");
// The operating system's authentication sends no login or password, as in the program's "Соединение".
inline const QString kOsAuth = QStringLiteral("Использовать аутентификацию операционной системы");
inline const QString kWarning =
    QStringLiteral("ВНИМАНИЕ! Для успешной подготовки базы данных для работы приложения "
                   "необходимо ввести имя пользователя с правами администратора PostgreSQL");
inline const QString kCancel = QStringLiteral("Отмена");
inline const QString kOk = QStringLiteral("ОК");
inline const QString kAboutItem = QStringLiteral("&About Bastrel...");
inline const QString kAboutCaption = QStringLiteral("About Bastrel");
inline const QString kAboutVersion = QStringLiteral("Bastrel Version 1.0");
inline const QString kAboutLine = QStringLiteral("Подготовка базы данных программы «Прогноз»");

inline const QString kNoFolder = QStringLiteral("Папка базы данных не найдена: %1");
inline const QString kFileInUse = QStringLiteral(
    "Файл базы данных %1 используется другой программой.\nЗакройте программу «Прогноз» и повторите подготовку.");
inline const QString kNoTemplate = QStringLiteral("Не удалось прочитать шаблон базы данных %1:\n%2");
inline const QString kWriteFailed = QStringLiteral("Не удалось записать файл %1:\n%2");
inline const QString kBackupFailed = QStringLiteral("Не удалось сохранить копию базы данных в файле %1:\n%2");
inline const QString kNoScript = QStringLiteral("Сценарий %1 не найден в программе.");
inline const QString kMissingTable = QStringLiteral("В базе данных нет таблицы %1 (ни под старым именем %2).");
inline const QString kMissingColumn =
    QStringLiteral("Поле %1 таблицы %2 отсутствует в новой версии базы данных: данные не перенесены.");
inline const QString kRowsDoNotFit =
    QStringLiteral("Строки таблицы %1 не подходят новой версии базы данных: данные не перенесены.");
inline const QString kTablesLeft =
    QStringLiteral("Данные таблиц, состав полей которых не подходит новой версии базы данных, не перенесены: %1.\n"
                   "Они сохранены в копии %2.");
inline const QString kFileExists = QStringLiteral("файл уже существует");
// %1 the folder, %2 the reason (kReason... below).
inline const QString kFolderNotWritable =
    QStringLiteral("Не удалось создать файл в папке %1: %2.\nРазрешите запись в эту папку и повторите подготовку.");
inline const QString kReasonNoRights = QStringLiteral("нет прав на запись");
inline const QString kReasonReadOnlyFs = QStringLiteral("файловая система доступна только для чтения");
inline const QString kReasonNoSpace = QStringLiteral("на диске нет места");
// %1 the error's number, %2 the system's words.
inline const QString kReasonSystem = QStringLiteral("системная ошибка %1 (%2)");
// %1 the folder.
inline const QString kDiskFull =
    QStringLiteral("Не хватает места на диске в папке %1: подготовка прервана, база данных не изменена.\n"
                   "Освободите место на диске и повторите подготовку.");
inline const QString kServerDiskFull =
    QStringLiteral("На сервере %1 не хватает места на диске: подготовка прервана, база данных не изменена.\n"
                   "Освободите место на диске сервера и повторите подготовку.");
inline const QString kPrepRunning = QStringLiteral(
    "Файл базы данных %1 занят: его уже подготавливает другая программа Bastrel.\nДождитесь окончания той подготовки.");
inline const QString kServerPrepRunning =
    QStringLiteral("База данных %1 на сервере %2 занята: ее уже подготавливает другая программа Bastrel.\n"
                   "Дождитесь окончания той подготовки.");
// %1 the link, %2 where it points.
inline const QString kDanglingLink = QStringLiteral("Файл базы данных %1 — ссылка на отсутствующий файл %2.\n"
                                                    "Восстановите файл или исправьте ссылку и повторите подготовку.");
inline const QString kEmptyFile =
    QStringLiteral("Файл %1 пуст (0 байт): это не база данных.\nВосстановите его из копии или удалите его, "
                   "чтобы создать новую базу данных.");
inline const QString kReadOnlyFile =
    QStringLiteral("Файл базы данных %1 доступен только для чтения: подготовка невозможна.\n"
                   "Разрешите запись в файл и повторите подготовку.");
// %1 the lines below (kBrokenReferenceLine, kMoreBrokenReferences), then one of the kMend... texts.
inline const QString kBrokenReferences =
    QStringLiteral("Строки старой базы данных ссылаются на отсутствующие записи, база данных не обновлена:\n%1");
// %1 the table, %2 the values of the row's key, %3 the values it refers by, %4 the table whose row
// is missing, %5 the values looked for there ("prognoz = 1, receiver = 77").
inline const QString kBrokenReferenceLine =
    QStringLiteral("таблица %1, строка с %2: %3 — нет записи в таблице %4 с %5");
// %1 the table, %2 the table whose rows are missing, %3 how many rows more.
inline const QString kMoreBrokenReferences = QStringLiteral("таблица %1: ещё строк без записи в таблице %2: %3");
// %1 the old file.
inline const QString kMendInFile =
    QStringLiteral("Исправьте или удалите эти строки в файле %1 и повторите подготовку.");
// %1 the database, %2 the server.
inline const QString kMendOnServer =
    QStringLiteral("Исправьте или удалите эти строки в базе данных %1 на сервере %2 и повторите подготовку.");
// Rows of a table refer to a table whose data stay behind. %1 the table, %2 the table it refers to,
// %3 why it stays behind (kMissingColumn), %4 the old file.
inline const QString kParentLeft =
    QStringLiteral("Строки таблицы %1 ссылаются на записи таблицы %2, которые не переносятся в новую версию базы "
                   "данных:\n%3\nИсправьте таблицу %2 в файле %4 и повторите подготовку.");
// %1 the login, %2 the server.
inline const QString kNoServerRights =
    QStringLiteral("Учетная запись %1 не является суперпользователем сервера PostgreSQL %2: подготовка базы данных "
                   "невозможна.\nВойдите под учетной записью суперпользователя и повторите подготовку.");
// %1 the database, %2 the server, %3 the lines of the sessions (kBusySession), or kBusyNoSession.
inline const QString kTablesBusy =
    QStringLiteral("Таблицы базы данных %1 на сервере %2 заняты другими сеансами: база данных не обновлена и не "
                   "изменена.\nТаблицы занимают:\n%3\nПопросите этих пользователей закрыть программу «Прогноз» (или "
                   "завершите их сеансы) и повторите подготовку.");
// While the upgrade waits for the tables; %1 the seconds it goes on trying.
inline const QString kTablesWait =
    QStringLiteral("Таблицы базы данных заняты другими сеансами: повторная попытка, ожидание еще до %1 с...");
inline const QString kPreparing = QStringLiteral("Выполняется подготовка базы данных...");
// %1 the server's number of the session, %2 its login, %3 its program, %4 since when its transaction runs.
inline const QString kBusySession = QStringLiteral("сеанс %1: пользователь %2, программа %3, с %4");
inline const QString kNoProgramName = QStringLiteral("не названа");
inline const QString kBusyNoSession = QStringLiteral("сеансы, которые уже завершились");
// What the upgrade repaired of what the rights of earlier versions let every login do; %1 the lines below.
inline const QString kRepaired = QStringLiteral("При обновлении исправлено:\n%1");
// %1 how many, %2 their tables.
inline const QString kRepairedSequences =
    QStringLiteral("счетчики номеров записей поставлены за наибольшим номером своей таблицы: %1 (%2)");
inline const QString kRemovedLargeObjects =
    QStringLiteral("удалены большие объекты, на которые не ссылается ни одна запись: %1");
inline const QString kBadDbName = QStringLiteral("Недопустимое имя базы данных: %1");
inline const QString kChangePassword =
    QStringLiteral("База данных %1 подготовлена. Администратор по умолчанию: %2, начальный пароль «%3».\n"
                   "Смените этот пароль: известный пароль открывает базу данных посторонним.");

} // namespace PrepTexts
