#include "SimProcess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// orlo-send as an operator runs it from a shell, against the virtual controller.
class TestTerminalSender : public QObject
{
    Q_OBJECT

private:
    static QString numbered(int count)
    {
        QStringList lines;
        for (int i = 1; i <= count; ++i)
            lines << QString("G1 X%1 F300").arg(i % 20);
        return lines.join('\n');
    }

private slots:
    // What is said goes to stdout on success, to stderr otherwise; a run that ends early holds
    // the machine, then resets it at rest.
    void outcomes_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("every line confirmed")
            << numbered(200) << QStringList() << "" << 0 << QStringList{"finished in"};
        QTest::newRow("an error holds, then resets")
            << "G0 X1\nG1 X2 F300\nG99\nG1 X3\nG1 X4" << QStringList() << "" << 1
            << QStringList{"failed at line 3: error: Unsupported command"};
        QTest::newRow("a line the controller cannot take")
            << "G0 X1\nG1 X2 F300 !" << QStringList() << "" << 1
            << QStringList{"Program not started: line 2: it holds '!', which the controller "
                           "would act on at once"};
        QTest::newRow("Ctrl-C") << numbered(400) << QStringList() << "interrupt" << 1
                                << QStringList{"stopped at line"};
        QTest::newRow("cable pulled") << numbered(400) << QStringList() << "unplug" << 1
                                      << QStringList{"interrupted at line"};
        QTest::newRow("a tool change without an operator")
            << "S100 M3\nG0 X1\nT2 M6\nG0 X2" << QStringList() << "" << 1
            << QStringList{"stopped at line 2"};
        QTest::newRow("check mode tells every error")
            << "G0 X10\nG1 X\nT1 M6\nG99\nM30" << QStringList{"--check"} << "" << 1
            << QStringList{"error at line 2: error: Bad number format",
                           "error at line 4: error: Unsupported command"};
    }

    void outcomes()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, options);
        QFETCH(QString, event);
        QFETCH(int, exitCode);
        QFETCH(QStringList, said);
        SimProcess sim({"--time-scale", "20"});
        QVERIFY(sim.start());
        QTemporaryDir dir;
        QFile file(dir.filePath("part.nc"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(program.toUtf8());
        file.close();
        QProcess sender;
        sender.start(ORLO_SEND_PATH, QStringList{"--port", sim.linkPath()} + options +
                                         QStringList{file.fileName()});
        sender.closeWriteChannel(); // no operator at the keyboard
        if (!event.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(sim.stat("lines") >= 40, 10000);
            ::kill(pid_t(event == "unplug" ? sim.process().processId() : sender.processId()),
                   event == "unplug" ? SIGUSR1 : SIGINT);
        }
        QVERIFY(sender.waitForFinished(30000));
        QCOMPARE(sender.exitCode(), exitCode);
        const QString told =
            exitCode == 0 ? sender.readAllStandardOutput() : sender.readAllStandardError();
        for (const QString &part : said)
            QVERIFY2(told.contains(part), qPrintable(told));
        const QStringList log = sim.loggedLines();
        if (event == "interrupt" || said.first().startsWith("failed"))
            QVERIFY(log.indexOf("!") >= 0 && log.indexOf("!") < log.indexOf("\x18"));
        if (said.first().startsWith("Program not started"))
            QCOMPARE(log.filter(QRegularExpression("^G")), QStringList());
        if (options.contains("--check")) {
            const QStringList commands = log.filter(QRegularExpression("^[$GM]"));
            QCOMPARE(commands.first(), QStringLiteral("$C"));
            QCOMPARE(commands.last(), QStringLiteral("$C"));
            QCOMPARE(sim.stat("errors"), 2);
        }
        QCOMPARE(sim.stat("overflowed_bytes"), 0);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("version") << QStringList{"--version"} << 0 << "orlo-send 1.23";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage:";
        QTest::newRow("no port") << QStringList{"part.nc"} << 2 << "Usage:";
        QTest::newRow("unknown option")
            << QStringList{"--fast", "part.nc"} << 2 << "Unknown option 'fast'.";
        QTest::newRow("absurd baud")
            << QStringList{"--port", "/dev/null", "--baud", "-5", "x.nc"} << 2 << "Usage:";
        QTest::newRow("missing file") << QStringList{"--port", "/dev/null", "/nonexistent.nc"} << 1
                                      << "/nonexistent.nc: cannot be read";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QProcess sender;
        sender.start(ORLO_SEND_PATH, arguments);
        QVERIFY(sender.waitForFinished(10000));
        QCOMPARE(sender.exitCode(), exitCode);
        const QString output = sender.readAllStandardOutput() + sender.readAllStandardError();
        QVERIFY2(output.trimmed().startsWith(said), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestTerminalSender)
#include "tst_TerminalSender.moc"
