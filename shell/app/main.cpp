#include "MessageBoxDlg.h"
#include "Settings.h"

#include <QApplication>
#include <QLocale>

#include <clocale>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    InstallAppMessageBoxUi();

    CSettings& settings = Settings();
    settings.Load();
    settings.Save();
    return 0;
}
