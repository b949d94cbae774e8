// Build step: writes a SQLite database from a script: the template of the main database from the
// embedded schema, or, given a script file, another database the program ships (the report database).
#include "db/DbConnection.h"
#include "db/SqlScript.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: lirmktemplate <output file> [script file]\n");
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[1]);
    QString script = SchemaScript(SqlDialect::SQLite);
    if (argc == 3) {
        QFile file(QString::fromLocal8Bit(argv[2]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "%s: %s\n", argv[2], file.errorString().toLocal8Bit().constData());
            return 1;
        }
        script = QString::fromUtf8(file.readAll());
    }
    const QString temp = target + QStringLiteral(".part");
    QFile::remove(temp);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("template"));
        db.setDatabaseName(temp);
        if (db.open()) {
            const auto failure = RunSqlScript(db, SqlDialect::SQLite, script);
            ok = !failure;
            if (failure)
                std::fprintf(stderr, "batch %d: %s\n", failure->batch, failure->error.text().toLocal8Bit().constData());
            db.close();
        } else {
            std::fprintf(stderr, "%s\n", db.lastError().text().toLocal8Bit().constData());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("template"));
    if (!ok) {
        QFile::remove(temp);
        return 1;
    }
    QFile::remove(target);
    return QFile::rename(temp, target) ? 0 : 1;
}
