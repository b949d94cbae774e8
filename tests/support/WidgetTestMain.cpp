// Test main for widget tests: a QApplication on the offscreen platform, or on the one the
// environment names (xcb under xvfb-run).
#include "MessageBoxDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

#include <clocale>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
