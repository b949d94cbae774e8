// Test main: a QCoreApplication for the non-widget tests.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <clocale>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
