#include "TestMain.h"

#include "PathOracle.h"
#include "RandomWords.h"

#include "preview/DocumentPathReader.h"
#include "preview/PathInterpreter.h"

#include <QTextCursor>
#include <QTextDocument>

#include <cstring>

using Path = QVector<PathPoint>;
Q_DECLARE_METATYPE(Path)

namespace {

Path interpreted(const QString &text)
{
    Path path;
    PathInterpreter::interpretText(text, path);
    return path;
}

QString describe(const Path &path, int index)
{
    if (index >= path.size())
        return QStringLiteral("(none)");
    const PathPoint &p = path[index];
    return QString::asprintf("(%.9g, %.9g, %.9g, %g)", p.x, p.y, p.z, p.moveType);
}

// Bit for bit, with the first difference in the message.
bool samePoints(const Path &actual, const Path &expected, QString *difference)
{
    const int common = std::min(actual.size(), expected.size());
    for (int n = 0; n < common; ++n) {
        if (std::memcmp(&actual[n], &expected[n], sizeof(PathPoint)) != 0) {
            *difference = QStringLiteral("point %1: %2 instead of %3")
                              .arg(n)
                              .arg(describe(actual, n), describe(expected, n));
            return false;
        }
    }
    if (actual.size() != expected.size()) {
        *difference = QStringLiteral("%1 points instead of %2, first extra or missing %3 / %4")
                          .arg(actual.size())
                          .arg(expected.size())
                          .arg(describe(actual, common), describe(expected, common));
        return false;
    }
    return true;
}

#define COMPARE_PATHS(actual, expected)                                                            \
    do {                                                                                           \
        QString difference;                                                                        \
        QVERIFY2(samePoints(actual, expected, &difference), qPrintable(difference));               \
    } while (false)

int intermediatePoints(const Path &path)
{
    return path.size() - 2; // the origin and the end point
}

} // namespace

class TestPathInterpreter : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Path>("expected");
        QTest::newRow("one feed move") << "G1 X10 Y5" << Path{{0, 0, 0, 0}, {10, 5, 0, 1}};
        QTest::newRow("no G word, no point") << "G0 X10\nX20" << Path{{0, 0, 0, 0}, {10, 0, 0, 0}};
        QTest::newRow("first G word decides") << "G90 G1 X10" << Path{{0, 0, 0, 0}};
        QTest::newRow("unspaced") << "G1X10Y-2.5Z.5" << Path{{0, 0, 0, 0}, {10, -2.5f, 0.5f, 1}};
        QTest::newRow("space ends the number") << "G1 X 10" << Path{{0, 0, 0, 0}, {0, 0, 0, 1}};
        QTest::newRow("x in a comment")
            << "G1 X5 Y2\nG1 Y3 (max depth)" << Path{{0, 0, 0, 0}, {5, 2, 0, 1}, {0, 3, 0, 1}};
        QTest::newRow("g in a comment")
            << "G1 X5 Y5\n(tool change)" << Path{{0, 0, 0, 0}, {5, 5, 0, 1}, {5, 5, 0, 0}};
        QTest::newRow("CR, LF and blank lines")
            << "G1 X1\r\n\r\nG0 X2\rG1 X3\n"
            << Path{{0, 0, 0, 0}, {1, 0, 0, 1}, {2, 0, 0, 0}, {3, 0, 0, 1}};
        QTest::newRow("lone sign and point are 0")
            << "G1 X- Y. Z-." << Path{{0, 0, 0, 0}, {0, 0, 0, 1}};
        QTest::newRow("plus is no sign") << "G1 X+5" << Path{{0, 0, 0, 0}, {0, 0, 0, 1}};
        QTest::newRow("G word too big for an int reads 0")
            << "G99999999999 X4" << Path{{0, 0, 0, 0}, {4, 0, 0, 0}};
        QTest::newRow("G38.2 is G38") << "G38.2 Z-5" << Path{{0, 0, 0, 0}};
        QTest::newRow("beyond float range adds no point")
            << "G1 X1\nG1 X" + QString(40, '9') + "\nG1 Y2"
            << Path{{0, 0, 0, 0}, {1, 0, 0, 1}}; // X stays infinite, so Y2 is left out too
        QTest::newRow("a finite X after an infinite one draws again")
            << "G1 X" + QString(40, '9') + "\nG1 X3" << Path{{0, 0, 0, 0}, {3, 0, 0, 1}};
    }

    void lines()
    {
        QFETCH(QString, text);
        QFETCH(Path, expected);
        COMPARE_PATHS(interpreted(text), expected);
        COMPARE_PATHS(PathOracle::interpret(text), expected);
    }

    void halfCircleClockwise()
    {
        const Path path = interpreted("G2 X10 Y0 I5 J0");
        QCOMPARE(intermediatePoints(path), 17);
        for (int n = 1; n <= 17; ++n) {
            const double angle = qDegreesToRadians(180.0 - 10 * n); // upward over the top
            QVERIFY(qAbs(path[n].x - (5 + 5 * std::cos(angle))) < 1e-5);
            QVERIFY(qAbs(path[n].y - 5 * std::sin(angle)) < 1e-5);
            QCOMPARE(path[n].moveType, 2.0f);
        }
        QCOMPARE(describe(path, 18), describe({{10, 0, 0, 2}}, 0));
    }

    void fullCircleCounterClockwiseAndHelix()
    {
        const Path flat = interpreted("G3 X0 Y0 I5 J0");
        QCOMPARE(intermediatePoints(flat), 35);
        QVERIFY(flat[9].y < -4.9f); // a quarter turn counter-clockwise from the left is the bottom
        COMPARE_PATHS(Path{flat.last()}, (Path{{0, 0, 0, 3}}));

        const Path helix = interpreted("G3 X0 Y0 Z-1 I5 J0");
        QCOMPARE(intermediatePoints(helix), 35);
        for (int n = 1; n <= 35; ++n)
            QVERIFY(qAbs(helix[n].z - -n / 36.0) < 1e-6);
        QCOMPARE(helix.last().z, -1.0f);
    }

    void arcReusesTheLastOffsets()
    {
        const Path path = interpreted("G2 X10 Y0 I5 J0\nG0 X0 Y0\nG2 X10 Y0");
        QCOMPARE(path.size(), 1 + 18 + 1 + 18);
        const Path first = path.mid(1, 18), second = path.mid(20, 18);
        COMPARE_PATHS(second, first);
    }

    void zeroRadiusArcGivesOnlyItsEndPoint()
    {
        COMPARE_PATHS(interpreted("G1 X1\nG2"), (Path{{0, 0, 0, 0}, {1, 0, 0, 1}, {1, 0, 0, 2}}));
    }

    void hugeRadiusIsCappedButEndsExactly()
    {
        for (const QString &offset : {QStringLiteral("1000000"), "1" + QString(30, '0')}) {
            const Path path = interpreted("G2 X0 Y0 I" + offset);
            QVERIFY2(intermediatePoints(path) >= 3599 && intermediatePoints(path) <= 3600,
                     qPrintable(QString::number(path.size())));
            COMPARE_PATHS(Path{path.last()}, (Path{{0, 0, 0, 2}}));
            for (const PathPoint &point : path)
                QVERIFY(std::isfinite(point.x) && std::isfinite(point.y));
        }
    }

    void arcBeyondFloatRangeKeepsOnlyFinitePoints()
    {
        const Path path = interpreted("G1 X1\nG3 I" + QString(40, '9') + "\nG2 X2 I1");
        for (const PathPoint &point : path)
            QVERIFY(std::isfinite(point.x) && std::isfinite(point.y) && std::isfinite(point.z));
        QCOMPARE(path.last().x, 2.0f);
    }

    void absurdProgramsStayBounded()
    {
        const Path arcs = interpreted(QString("G2\n").repeated(1'000'000));
        QCOMPARE(arcs.size(), 1'000'001); // one end point per line, none on the zero radius
        QCOMPARE(describe(arcs, 1'000'000), describe({{0, 0, 0, 2}}, 0));
        const Path longLine = interpreted(QString("G1X10Y-2.5 ").repeated(1'000'000));
        COMPARE_PATHS(longLine, (Path{{0, 0, 0, 0}, {10, -2.5f, 0, 1}}));
    }

    void pointLimit()
    {
        const Path path = interpreted(QString("G2 I5000\n").repeated(2800));
        QCOMPARE(path.size(), PathBuilder::pointLimit);
    }

    void textWithoutLinesKeepsThePath()
    {
        Path path{{1, 2, 3, 1}};
        QVERIFY(!PathInterpreter::interpretText(QStringLiteral("\r\n\n"), path));
        COMPARE_PATHS(path, (Path{{1, 2, 3, 1}}));
        QVERIFY(PathInterpreter::interpretText(QStringLiteral(" "), path));
        COMPARE_PATHS(path, (Path{{0, 0, 0, 0}}));
    }

    void numbersConvertAsTheToolkitDoes()
    {
        QRandomGenerator random(7);
        const QRegularExpression wordNumber("^-?[0-9]*\\.?[0-9]*");
        for (int n = 0; n < 200000; ++n) {
            const QString text = wordNumber.match(RandomWords::number(random)).captured();
            const float expected = text.toFloat();
            const float actual = wordNumberToFloat(text);
            QVERIFY2(std::memcmp(&actual, &expected, sizeof(float)) == 0, qPrintable(text));
        }
        for (const QString &text :
             QStringList{"2147483647", "2147483648", "000000000000000000000000012", QString()})
            QCOMPARE(wordNumberToInt(text), text.toInt(nullptr, 10));
    }

    void agreesWithThePatternSearches()
    {
        QRandomGenerator random(2024);
        for (int round = 0; round < 20; ++round) {
            const QString text = RandomWords::program(random, 1000);
            COMPARE_PATHS(interpreted(text), PathOracle::interpret(text));
        }
    }

    void documentEditsGiveTheSamePointsAsReadingEverything()
    {
        QTextDocument document;
        DocumentPathReader reader;
        reader.setDocument(&document);
        QRandomGenerator random(99);
        document.setPlainText(RandomWords::program(random, 300));
        Path path;
        for (int round = 0; round < 400; ++round) {
            // Several edits may reach the reader before the path is brought up to date.
            for (int edits = random.bounded(1, 4); edits > 0; --edits)
                applyRandomEdit(document, random);
            const Path before = path;
            const bool hasLines = reader.updatePath(path);
            const Path expected = PathOracle::interpret(document.toPlainText(), before);
            QCOMPARE(hasLines, !document.toPlainText()
                                    .split(QRegularExpression("[\r\n]"), Qt::SkipEmptyParts)
                                    .isEmpty());
            COMPARE_PATHS(path, expected);
        }
    }

    void emptyingTheDocumentKeepsThePath()
    {
        QTextDocument document;
        DocumentPathReader reader;
        reader.setDocument(&document);
        document.setPlainText("G1 X4\nG1 Y4");
        Path path;
        QVERIFY(reader.updatePath(path));
        const Path drawn = path;
        document.setPlainText("\n\n");
        QVERIFY(!reader.updatePath(path));
        COMPARE_PATHS(path, drawn);
        document.setPlainText("G1 Z-1");
        QVERIFY(reader.updatePath(path));
        COMPARE_PATHS(path, (Path{{0, 0, 0, 0}, {0, 0, -1, 1}}));
    }

    void pathPaddedByOthersIsRebuilt()
    {
        QTextDocument document("G90");
        DocumentPathReader reader;
        reader.setDocument(&document);
        Path path;
        reader.updatePath(path);
        path += Path{{0, 0, 0, 0}, {0, 0, 0, 0}}; // what the preview does to a lone point
        QTextCursor(&document).insertText("G1 X2\n");
        reader.updatePath(path);
        COMPARE_PATHS(path, (Path{{0, 0, 0, 0}, {2, 0, 0, 1}}));
    }

private:
    static void applyRandomEdit(QTextDocument &document, QRandomGenerator &random)
    {
        QTextCursor cursor(&document);
        const int length = document.characterCount() - 1;
        cursor.setPosition(random.bounded(length + 1));
        switch (random.bounded(8)) {
        case 0:
            cursor.setPosition(std::min(length, cursor.position() + random.bounded(200)),
                               QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            break;
        case 1:
            cursor.insertText(RandomWords::program(random, random.bounded(1, 20)));
            break;
        case 2:
            cursor.insertText(QString(QChar(0x2028)) + "G1 X" +
                              QString::number(random.bounded(100)));
            break;
        case 3:
            document.undo();
            break;
        case 4:
            if (random.bounded(20) == 0)
                cursor.select(QTextCursor::Document);
            cursor.removeSelectedText();
            break;
        default:
            cursor.insertText(RandomWords::word(random));
            break;
        }
    }
};

ORLO_TEST_MAIN(TestPathInterpreter)
#include "tst_PathInterpreter.moc"
