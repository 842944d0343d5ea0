#pragma once

#include <QApplication>
#include <QKeySequence>
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

// The key code a text such as "PgUp" names; Qt 6 gives it as a key combination.
inline int keyNamed(const QString &name)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QKeySequence::fromString(name)[0].toCombined();
#else
    return QKeySequence::fromString(name)[0];
#endif
}
