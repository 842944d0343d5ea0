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
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };

    // Starts orlo-send on `program`; `during` runs once the controller has taken `after` lines.
    static Run send(SimProcess &sim, const QString &program, const QStringList &options = {},
                    const std::function<void(QProcess &)> &during = {}, int after = 0)
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("part.nc");
        QFile writer(file);
        writer.open(QIODevice::WriteOnly);
        writer.write(program.toUtf8());
        writer.close();
        QProcess sender;
        sender.start(ORLO_SEND_PATH,
                     QStringList{"--port", sim.linkPath()} + options + QStringList{file});
        sender.closeWriteChannel(); // no operator at the keyboard
        if (during) {
            QElapsedTimer waited;
            waited.start();
            while (sim.stat("lines") < after && waited.elapsed() < 10000)
                QTest::qWait(20);
            during(sender);
        }
        sender.waitForFinished(30000);
        return {sender.exitCode(), QString::fromUtf8(sender.readAllStandardOutput()),
                QString::fromUtf8(sender.readAllStandardError())};
    }

    static QString numbered(int count, const QString &pattern = "G1 X%1 F300")
    {
        QStringList lines;
        for (int i = 1; i <= count; ++i)
            lines << pattern.arg(i % 20);
        return lines.join('\n');
    }

private slots:
    void outcomes_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // on stdout on success, on stderr otherwise
        QTest::newRow("every line confirmed") << numbered(200) << "" << 0 << "finished in";
        QTest::newRow("an error holds, then resets")
            << "G0 X1\nG1 X2 F300\nG99\nG1 X3\nG1 X4"
            << "" << 1 << "failed at line 3: error: Unsupported command";
        QTest::newRow("a line the controller cannot take")
            << "G0 X1\nG1 X2 F300 !"
            << "" << 1
            << "Program not started: line 2: it holds '!', which the controller would act on "
               "at once";
        QTest::newRow("Ctrl-C") << numbered(400) << "interrupt" << 1 << "stopped at line";
        QTest::newRow("cable pulled") << numbered(400) << "unplug" << 1 << "interrupted at line";
        QTest::newRow("a tool change without an operator") << "S100 M3\nG0 X1\nT2 M6\nG0 X2"
                                                           << "" << 1 << "stopped at line 2";
    }

    void outcomes()
    {
        QFETCH(QString, program);
        QFETCH(QString, event);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        SimProcess sim({"--time-scale", "20"});
        QVERIFY(sim.start());
        std::function<void(QProcess &)> during;
        if (event == "interrupt")
            during = [](QProcess &sender) { ::kill(pid_t(sender.processId()), SIGINT); };
        if (event == "unplug")
            during = [&sim](QProcess &) { ::kill(pid_t(sim.process().processId()), SIGUSR1); };
        const Run run = send(sim, program, {}, during, 40);
        QCOMPARE(run.exitCode, exitCode);
        const QString told = exitCode == 0 ? run.out : run.err;
        QVERIFY2(told.contains(said), qPrintable(told));
        const QStringList log = sim.loggedLines();
        if (event == "interrupt" || said.startsWith("failed")) // held, then reset at rest
            QVERIFY(log.indexOf("!") >= 0 && log.indexOf("!") < log.indexOf("\x18"));
        if (said.startsWith("Program not started"))
            QCOMPARE(log.filter(QRegularExpression("^G")), QStringList());
        QCOMPARE(sim.stat("overflowed_bytes"), 0);
    }

    void checkModeTellsEveryError()
    {
        SimProcess sim;
        QVERIFY(sim.start());
        const Run run = send(sim, "G0 X10\nG1 X\nT1 M6\nG99\nM30", {"--check"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("error at line 2: error: Bad number format"),
                 qPrintable(run.err));
        QVERIFY(run.err.contains("error at line 4: error: Unsupported command"));
        const QStringList log = sim.loggedLines().filter(QRegularExpression("^[$GM]"));
        QCOMPARE(log.first(), QStringLiteral("$C"));
        QCOMPARE(log.last(), QStringLiteral("$C"));
        QCOMPARE(sim.stat("errors"), 2);
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
