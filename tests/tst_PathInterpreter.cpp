#include "TestMain.h"

#include "ProgramReference.h"
#include "RandomWords.h"

#include "preview/DocumentPathReader.h"
#include "preview/PathInterpreter.h"
#include "preview/RunTimeEstimate.h"

#include <QTextBlock>
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

// Each point to the last bit of its floats, so that equal lists are equal paths and a
// difference names the first point that differs.
QStringList points(const Path &path)
{
    QStringList texts;
    for (const PathPoint &p : path)
        texts << QString::asprintf("%.9g %.9g %.9g %g", p.x, p.y, p.z, p.moveType);
    return texts;
}

bool finite(const Path &path)
{
    return std::all_of(path.begin(), path.end(), [](const PathPoint &p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    });
}

} // namespace

class TestPathInterpreter : public QObject
{
    Q_OBJECT

private slots:
    // Each case also holds for the plain reference reader, so the two agree on the hand cases
    // as on the generated ones below.
    void lines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Path>("expected");
        const PathPoint o{0, 0, 0, 0};
        const QString huge = QString(40, '9');
        QTest::newRow("CAM-style modal lines")
            << "G1 X10 Y5 F300\nX20\nY30\nZ-1"
            << Path{o, {10, 5, 0, 1}, {20, 5, 0, 1}, {20, 30, 0, 1}, {20, 30, -1, 1}};
        QTest::newRow("the mode at the start is G0") << "X5 Y5" << Path{o, {5, 5, 0, 0}};
        QTest::newRow("several G words") << "G90 G1 X10" << Path{o, {10, 0, 0, 1}};
        QTest::newRow("incremental square")
            << "G91 G1 X10\nY10\nX-10\nY-10"
            << Path{o, {10, 0, 0, 1}, {10, 10, 0, 1}, {0, 10, 0, 1}, {0, 0, 0, 1}};
        QTest::newRow("incremental, then absolute")
            << "G91\nG0 X5\nX5\nG90 X1" << Path{o, {5, 0, 0, 0}, {10, 0, 0, 0}, {1, 0, 0, 0}};
        QTest::newRow("inches") << "G20 G0 X1 Y-0.5 F10\nG91 X1\nG21 X1"
                                << Path{o,
                                        {25.4f, -12.7f, 0, 0},
                                        {50.8f, -12.7f, 0, 0},
                                        {51.8f, -12.7f, 0, 0}};
        QTest::newRow("blanks inside words")
            << "G 1 X 1 0 Y - 2 . 5\tZ+.5" << Path{o, {10, -2.5f, 0.5f, 1}};
        QTest::newRow("lower case, no blanks") << "g1x10y-2.5z.5" << Path{o, {10, -2.5f, 0.5f, 1}};
        QTest::newRow("comments holding letters")
            << "G1 X5 Y2\n(max depth)\nG1 Y3 (tool change g0)\n; x99\nX1(x9)0 ; y7"
            << Path{o, {5, 2, 0, 1}, {5, 3, 0, 1}, {10, 3, 0, 1}};
        QTest::newRow("no point for what is not a move in program coordinates")
            << "G0 X5\nG92 X0\nG28 X1\nG30 Y2\nG53 G0 Z-1\nG4 P1\nG10 L20 P1 X3\nG38.2 Z-5 F10\n"
               "Z-6\nG0 X6"
            << Path{o, {5, 0, 0, 0}, {6, 0, 0, 0}};
        QTest::newRow("G80 leaves axis words without a motion")
            << "G1 X1\nG80\nX5\nG0 X2" << Path{o, {1, 0, 0, 1}, {2, 0, 0, 0}};
        QTest::newRow("a refused line changes nothing")
            << "G91 X1 X2\nX3\n%\nG1 Q1 X4\nG0 G1 X5\nG99 X6\nG1 X-\nG1 X1.2.3\nX7"
            << Path{o, {3, 0, 0, 0}, {7, 0, 0, 0}};
        QTest::newRow("refused arcs") << "G1 X1\nG2 X5 Y5\nG2 X20 R5\nG2 X1 Y0 R3\nG3 Z-1 I5\nG1 X2"
                                      << Path{o, {1, 0, 0, 1}, {2, 0, 0, 1}};
        QTest::newRow("CR, LF and blank lines")
            << "G1 X1\r\n\r\nG0 X2\rG1 X3\n"
            << Path{o, {1, 0, 0, 1}, {2, 0, 0, 0}, {3, 0, 0, 1}};
        // X stays infinite, so Y2 is left out too; a finite X draws again.
        QTest::newRow("beyond float range adds no point")
            << "G1 X1\nG1 X" + huge + "\nG1 Y2\nG1 X3" << Path{o, {1, 0, 0, 1}, {3, 2, 0, 1}};
    }

    void lines()
    {
        QFETCH(QString, text);
        QFETCH(Path, expected);
        QCOMPARE(points(interpreted(text)), points(expected));
        QCOMPARE(points(ProgramReference::interpret(text)), points(expected));
    }

    // From the origin to (10, 0) on a radius of 10: the centre lies 8.66 below or above the
    // chord, and the arc's far point is 1.34 or 18.66 away from it, on the side the direction
    // and the sign of the radius choose.
    void radiusArcs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("centreY");
        QTest::addColumn<double>("farthestY");
        const double h = std::sqrt(75.0);
        QTest::newRow("clockwise, shorter") << "G2 X10 R10" << -h << 10 - h;
        QTest::newRow("clockwise, longer") << "G2 X10 R-10" << h << h + 10;
        QTest::newRow("counter-clockwise, shorter") << "G3 X10 R10" << h << h - 10;
        QTest::newRow("counter-clockwise, longer") << "G3 X10 R-10" << -h << -h - 10;
        QTest::newRow("inches") << "G20 G3 X0.3937008 R-0.3937008" << -h << -h - 10;
    }

    void radiusArcs()
    {
        QFETCH(QString, text);
        QFETCH(double, centreY);
        QFETCH(double, farthestY);
        const Path path = interpreted(text);
        QVERIFY(qAbs(path.last().x - 10) < 1e-4 && path.last().y == 0);
        const PathPoint *far = &path.first();
        for (const PathPoint &point : path) {
            QVERIFY2(qAbs(std::hypot(point.x - 5, point.y - centreY) - 10) < 1e-3,
                     qPrintable(points({point}).join("")));
            if (qAbs(point.y) > qAbs(far->y))
                far = &point;
        }
        QVERIFY2(qAbs(far->y - farthestY) < 0.05, qPrintable(points({*far}).join("")));
    }

    void absurdProgramsStayBounded()
    {
        for (const QString &offset : {QStringLiteral("1000000"), "1" + QString(30, '0')}) {
            const Path huge = interpreted("G2 X0 Y0 I" + offset); // at most 3600 steps
            QVERIFY2(huge.size() >= 3601 && huge.size() <= 3602, qPrintable(offset));
            QCOMPARE(points(Path{huge.last()}), points(Path{{0, 0, 0, 2}}));
            QVERIFY(finite(huge));
        }
        const Path beyond = interpreted("G1 X1\nG3 X1 I" + QString(40, '9') + "\nG2 X2 I1");
        QVERIFY(finite(beyond) && beyond.last().x == 2.0f);
        const Path arcs = interpreted(QString("G2 X1 I0 J0\n").repeated(1'000'000));
        QCOMPARE(arcs.size(), 1'000'001); // one end point per line, none on the zero radius
        const Path longLine = interpreted("G1X10Y-2.5" + QString("(note) ").repeated(1'000'000));
        QCOMPARE(points(longLine), points(Path{{0, 0, 0, 0}, {10, -2.5f, 0, 1}}));
        QCOMPARE(interpreted(QString("G2 X0 Y0 I5000\n").repeated(2800)).size(),
                 PathBuilder::pointLimit);
    }

    // With the factory settings (500 mm/min, 10 mm/s^2 on every axis, junction deviation
    // 0.01 mm): 10 mm at F600 runs at 8.33 mm/s, reached after 0.83 s and 3.47 mm, and takes
    // 2 * 0.83 s + 3.06 mm / 8.33 mm/s = 2.03 s.
    void runTime_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<double>("seconds");
        const double speed = 500 / 60.0, rampSeconds = speed / 10, rampLength = speed * speed / 20;
        const double tenMillimetres = 2 * rampSeconds + (10 - 2 * rampLength) / speed;
        QTest::newRow("one move") << "G1 X10 F600" << tenMillimetres;
        QTest::newRow("straight on at speed") << "G1 X4 F600\nX10" << tenMillimetres;
        QTest::newRow("a reversal stops") << "G91 G1 X10 F600\nX-10" << 2 * tenMillimetres;
        QTest::newRow("a spindle stop lets the motion run out")
            << "G1 X10 F600\nM5\nX20" << 2 * tenMillimetres;
        QTest::newRow("a dwell") << "G1 X10 F600\nG4 P1.5" << tenMillimetres + 1.5;
        // Along a diagonal both axes run at their limit: the move is as long as each axis's.
        QTest::newRow("a rapid at the axes' rates") << "G0 X10 Y10" << tenMillimetres;
        QTest::newRow("inches") << "G20 G1 X0.3937008 F23.622" << tenMillimetres;
        QTest::newRow("no feed rate, refused by the controller") << "G1 X10" << 0.0;
        QTest::newRow("a refused arc") << "G2 X10 F600" << 0.0;
    }

    void runTime()
    {
        QFETCH(QString, program);
        QFETCH(double, seconds);
        QVERIFY2(qAbs(estimateRunTime(program).totalSeconds - seconds) < 1e-4,
                 qPrintable(QString::number(estimateRunTime(program).totalSeconds)));
    }

    // A corner slows the motion down to the junction speed, no further: the path takes longer
    // than a straight run of its length and less than two moves that stop between them.
    void cornersSlowDownAndLinesEndInTurn()
    {
        const double corner = estimateRunTime(u"G1 X10 F600\nY10").totalSeconds;
        QVERIFY(corner > estimateRunTime(u"G1 X20 F600").totalSeconds + 0.1);
        QVERIFY(corner < estimateRunTime(u"G1 X10 F600\nG4 P0\nY10").totalSeconds - 0.05);

        const RunTimeEstimate estimate = estimateRunTime(u"G1 X10 F600\n(note)\nG4 P1\n\nG0 X0");
        const double move = estimate.secondsAtLineEnd[0];
        QCOMPARE(estimate.secondsAtLineEnd,
                 (std::vector<double>{move, move, move + 1, move + 1, 2 * move + 1}));
        QCOMPARE(estimate.remainingAfter(2), move);
        QCOMPARE(estimate.remainingAfter(-1), estimate.totalSeconds);

        MachineLimits fast;
        QVERIFY(fast.set(110, 1000) && fast.set(120, 40) && !fast.set(100, 80));
        // 10 mm/s, reached after 0.25 s and 1.25 mm: 2 * 0.25 s + 7.5 mm / 10 mm/s.
        QVERIFY(qAbs(estimateRunTime(u"G1 X10 F600", fast).totalSeconds - 1.25) < 1e-9);
    }

    // A text without a line leaves the drawn path; the preview pads a lone point with two more,
    // which the next reading must not build on.
    void emptyTextKeepsThePathPaddingIsRebuilt()
    {
        Path path{{1, 2, 3, 1}};
        QVERIFY(!PathInterpreter::interpretText(QStringLiteral("\r\n\n"), path));
        QCOMPARE(points(path), points(Path{{1, 2, 3, 1}}));

        QTextDocument document("G90");
        DocumentPathReader reader;
        reader.setDocument(&document);
        QVERIFY(reader.updatePath(path));
        path += Path{{0, 0, 0, 0}, {0, 0, 0, 0}};
        QTextCursor(&document).insertText("G1 X2\n");
        QVERIFY(reader.updatePath(path));
        QCOMPARE(points(path), points(Path{{0, 0, 0, 0}, {2, 0, 0, 1}}));
        document.setPlainText("\n\n");
        QVERIFY(!reader.updatePath(path));
        QCOMPARE(points(path), points(Path{{0, 0, 0, 0}, {2, 0, 0, 1}}));
    }

    void numbersConvertAsTheToolkitDoes()
    {
        QRandomGenerator random(7);
        const QRegularExpression wordNumber("^[+-]?[0-9]*\\.?[0-9]*");
        for (int n = 0; n < 200000; ++n) {
            const QString text = wordNumber.match(RandomWords::number(random)).captured();
            const float expected = text.toFloat();
            const float actual = programNumberToFloat(text);
            QVERIFY2(std::memcmp(&actual, &expected, sizeof(float)) == 0, qPrintable(text));
        }
    }

    void agreesWithTheReference()
    {
        QRandomGenerator random(2024);
        for (int round = 0; round < 20; ++round) {
            const QString text = RandomWords::controllerProgram(random, 1000);
            QCOMPARE(points(interpreted(text)), points(ProgramReference::interpret(text)));
        }
    }

    // Also where each line's points begin, which tells how much of the path a job has done.
    void documentEditsGiveTheSamePointsAsReadingEverything()
    {
        QTextDocument document;
        DocumentPathReader reader;
        reader.setDocument(&document);
        QRandomGenerator random(99);
        document.setPlainText(RandomWords::controllerProgram(random, 300));
        Path path;
        for (int round = 0; round < 400; ++round) {
            // Several edits may reach the reader before the path is brought up to date.
            for (int edits = random.bounded(1, 4); edits > 0; --edits)
                applyRandomEdit(document, random);
            const Path before = path;
            const bool hasLines = reader.updatePath(path);
            QCOMPARE(hasLines, !ProgramReference::lines(document.toPlainText()).isEmpty());
            QCOMPARE(points(path),
                     points(ProgramReference::interpret(document.toPlainText(), before)));
            if (!hasLines)
                continue;
            ProgramReference::Reader reference;
            QTextBlock block = document.begin();
            for (int line = 0; line <= document.blockCount(); ++line, block = block.next()) {
                QCOMPARE(reader.firstPointOfLine(line), reference.path.size());
                for (const QString &text : ProgramReference::lines(block.text()))
                    reference.read(text);
            }
        }
    }

private:
    static void applyRandomEdit(QTextDocument &document, QRandomGenerator &random)
    {
        QTextCursor cursor(&document);
        const int length = document.characterCount() - 1;
        cursor.setPosition(random.bounded(length + 1));
        switch (random.bounded(6)) {
        case 0: // a stretch, now and then everything
            cursor.setPosition(std::min(length, cursor.position() + random.bounded(200)),
                               QTextCursor::KeepAnchor);
            if (random.bounded(20) == 0)
                cursor.select(QTextCursor::Document);
            cursor.removeSelectedText();
            break;
        case 1:
            cursor.insertText(RandomWords::controllerProgram(random, random.bounded(1, 20)));
            break;
        case 2:
            cursor.insertText(QChar(0x2028) + QString("G1 X%1").arg(random.bounded(100)));
            break;
        case 3:
            document.undo();
            break;
        default:
            cursor.insertText(random.bounded(2) ? RandomWords::fault(random)
                                                : RandomWords::commandWord(random));
            break;
        }
    }
};

ORLO_TEST_MAIN(TestPathInterpreter)
#include "tst_PathInterpreter.moc"
