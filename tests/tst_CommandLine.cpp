#include "TestMain.h"

#include "app/CommandLine.h"
#include "app/StationIdentity.h"

#include <QDir>
#include <QFile>

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString program;

private slots:
    void initTestCase()
    {
        StationIdentity::describe();
        QVERIFY(dir.isValid());
        program = dir.filePath("part.nc");
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("G0 X1\n");
        file.close();
        QVERIFY(QDir::setCurrent(dir.path()));
    }

    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");        // -1: the station starts
        QTest::addColumn<QString>("said");        // a part of the message
        QTest::addColumn<bool>("unknownOption");  // maybe the toolkit's own
        QTest::addColumn<QStringList>("started"); // file, port, baud rate
        const auto starts = [](const char *tag, const QStringList &arguments,
                               const QStringList &started) {
            QTest::newRow(tag) << arguments << -1 << QString() << false << started;
        };
        const auto exits = [](const char *tag, const QStringList &arguments, int code,
                              const QString &said, bool unknown = false) {
            QTest::newRow(tag) << arguments << code << said << unknown << QStringList();
        };
        const QString gone = dir.filePath("gone.nc");

        starts("nothing", {}, {"", "", "0"});
        starts("file", {program}, {program, "", "0"});
        starts("file in the current folder", {"part.nc"}, {program, "", "0"});
        starts("port and rate", {"--port", "/dev/ttyUSB0", "--baud", "57600"},
               {"", "/dev/ttyUSB0", "57600"});
        starts("port with =, file after it", {"--port=/dev/serial/by-id/usb-x", program},
               {program, "/dev/serial/by-id/usb-x", "0"});
        starts("highest rate", {"--baud", "4000000"}, {"", "", "4000000"});

        exits("help", {"--help"}, 0, "--baud <N>");
        exits("-h beside a file", {"-h", program}, 0, "[FILE]");
        exits("version", {"--version"}, 0, " " + QCoreApplication::applicationVersion() + "\n");

        exits("unknown option", {"--bogus"}, 2, "bogus", true);
        exits("unknown short option", {"-x", program}, 2, "'x'", true);
        exits("port without path", {"--port"}, 2, "--port");
        exits("empty port", {"--port", ""}, 2, "--port");
        exits("rate in words", {"--baud", "fast"}, 2, "--baud");
        exits("rate 0", {"--baud", "0"}, 2, "--baud");
        exits("rate too high", {"--baud", "4000001"}, 2, "--baud");
        exits("two files", {program, program}, 2, "one FILE");
        exits("mistake before a missing file", {"--baud", "x", gone}, 2, "--baud");
        exits("missing file", {gone}, 1, gone + ": no such file");
        exits("folder", {dir.path()}, 1, "folder");
    }

    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(bool, unknownOption);
        QFETCH(QStringList, started);
        const CommandLine command = CommandLine::parse(QStringList{"orlo-cnc-control"} + arguments);
        QCOMPARE(command.exitCode, exitCode);
        QCOMPARE(command.exits(), exitCode >= 0);
        QVERIFY2(command.message.contains(said), qPrintable(command.message));
        if (exitCode == CommandLine::usageError)
            QVERIFY2(command.message.contains("Usage:"), qPrintable(command.message));
        QCOMPARE(command.unknownOption, unknownOption);
        if (!command.exits())
            QCOMPARE((QStringList{command.file, command.port, QString::number(command.baudRate)}),
                     started);
    }
};

ORLO_TEST_MAIN(TestCommandLine)
#include "tst_CommandLine.moc"
