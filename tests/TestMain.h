#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

// Every test runs against a settings store of its own in a temporary folder, so neither an
// operator's settings nor another test's leftovers can change a result. The toolkit reads
// XDG_CONFIG_HOME once, at the first use of the store; this runs before that.
#define ORLO_TEST_MAIN(TestClass)                                                                  \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        QTemporaryDir configHome;                                                                  \
        qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());                               \
        QApplication application(argc, argv);                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
