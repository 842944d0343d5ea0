#include "TestMain.h"

#include "app/TerminalPane.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

class TestTerminalPane : public QObject
{
    Q_OBJECT

private:
    static QColor colourOf(const QTextBlock &block)
    {
        return block.begin().fragment().charFormat().foreground().color();
    }

private slots:
    void linesKeepTheirOrderAndColourAcrossBatches()
    {
        QPlainTextEdit edit;
        TerminalPane pane;
        pane.attach(&edit);
        pane.append("G0 X1", Qt::blue);
        pane.append("ok", Qt::red);
        QCOMPARE(edit.blockCount(), 1); // written at the next turn of the event loop
        QTRY_COMPARE_WITH_TIMEOUT(edit.toPlainText(), QStringLiteral("G0 X1\nok"), 50);
        pane.append("", Qt::blue);
        pane.append("$G", Qt::blue);
        pane.flush();
        QCOMPARE(edit.toPlainText(), QStringLiteral("G0 X1\nok\n\n$G"));
        const QList<QColor> expected = {Qt::blue, Qt::red, QColor(), Qt::blue};
        QList<QColor> colours;
        for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next())
            colours << (block.length() > 1 ? colourOf(block) : QColor());
        QCOMPARE(colours, expected);
        QVERIFY(!edit.document()->isUndoAvailable());
    }

    void busyStreamIsWrittenAFewTimesASecond()
    {
        QPlainTextEdit edit;
        TerminalPane pane;
        pane.attach(&edit);
        pane.append("first", Qt::red);
        QTRY_COMPARE_WITH_TIMEOUT(edit.blockCount(), 1, 50);
        QTRY_VERIFY_WITH_TIMEOUT(!edit.toPlainText().isEmpty(), 50);
        pane.append("second", Qt::red); // right after a write: waits for the next slot
        QTest::qWait(TerminalPane::flushIntervalMs / 2);
        QCOMPARE(edit.toPlainText(), QStringLiteral("first"));
        QTRY_COMPARE_WITH_TIMEOUT(edit.toPlainText(), QStringLiteral("first\nsecond"),
                                  TerminalPane::flushIntervalMs);
    }

    void floodIsWrittenInSlicesAndKeepsTheNewestLines()
    {
        QPlainTextEdit edit;
        TerminalPane pane;
        pane.attach(&edit);
        for (int i = 0; i < 200000; ++i)
            pane.append(QStringLiteral("line %1 of a flood").arg(i), Qt::red);
        QElapsedTimer clock;
        clock.start();
        pane.flush();
        QVERIFY(clock.elapsed() < 5 * TerminalPane::sliceMs);
        QTRY_COMPARE_WITH_TIMEOUT(edit.document()->lastBlock().text(),
                                  QStringLiteral("line 199999 of a flood"), 60000);
        // Only the newest lines are kept, written or not yet.
        for (int i = 200000; i < 200010; ++i)
            pane.append(QStringLiteral("line %1 of a flood").arg(i), Qt::red);
        pane.flush();
        QCOMPARE(edit.blockCount(), TerminalPane::maxLines);
        QCOMPARE(edit.document()->firstBlock().text(),
                 QStringLiteral("line %1 of a flood").arg(200010 - TerminalPane::maxLines));
    }

    void clearDropsWhatWasWaiting()
    {
        QPlainTextEdit edit;
        TerminalPane pane;
        pane.attach(&edit);
        pane.append("old", Qt::red);
        pane.flush();
        pane.append("pending", Qt::red);
        pane.clear();
        QTest::qWait(TerminalPane::flushIntervalMs * 2);
        QCOMPARE(edit.toPlainText(), QString());
        pane.append("new", Qt::blue);
        pane.flush();
        QCOMPARE(edit.toPlainText(), QStringLiteral("new"));
    }

    void followsTheEndUnlessScrolledBack()
    {
        QPlainTextEdit edit;
        edit.resize(300, 120);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        TerminalPane pane;
        pane.attach(&edit);
        for (int i = 0; i < 200; ++i)
            pane.append(QString::number(i), Qt::red);
        pane.flush();
        QScrollBar *bar = edit.verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        bar->setValue(10); // the operator reads back
        for (int i = 0; i < 50; ++i)
            pane.append("more", Qt::red);
        pane.flush();
        QCOMPARE(bar->value(), 10);
    }
};

ORLO_TEST_MAIN(TestTerminalPane)
#include "tst_TerminalPane.moc"
