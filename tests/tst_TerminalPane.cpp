#include "TestMain.h"

#include "app/TerminalPane.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

class TestTerminalPane : public QObject
{
    Q_OBJECT

private:
    QPlainTextEdit *edit = nullptr;
    TerminalPane *pane = nullptr;

    void append(const QString &prefix, int from, int to)
    {
        for (int i = from; i < to; ++i)
            pane->append(prefix + QString::number(i), Qt::red);
    }

private slots:
    void init()
    {
        edit = new QPlainTextEdit;
        pane = new TerminalPane;
        pane->attach(edit);
    }

    void cleanup()
    {
        delete pane;
        delete edit;
    }

    // Written at the next turn of the event loop, then at most a few times a second; a clear
    // drops what was waiting.
    void linesKeepTheirOrderAndColourAcrossBatches()
    {
        pane->append("G0 X1", Qt::blue);
        pane->append("ok", Qt::red);
        QCOMPARE(edit->blockCount(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(edit->toPlainText(), QStringLiteral("G0 X1\nok"), 50);
        pane->append("", Qt::blue);
        pane->append("$G", Qt::blue);
        QTest::qWait(TerminalPane::flushIntervalMs / 2);
        QCOMPARE(edit->blockCount(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(edit->blockCount(), 4, TerminalPane::flushIntervalMs);
        QList<QColor> colours;
        for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next())
            colours << (block.length() > 1
                            ? block.begin().fragment().charFormat().foreground().color()
                            : QColor());
        QCOMPARE(colours, (QList<QColor>{Qt::blue, Qt::red, QColor(), Qt::blue}));
        QVERIFY(!edit->document()->isUndoAvailable());
        pane->append("pending", Qt::red);
        pane->clear();
        QTest::qWait(TerminalPane::flushIntervalMs * 2);
        QCOMPARE(edit->toPlainText(), QString());
        pane->append("new", Qt::blue);
        pane->flush();
        QCOMPARE(edit->toPlainText(), QStringLiteral("new"));
    }

    // Only the newest 5000 lines are kept, written or not yet: a job of a million lines must not
    // leave the pane holding a million paragraphs.
    void floodIsWrittenInSlicesAndKeepsTheNewestLines()
    {
        append("line ", 0, 200000);
        QElapsedTimer clock;
        clock.start();
        pane->flush();
        QVERIFY(clock.elapsed() < 5 * TerminalPane::sliceMs);
        QTRY_COMPARE_WITH_TIMEOUT(edit->document()->lastBlock().text(),
                                  QStringLiteral("line 199999"), 60000);
        append("line ", 200000, 200010);
        pane->flush();
        QCOMPARE(edit->blockCount(), 5000);
        QCOMPARE(edit->document()->firstBlock().text(), QStringLiteral("line 195010"));
    }

    void followsTheEndUnlessScrolledBack()
    {
        edit->resize(300, 120);
        edit->show();
        QVERIFY(QTest::qWaitForWindowExposed(edit));
        append("", 0, 200);
        pane->flush();
        QScrollBar *bar = edit->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(10); // the operator reads back
        append("more ", 0, 50);
        pane->flush();
        QCOMPARE(bar->value(), 10);
    }
};

ORLO_TEST_MAIN(TestTerminalPane)
#include "tst_TerminalPane.moc"
