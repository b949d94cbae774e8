#include "CommandLine.h"

#include <QRegularExpression>

QString JoinCommandLine(const QStringList& arguments)
{
    return arguments.join(u' ');
}

bool HasPrepKeys(const QString& line)
{
    return line.contains(QStringLiteral("DBPATH=")) && line.contains(QStringLiteral("BASETYPE="));
}

void ParseCommandLine(const QString& line, QString& dbPath, QString& baseType)
{
    // Every separator ends a token, so "DBPATH=&BASETYPE=X" gives DBPATH an empty value.
    const QStringList tokens = line.trimmed().split(QRegularExpression(QStringLiteral("[&=]")));
    QString previous;
    for (QString token : tokens) {
        if (previous == u"DBPATH") {
            token = token.trimmed();
            dbPath = token;
        } else if (previous == u"BASETYPE") {
            token = token.trimmed();
            baseType = token;
        }
        previous = token;
    }
}

bool IsFileKind(const QString& baseType)
{
    return baseType.toUpper() == u"ACCESS";
}

QString FileFolder(const QString& dbPath)
{
    return dbPath.endsWith(u'/') ? dbPath : dbPath + u'/';
}
