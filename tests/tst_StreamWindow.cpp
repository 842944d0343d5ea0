#include "TestMain.h"

#include "app/StreamWindow.h"

class TestStreamWindow : public QObject
{
    Q_OBJECT

private:
    // How many commands of the given sizes go out, in order, before the window refuses one.
    static int admittedInARow(StreamWindow &window, const QList<int> &sizes)
    {
        int count = 0;
        for (int bytes : sizes) {
            if (!window.admits(bytes))
                break;
            window.sent(bytes);
            ++count;
        }
        return count;
    }

private slots:
    void shortLinesAreLimitedToFive()
    {
        StreamWindow window;
        QCOMPARE(admittedInARow(window, QVector<int>(10, 6).toList()), 5);
        QCOMPARE(window.inFlight(), 5);
        window.answered();
        QCOMPARE(admittedInARow(window, QVector<int>(10, 6).toList()), 1);
    }

    void bytesAreLimitedToTheReceiveBuffer()
    {
        StreamWindow window;
        QCOMPARE(admittedInARow(window, QVector<int>(5, 41).toList()),
                 3); // 123 bytes; a fourth needs 164
        QCOMPARE(window.outstandingBytes(), 123);
        window.answered();
        QCOMPARE(window.outstandingBytes(), 82);
        QVERIFY(window.admits(45));
        QVERIFY(!window.admits(46));
    }

    void exactlyFullBufferIsAllowed()
    {
        StreamWindow window;
        QCOMPARE(admittedInARow(window, {100, 27, 1}), 2);
        QCOMPARE(window.outstandingBytes(), 127);
    }

    void oversizedLineWaitsForAnEmptyWindow()
    {
        StreamWindow window;
        QVERIFY(window.admits(300));
        window.sent(10);
        QVERIFY(!window.admits(300));
        window.answered();
        QVERIFY(window.admits(300));
        window.sent(300);
        QVERIFY(!window.admits(2));
        window.answered();
        QCOMPARE(window.outstandingBytes(), 0);
    }

    void answersFreeTheOldestFirst()
    {
        StreamWindow window;
        window.sent(100);
        window.sent(20);
        window.answered();
        QCOMPARE(window.outstandingBytes(), 20);
        QVERIFY(window.admits(107));
        QVERIFY(!window.admits(108));
    }

    void strayAnswersAndResets()
    {
        StreamWindow window;
        window.answered(); // an "ok" nobody waited for
        QCOMPARE(window.inFlight(), 0);
        QCOMPARE(window.outstandingBytes(), 0);
        window.sent(50);
        window.sent(50);
        window.reset();
        QCOMPARE(window.inFlight(), 0);
        QCOMPARE(window.outstandingBytes(), 0);
        QCOMPARE(admittedInARow(window, QVector<int>(10, 6).toList()), 5);
    }

    void programLinesSplitAtEveryLineEnd_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("only line ends") << "\n\r\n\r\r" << QStringList{};
        QTest::newRow("CR LF") << "G0 X1\r\nG1 X2 F100\r\n" << QStringList{"G0 X1", "G1 X2 F100"};
        QTest::newRow("no final line end") << "a\nb" << QStringList{"a", "b"};
        QTest::newRow("blanks are kept") << "  \n G1 X1 \n" << QStringList{"  ", " G1 X1 "};
        QTest::newRow("lone CR") << "a\rb\r\rc" << QStringList{"a", "b", "c"};
        QTest::newRow("other characters untouched")
            << QString::fromUtf8("G1 X1 (Maß)\tF2\n\x01")
            << QStringList{QString::fromUtf8("G1 X1 (Maß)\tF2"), "\x01"};
    }

    void programLinesSplitAtEveryLineEnd()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(programLines(text), lines);
    }
};

ORLO_TEST_MAIN(TestStreamWindow)
#include "tst_StreamWindow.moc"
