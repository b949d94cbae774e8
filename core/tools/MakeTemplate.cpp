// Build step: writes the SQLite template database from the embedded schema script.
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
    if (argc != 2) {
        std::fprintf(stderr, "usage: lirmktemplate <output file>\n");
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[1]);
    const QString temp = target + QStringLiteral(".part");
    QFile::remove(temp);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("template"));
        db.setDatabaseName(temp);
        if (db.open()) {
            QSqlError error;
            int batch = -1;
            ok = RunSqlScript(db, SqlDialect::SQLite, SchemaScript(SqlDialect::SQLite), &error, &batch);
            if (!ok)
                std::fprintf(stderr, "batch %d: %s\n", batch, error.text().toLocal8Bit().constData());
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
