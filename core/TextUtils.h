// Text and file utilities of the main program.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Converters between code page 1251, UTF-16 and UTF-8. Results are owned values; invalid UTF-8
// becomes replacement characters and characters cp1251 cannot hold become '?'.
QByteArray UnicodeToAnsi(const QString& text);
QString AnsiToUnicode(const QByteArray& text);
QString Utf8ToUnicode(const QByteArray& text);
QByteArray UnicodeToUtf8(const QString& text);
QByteArray Utf8ToAnsi(const QByteArray& text);
QByteArray AnsiToUtf8(const QByteArray& text);

bool DirectoryExists(const QString& path);
bool FileExists(const QString& path);

// The folder of the running program (or $LIR_HOME), with a trailing '/': the user's files.
QString GetProgramPath();
QString GetProgramFolder();
// Where a file the program ships (templates, schemas, report definitions, plug-ins) may be: the
// program folder, then the executable's folder when that is another one.
QStringList ProgramFilePlaces(const QString& name);
// The first of those places that holds `name`; the program folder's path when none does.
QString ProgramFile(const QString& name);
// Tests stand another folder in for the executable's; an empty one restores it.
void SetExecutableFolder(const QString& folder);
// The system temporary folder with a trailing '/'.
QString GetTempFolder();

// Replaces control characters, < > / " | ? * and blanks by '_'; ':' and '\' stay.
QString MakeValidFileName(const QString& name);

QString GetFileVersionString();
// True when the root element's "version" attribute equals the program's version.
bool CheckXmlFileVersion(const QString& xmlPath);
