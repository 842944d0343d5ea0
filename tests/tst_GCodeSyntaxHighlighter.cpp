#include "TestMain.h"

#include "HighlightOracle.h"
#include "RandomWords.h"

#include "editor/CodeEditor.h"
#include "editor/GCodeSyntaxHighlighter.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

namespace {

// The format each character of a highlighted block shows.
QVector<QTextCharFormat> formatsOf(const QTextBlock &block)
{
    QVector<QTextCharFormat> formats(block.length() - 1);
    for (const QTextLayout::FormatRange &range : block.layout()->formats())
        std::fill(formats.begin() + range.start, formats.begin() + range.start + range.length,
                  range.format);
    return formats;
}

QVector<int> ruleOfEachCharacter(const QString &line)
{
    QVector<int> rules(line.size(), -1);
    for (const HighlightSpan &span : highlightSpans(line))
        std::fill(rules.begin() + span.start, rules.begin() + span.start + span.length,
                  int(span.rule));
    return rules;
}

QString lineWithRandomLetters(QRandomGenerator &random)
{
    static const QString extras = QStringLiteral("nNmMkKrRsSfF()-.0123456789 ");
    QString line = RandomWords::line(random);
    for (int n = random.bounded(6); n > 0; --n)
        line.insert(random.bounded(line.size() + 1), extras[random.bounded(extras.size())]);
    return line;
}

} // namespace

class TestGCodeSyntaxHighlighter : public QObject
{
    Q_OBJECT

private:
    QTextDocument document;
    GCodeSyntaxHighlighter *highlighter = nullptr;

    QVector<QTextCharFormat> highlighted(const QString &line)
    {
        document.setPlainText(line);
        return formatsOf(document.firstBlock());
    }

    static QTextCharFormat boldIn(const QColor &color)
    {
        QTextCharFormat format;
        format.setFontWeight(75);
        format.setForeground(QBrush(color));
        return format;
    }

private slots:
    void init()
    {
        document.documentLayout(); // a document reports its changes once it has a layout
        highlighter = new GCodeSyntaxHighlighter(&document);
    }

    void cleanup() { delete highlighter; }

    void sampleLine()
    {
        const QVector<QTextCharFormat> formats = highlighted("N10 G01 X-12.5 Y3 F300 (feed)");
        const auto span = [&formats](int from, int length) { return formats.mid(from, length); };
        const auto all = [](const QTextCharFormat &format, int length) {
            return QVector<QTextCharFormat>(length, format);
        };
        QCOMPARE(span(0, 3), all(boldIn(Qt::gray), 3));
        QCOMPARE(span(4, 3), all(boldIn(Qt::darkBlue), 3));
        QCOMPARE(span(8, 6), all(boldIn(Qt::darkGreen), 6));
        QCOMPARE(span(15, 2), all(boldIn(Qt::darkCyan), 2));
        QCOMPARE(span(18, 4), all(boldIn(QColor(255, 127, 35)), 4));
        QCOMPARE(span(23, 6), all(boldIn(Qt::black), 6));
        for (int space : {3, 7, 14, 17, 22})
            QCOMPARE(formats[space], QTextCharFormat());
    }

    void ruleColours()
    {
        const QVector<QColor> colours = {Qt::gray,       Qt::red,         Qt::darkBlue,
                                         Qt::darkGreen,  Qt::darkCyan,    Qt::blue,
                                         Qt::darkYellow, Qt::darkYellow,  Qt::darkYellow,
                                         Qt::darkGray,   Qt::darkMagenta, QColor(255, 127, 35),
                                         Qt::black};
        const QString letters = QStringLiteral("nmgxyzijkrsf(");
        for (int rule = 0; rule < 13; ++rule) {
            QCOMPARE(GCodeSyntaxHighlighter::ruleFormat(HighlightRule(rule)),
                     boldIn(colours[rule]));
            const QString line = rule < 12 ? QString(letters[rule]) + "5" : QStringLiteral("(a)");
            QCOMPARE(highlighted(line).first(), boldIn(colours[rule]));
        }
    }

    void comments_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QVector<int>>("rules"); // per character, -1 for none
        const int c = int(HighlightRule::Comment), x = int(HighlightRule::X),
                  y = int(HighlightRule::Y), g = int(HighlightRule::G);
        QTest::newRow("unclosed: letters only")
            << "G1 (x1 y" << QVector<int>{g, g, -1, -1, x, x, -1, y};
        QTest::newRow("two comments, not between")
            << "(a)G(b)" << QVector<int>{c, c, c, g, c, c, c};
        QTest::newRow("nested ends at the first close")
            << "(a(b)c)x" << QVector<int>{c, c, c, c, c, -1, -1, x};
        QTest::newRow("lone letter") << "X" << QVector<int>{x};
        QTest::newRow("letters inside words")
            << "max" << QVector<int>{int(HighlightRule::M), -1, x};
    }

    void comments()
    {
        QFETCH(QString, line);
        QFETCH(QVector<int>, rules);
        QCOMPARE(ruleOfEachCharacter(line), rules);
        QCOMPARE(HighlightOracle::ruleOfEachCharacter(line), rules);
    }

    void agreesWithThePatternSearches()
    {
        QRandomGenerator random(31);
        for (int n = 0; n < 20000; ++n) {
            const QString line = lineWithRandomLetters(random);
            QCOMPARE(ruleOfEachCharacter(line), HighlightOracle::ruleOfEachCharacter(line));
        }
    }

    // The formats the toolkit stores in the layouts, which is what gets painted.
    void documentGetsTheSameFormats()
    {
        QRandomGenerator random(5);
        QString text;
        for (int n = 0; n < 1500; ++n)
            text += lineWithRandomLetters(random) + '\n';
        QTextDocument expected;
        expected.documentLayout();
        HighlightOracle::PatternHighlighter oracle(&expected);
        expected.setPlainText(text);
        document.setPlainText(text);
        QTextBlock block = document.firstBlock();
        for (QTextBlock other = expected.firstBlock(); other.isValid(); other = other.next()) {
            QCOMPARE(block.layout()->formats(), other.layout()->formats());
            block = block.next();
        }
    }

    void overlongLineStaysPlain()
    {
        const QString line =
            QString("G1X1").repeated(GCodeSyntaxHighlighter::longestHighlightedLine);
        QVERIFY(highlighted(line).count(QTextCharFormat()) == line.size());
        QCOMPARE(highlighted(line.left(GCodeSyntaxHighlighter::longestHighlightedLine)).first(),
                 boldIn(Qt::darkBlue));
    }

    void smallEditsAreHighlightedAtOnceLargeOnesWhenSeen()
    {
        CodeEditor editor; // loaded before it is first shown
        const int lines = 3 * GCodeSyntaxHighlighter::immediateBlocks;
        editor.setPlainText(QString("G1 X1 Y2\n").repeated(lines));
        editor.resize(400, 300);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QTextDocument *doc = editor.document();
        const auto highlightedBlocks = [doc] {
            int count = 0;
            for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next())
                count += GCodeSyntaxHighlighter::isHighlighted(block) ||
                         !block.layout()->formats().isEmpty();
            return count;
        };
        QTest::qWait(50);
        editor.repaint();
        QVERIFY(GCodeSyntaxHighlighter::isHighlighted(doc->firstBlock()));
        QVERIFY(!doc->firstBlock().layout()->formats().isEmpty());
        QVERIFY(highlightedBlocks() < 100); // what the view shows, not the program

        editor.verticalScrollBar()->setValue(editor.verticalScrollBar()->maximum());
        editor.repaint();
        const QTextBlock lastLine = doc->findBlockByNumber(lines - 1);
        QVERIFY(GCodeSyntaxHighlighter::isHighlighted(lastLine));
        QVERIFY(!GCodeSyntaxHighlighter::isHighlighted(doc->findBlockByNumber(lines / 2)));

        // An edit far out of view, of a few lines, is highlighted right away.
        QTextCursor cursor(doc->findBlockByNumber(lines / 2));
        cursor.insertText("G0 Z5\nG0 X3\n");
        QVERIFY(GCodeSyntaxHighlighter::isHighlighted(doc->findBlockByNumber(lines / 2)));
        QVERIFY(!doc->findBlockByNumber(lines / 2 + 1).layout()->formats().isEmpty());
    }
};

ORLO_TEST_MAIN(TestGCodeSyntaxHighlighter)
#include "tst_GCodeSyntaxHighlighter.moc"
