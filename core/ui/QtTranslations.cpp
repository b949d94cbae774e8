#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

bool InstallQtTranslations()
{
    if (!qApp)
        return false;
    static bool installed = false;
    if (installed)
        return true;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    // qtbase carries the widgets, dialogs and the print support the program uses.
    auto* translator = new QTranslator(qApp);
    if (!translator->load(russian, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        delete translator;
        std::fprintf(stderr, "Qt's Russian translations (qtbase_ru.qm) were not found in %s\n", qPrintable(folder));
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = true;
    return true;
}
