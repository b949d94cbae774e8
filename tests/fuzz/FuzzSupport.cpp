#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

#include <unistd.h>

namespace {

QString Scratch()
{
    static const QString dir = [] {
        const QString path = QDir::tempPath() + QStringLiteral("/lir-fuzz-%1/").arg(::getpid());
        QDir().mkpath(path);
        // Validation and parse messages would drown the fuzzer's own output.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return path;
    }();
    return dir;
}

} // namespace

QString WriteInput(const uint8_t* data, size_t size, const char* suffix)
{
    const QString path = Scratch() + QStringLiteral("input") + QLatin1String(suffix);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

QString EmptyFolder()
{
    QDir dir(Scratch() + QStringLiteral("out"));
    dir.removeRecursively();
    QDir().mkpath(dir.path());
    return dir.path();
}

QString SchemaPath(const char* name)
{
    return QStringLiteral(LIR_SCHEMA_DIR "/") + QLatin1String(name);
}
