#include "TestMain.h"

#include "HighlightOracle.h"
#include "RandomWords.h"

#include "editor/CodeEditor.h"
#include "editor/GCodeSyntaxHighlighter.h"
#include "editor/ProgramFile.h"

#include <QDir>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QUrl>

namespace {

// Rules as letters, one a character: the rule's letter, '(' for a comment, ' ' for none.
QVector<int> rulesOf(const QString &letters)
{
    QVector<int> rules;
    for (const QChar letter : letters)
        rules << (letter == ' ' ? -1 : int(QStringLiteral("NMGXYZIJKRSF(").indexOf(letter)));
    return rules;
}

// The formats the toolkit stores in the layout, which is what gets painted, one a character.
QVector<QTextCharFormat> painted(const QTextBlock &block)
{
    QVector<QTextCharFormat> formats(block.length() - 1);
    for (const QTextLayout::FormatRange &range : block.layout()->formats())
        std::fill(formats.begin() + range.start, formats.begin() + range.start + range.length,
                  range.format);
    return formats;
}

QVector<QTextCharFormat> formatsOf(const QVector<int> &rules)
{
    QVector<QTextCharFormat> formats;
    for (const int rule : rules)
        formats << (rule < 0 ? QTextCharFormat()
                             : GCodeSyntaxHighlighter::ruleFormat(HighlightRule(rule)));
    return formats;
}

QString lineWithRandomLetters(QRandomGenerator &random)
{
    static const QString extras = QStringLiteral("nNmMkKrRsSfF()(-.0123456789 ");
    QString line = RandomWords::controllerLine(random);
    for (int n = random.bounded(6); n > 0; --n)
        line.insert(random.bounded(line.size() + 1), extras[random.bounded(extras.size())]);
    return line;
}

} // namespace

// The program editor: its gutter and cursor band, files dropped on it, and the colours of its
// words, against the highlighter's rules written as pattern searches.
class TestCodeEditor : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    CodeEditor *editor = nullptr;

    void drop(QMimeData &data)
    {
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &event);
    }

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
        const int width = digits * editor->fontMetrics().horizontalAdvance(QLatin1Char('9')) + 20;
        QCOMPARE(editor->lineNumberAreaWidth(), width);
        QCOMPARE(editor->viewport()->geometry().left() - editor->contentsRect().left(), width);
    }

    void bandFollowsTheCursorUnlessReadOnly()
    {
        editor->setPlainText("G1 X1\nG1 X2");
        editor->moveCursor(QTextCursor::End);
        QCOMPARE(editor->extraSelections().size(), 1);
        const QTextEdit::ExtraSelection band = editor->extraSelections().first();
        QVERIFY(band.format.property(QTextFormat::FullWidthSelection).toBool());
        QCOMPARE(band.cursor.blockNumber(), 1);
        editor->setReadOnly(true);
        editor->moveCursor(QTextCursor::Start);
        QVERIFY(editor->extraSelections().isEmpty());
    }

    // A program file replaces the text; anything else leaves it, and the file's address is
    // not pasted into the program either.
    void droppedFiles_data()
    {
        QTest::addColumn<QStringList>("names"); // "/" at the end: a folder; no content: none
        QTest::addColumn<QByteArrayList>("contents");
        QTest::addColumn<int>("handled"); // -1: not at all, 0: refused, 1: loaded
        QTest::addColumn<QString>("text");
        const QString old = "G0 X0";
        QTest::newRow("program") << QStringList{"part.GCODE"} << QByteArrayList{"G1 X1\r\nG1 Y2\n"}
                                 << 1 << "G1 X1\nG1 Y2\n";
        QTest::newRow("the first of several")
            << QStringList{"b.cnc", "c.nc"} << QByteArrayList{"(b)", "(c)"} << 1 << "(b)";
        QTest::newRow("a NUL ends the text")
            << QStringList{"nul.nc"} << QByteArrayList{QByteArray("G1 X1\nG1 X2\0G1 X3", 17)} << 1
            << "G1 X1\nG1 X2";
        QTest::newRow("binary") << QStringList{"binary.nc"}
                                << QByteArrayList{QByteArray(50 * 1024 * 1024, '\0')} << 1 << "";
        QTest::newRow("too large")
            << QStringList{"huge.nc"}
            << QByteArrayList{QByteArray("G1 X1 Y1\n").repeated(ProgramFile::maxTextBytes / 9 + 1)}
            << 0 << old;
        QTest::newRow("gone") << QStringList{"gone.nc"} << QByteArrayList{} << 0 << old;
        QTest::newRow("a folder") << QStringList{"folder.nc/"} << QByteArrayList{} << 0 << old;
        QTest::newRow("notes") << QStringList{"notes.txt"} << QByteArrayList{"G1 X9"} << -1 << old;
        QTest::newRow("notes first")
            << QStringList{"notes.txt", "d.nc"} << QByteArrayList{"G1 X9", "G1 X8"} << -1 << old;
    }

    void droppedFiles()
    {
        QFETCH(QStringList, names);
        QFETCH(QByteArrayList, contents);
        QFETCH(int, handled);
        QFETCH(QString, text);
        editor->setPlainText("G0 X0");
        QMimeData data;
        QList<QUrl> urls;
        for (int n = 0; n < names.size(); ++n) {
            QFile file(folder.filePath(QString(names[n]).remove('/')));
            if (names[n].endsWith('/'))
                QVERIFY(QDir(folder.path()).mkpath(file.fileName()));
            else if (n < contents.size())
                QVERIFY(file.open(QIODevice::WriteOnly) &&
                        file.write(contents[n]) == contents[n].size());
            urls << QUrl::fromLocalFile(file.fileName());
        }
        data.setUrls(urls);
        QSignalSpy spy(editor, &CodeEditor::dropHandled);
        drop(data);
        if (handled >= 0) {
            QVERIFY(spy.wait(5000));
            QCOMPARE(spy.first().first().toBool(), bool(handled));
        }
        QCoreApplication::processEvents();
        QCOMPARE(spy.count(), handled >= 0);
        QCOMPARE(editor->toPlainText(), text);
    }

    void textDropsStillInsertText()
    {
        QMimeData data;
        data.setText("G1 Z-1");
        drop(data);
        QCOMPARE(editor->toPlainText(), QStringLiteral("G1 Z-1"));
    }

    void highlightRules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("rules");
        QTest::newRow("sample") << "N10 G01 X-12.5 Y3 F300 (feed)"
                                << "NNN GGG XXXXXX YY FFFF ((((((";
        QTest::newRow("every rule") << "n1m2g3x4y5z6i7j8k9r0s1f2(a)"
                                    << "NNMMGGXXYYZZIIJJKKRRSSFF(((";
        QTest::newRow("unclosed: letters only") << "G1 (x1 y"
                                                << "GG  XX Y";
        QTest::newRow("two comments, not between") << "(a)G(b)"
                                                   << "(((G(((";
        QTest::newRow("nested ends at the first close") << "(a(b)c)x"
                                                        << "(((((  X";
        QTest::newRow("letters inside words") << "max"
                                              << "M X";
    }

    // The scanner's spans as the document holds them, and the pattern searches, agree.
    void highlightRules()
    {
        QFETCH(QString, line);
        QFETCH(QString, rules);
        QCOMPARE(HighlightOracle::ruleOfEachCharacter(line), rulesOf(rules));
        editor->setPlainText(line);
        QCOMPARE(painted(editor->document()->firstBlock()), formatsOf(rulesOf(rules)));
    }

    void highlightingAgreesWithThePatternSearches()
    {
        QRandomGenerator random(31);
        for (int round = 0; round < 12; ++round) {
            QStringList lines;
            for (int n = 0; n < GCodeSyntaxHighlighter::immediateBlocks - 1; ++n)
                lines << lineWithRandomLetters(random);
            editor->setPlainText(lines.join('\n'));
            for (QTextBlock block = editor->document()->firstBlock(); block.isValid();
                 block = block.next())
                QCOMPARE(painted(block),
                         formatsOf(HighlightOracle::ruleOfEachCharacter(block.text())));
        }
    }

    void overlongLineStaysPlain()
    {
        const QString line =
            QString("G1X1").repeated(GCodeSyntaxHighlighter::longestHighlightedLine);
        editor->setPlainText(line);
        QVERIFY(editor->document()->firstBlock().layout()->formats().isEmpty());
        editor->setPlainText(line.left(GCodeSyntaxHighlighter::longestHighlightedLine));
        QCOMPARE(painted(editor->document()->firstBlock()).first(),
                 GCodeSyntaxHighlighter::ruleFormat(HighlightRule::G));
    }

    // Colouring lines as they come into view changes no text, so it must not look like an
    // edit to whoever follows the editor (the preview re-reads the program on every edit).
    void largeEditsAreHighlightedWhenSeenAndAreNoEdit()
    {
        const int lines = 3 * GCodeSyntaxHighlighter::immediateBlocks;
        editor->setPlainText(QString("G1 X1 Y2\n").repeated(lines));
        QSignalSpy edits(editor, &QPlainTextEdit::textChanged);
        QTextDocument *doc = editor->document();
        const auto marked = [doc](int line) {
            const QTextBlock block = doc->findBlockByNumber(line);
            return GCodeSyntaxHighlighter::isHighlighted(block) ||
                   !block.layout()->formats().isEmpty();
        };
        const auto coloured = [doc](int line) {
            const QTextBlock block = doc->findBlockByNumber(line);
            return GCodeSyntaxHighlighter::isHighlighted(block) &&
                   !block.layout()->formats().isEmpty();
        };
        editor->repaint();
        int count = 0;
        for (int line = 0; line < lines; ++line)
            count += marked(line);
        QVERIFY(coloured(0) && count < 100); // what the view shows, not the program

        editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
        editor->repaint();
        QVERIFY(coloured(lines - 1) && !marked(lines / 2));
        QCOMPARE(edits.count(), 0);

        // An edit far out of view, of a few lines, is highlighted right away.
        QTextCursor(doc->findBlockByNumber(lines / 2)).insertText("G0 Z5\nG0 X3\n");
        QVERIFY(coloured(lines / 2) && coloured(lines / 2 + 1));
        QCOMPARE(edits.count(), 1);
    }
};

ORLO_TEST_MAIN(TestCodeEditor)
#include "tst_CodeEditor.moc"
