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
inline const QString kTablesLeft =
    QStringLiteral("Данные таблиц, состав полей которых не подходит новой версии базы данных, не перенесены: %1.\n"
                   "Они сохранены в копии %2.");
inline const QString kFileExists = QStringLiteral("файл уже существует");
// %1 the folder, %2 the system's reason.
inline const QString kFolderNotWritable = QStringLiteral("Не удалось создать файл в папке %1:\n%2");
inline const QString kEmptyFile =
    QStringLiteral("Файл %1 пуст (0 байт): это не база данных.\nВосстановите его из копии или удалите его, "
                   "чтобы создать новую базу данных.");
inline const QString kReadOnlyFile =
    QStringLiteral("Файл базы данных %1 доступен только для чтения: подготовка невозможна.\n"
                   "Разрешите запись в файл и повторите подготовку.");
// %1 the lines below (kBrokenReferenceLine each), %2 the old file.
inline const QString kBrokenReferences =
    QStringLiteral("Строки старой базы данных ссылаются на отсутствующие записи, база данных не обновлена:\n%1\n"
                   "Исправьте или удалите эти строки в файле %2 и повторите подготовку.");
// %1 the table, %2 the row ids, %3 the table whose row is missing.
inline const QString kBrokenReferenceLine = QStringLiteral("таблица %1, строки %2: нет записи в таблице %3");
inline const QString kBadDbName = QStringLiteral("Недопустимое имя базы данных: %1");
inline const QString kChangePassword =
    QStringLiteral("База данных %1 подготовлена. Администратор по умолчанию: %2, начальный пароль «%3».\n"
                   "Смените этот пароль: известный пароль открывает базу данных посторонним.");

} // namespace PrepTexts
