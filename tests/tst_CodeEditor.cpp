#include "TestMain.h"

#include "editor/CodeEditor.h"
#include "editor/ProgramFile.h"

#include <QDir>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

class TestCodeEditor : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    CodeEditor *editor = nullptr;

    QString file(const QString &name, const QByteArray &content)
    {
        QFile out(folder.filePath(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(name));
        return out.fileName();
    }

    // As the toolkit delivers a drag: the drop goes to the widget that accepted its entering.
    void drop(QMimeData &data)
    {
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &event);
    }

    void drop(const QStringList &paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        drop(data);
    }

    // Drops and waits until the file has been read and shown (or refused).
    bool dropAndWait(const QStringList &paths)
    {
        QSignalSpy handled(editor, &CodeEditor::dropHandled);
        drop(paths);
        return handled.wait(5000) && handled.first().first().toBool();
    }

    int nineWidth() const { return editor->fontMetrics().horizontalAdvance(QLatin1Char('9')); }

private slots:
    void init()
    {
        editor = new CodeEditor;
        editor->resize(400, 300);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor));
    }

    void cleanup() { delete editor; }

    void gutterGrowsWithTheDigitsOfTheLineCount_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("digits");
        QTest::newRow("empty") << 1 << 1;
        QTest::newRow("9") << 9 << 1;
        QTest::newRow("10") << 10 << 2;
        QTest::newRow("100") << 100 << 3;
    }

    void gutterGrowsWithTheDigitsOfTheLineCount()
    {
        QFETCH(int, lines);
        QFETCH(int, digits);
        editor->setPlainText(QString("G1\n").repeated(lines - 1));
        QCOMPARE(editor->blockCount(), lines);
        const int width = digits * nineWidth() + 20;
        QCOMPARE(editor->lineNumberAreaWidth(), width);
        QCOMPARE(editor->viewport()->geometry().left() - editor->contentsRect().left(), width);
    }

    void bandFollowsTheCursorUnlessReadOnly()
    {
        editor->setPlainText("G1 X1\nG1 X2");
        editor->moveCursor(QTextCursor::End);
        QCOMPARE(editor->extraSelections().size(), 1);
        const QTextEdit::ExtraSelection band = editor->extraSelections().first();
        QCOMPARE(band.format.background().color(), QColor(255, 255, 153));
        QVERIFY(band.format.property(QTextFormat::FullWidthSelection).toBool());
        QCOMPARE(band.cursor.blockNumber(), 1);
        QVERIFY(!band.cursor.hasSelection());

        editor->setReadOnly(true);
        editor->moveCursor(QTextCursor::Start);
        QVERIFY(editor->extraSelections().isEmpty());
        editor->setReadOnly(false);
        editor->moveCursor(QTextCursor::End);
        QCOMPARE(editor->extraSelections().size(), 1);
    }

    void dropLoadsAProgramFile()
    {
        editor->setPlainText("old");
        QVERIFY(dropAndWait({file("part.GCODE", "G1 X1\r\nG1 Y2\n")}));
        QCOMPARE(editor->toPlainText(), QStringLiteral("G1 X1\nG1 Y2\n"));
        QVERIFY(dropAndWait({file("b.cnc", "(b)"), file("c.nc", "(c)")}));
        QCOMPARE(editor->toPlainText(), QStringLiteral("(b)"));
    }

    // Nothing is loaded, and the file's address is not pasted into the program either.
    void otherDropsChangeNothing()
    {
        editor->setPlainText("G0 X0");
        drop({file("notes.txt", "G1 X9")});
        drop({file("notes.txt", "G1 X9"), file("d.nc", "G1 X8")});
        QVERIFY(!dropAndWait({folder.filePath("gone.nc")}));
        QDir(folder.path()).mkdir("folder.nc");
        QVERIFY(!dropAndWait({folder.filePath("folder.nc")}));
        QCoreApplication::processEvents();
        QCOMPARE(editor->toPlainText(), QStringLiteral("G0 X0"));
    }

    void nulByteEndsTheText()
    {
        QVERIFY(dropAndWait({file("nul.nc", QByteArray("G1 X1\nG1 X2\0G1 X3", 17))}));
        QCOMPARE(editor->toPlainText(), QStringLiteral("G1 X1\nG1 X2"));
        QVERIFY(dropAndWait({file("binary.nc", QByteArray(50 * 1024 * 1024, '\0'))}));
        QCOMPARE(editor->toPlainText(), QString());
    }

    void fileTooLargeIsRefused()
    {
        editor->setPlainText("G0 X0");
        QVERIFY(!dropAndWait({file(
            "huge.nc", QByteArray("G1 X1 Y1\n").repeated(ProgramFile::maxTextBytes / 9 + 1))}));
        QCOMPARE(editor->toPlainText(), QStringLiteral("G0 X0"));
    }

    // Colouring lines as they come into view changes no text, so it must not look like an
    // edit to whoever follows the editor (the preview re-reads the program on every edit).
    void colouringIsNoEdit()
    {
        editor->setPlainText(QString("G1 X1 Y2\n").repeated(20000));
        QSignalSpy edits(editor, &QPlainTextEdit::textChanged);
        editor->repaint();
        editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum() / 2);
        editor->repaint();
        QCOMPARE(edits.count(), 0);
        QTest::keyClick(editor, Qt::Key_5);
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(edits.count(), 2);
    }

    void textDropsStillInsertText()
    {
        QMimeData data;
        data.setText("G1 Z-1");
        drop(data);
        QCOMPARE(editor->toPlainText(), QStringLiteral("G1 Z-1"));
    }
};

ORLO_TEST_MAIN(TestCodeEditor)
#include "tst_CodeEditor.moc"
