// Bastrel's command line: key/value pairs in one string, "&" and "=" both separating tokens
// (DBPATH=/data/&BASETYPE=ACCESS).
#pragma once

#include <QString>
#include <QStringList>

// The arguments of the process joined by a blank, as one command line.
QString JoinCommandLine(const QStringList& arguments);
// Whether the line holds both keys with "=" (exact letter case), before anything is parsed.
bool HasPrepKeys(const QString& line);
// The values of DBPATH and BASETYPE, trimmed; a later pair overwrites an earlier one. An empty
// value stays empty (the key is then missing): it never takes the next key as its value.
void ParseCommandLine(const QString& line, QString& dbPath, QString& baseType);
// BASETYPE "ACCESS" in any letter case is the SQLite file; anything else the server.
bool IsFileKind(const QString& baseType);
// The folder of the file with a trailing "/", the file name being glued onto it.
QString FileFolder(const QString& dbPath);
