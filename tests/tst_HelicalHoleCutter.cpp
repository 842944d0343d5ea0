#include "TestMain.h"
#include "WindowProbe.h"

#include "dialogs/HelicalHoleCutter.h"
#include "dialogs/HelixProgram.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <cmath>
#include <limits>

using namespace WindowProbe;

Q_DECLARE_METATYPE(HelixInputs)

namespace {

QLoggingCategory::CategoryFilter earlierFilter = nullptr;

// The debug words are the only trace of a refused input; the test run switches them on.
void showToolWords(QLoggingCategory *category)
{
    if (earlierFilter)
        earlierFilter(category);
    if (qstrcmp(category->categoryName(), "orlo.tools") == 0)
        category->setEnabled(QtDebugMsg, true);
}

HelixInputs clockwiseExample()
{
    HelixInputs inputs;
    inputs.clockwise = true;
    inputs.centreX = 10;
    inputs.centreY = -5;
    inputs.diameter = 8;
    inputs.toolDiameter = 4;
    inputs.depth = 3;
    inputs.startDepth = 2;
    inputs.infeed = 1;
    inputs.startAtSafetyHeight = true;
    return inputs;
}

QStringList arcsOf(const QStringList &program)
{
    return program.filter(QRegularExpression("^G[23] "));
}

} // namespace

// The hole cutter: the program it writes for the examples, its input rules, and the dialog
// around it.
class TestHelicalHoleCutter : public QObject
{
    Q_OBJECT

private:
    HelicalHoleCutter *dialog = nullptr;

    template <typename T> T *widget(const char *name) { return child<T>(dialog, name); }
    QString generated()
    {
        widget<QPushButton>("GenerateButton")->click();
        return widget<QPlainTextEdit>("GCodeTextEdit")->toPlainText();
    }

private slots:
    void initTestCase() { earlierFilter = QLoggingCategory::installFilter(showToolWords); }
    void init() { dialog = new HelicalHoleCutter; }
    void cleanup() { delete dialog; }

    // The arcs stand together between start and end, the feed on the first; four arcs make the
    // last turn at full depth, then the tool goes up to the safety height.
    void programs_data()
    {
        QTest::addColumn<HelixInputs>("inputs");
        QTest::addColumn<QStringList>("head");
        QTest::addColumn<int>("arcCount");
        QTest::addColumn<QString>("lastStep"); // the depth of the last arc going down
        QTest::addColumn<QString>("depth");
        QTest::newRow("defaults")
            << HelixInputs()
            << QStringList{"(Helix: X=0.0000 Y=0.0000 D=10.0000 T=10.0000)",
                           "G0 X3.5000 Y0.0000",
                           "G0 Z0.5000",
                           "G3 X-1.7500 Y3.0311 I-3.5000 J0.0000 Z0.0000 F720",
                           "G3 X-1.7500 Y-3.0311 I1.7500 J-3.0311 Z-0.5000",
                           "G3 X3.5000 Y0.0000 I1.7500 J3.0311 Z-1.0000"}
            << 24 << "Z-9.5000"
            << "Z-10.0000";
        QTest::newRow("clockwise, from the safety height")
            << clockwiseExample()
            << QStringList{"(Helix: X=10.0000 Y=-5.0000 D=8.0000 T=3.0000)", "G0 Z20.0000",
                           "G0 X12.0000 Y-5.0000", "G0 Z-1.5000",
                           "G2 X9.0000 Y-6.7321 I-2.0000 J0.0000 Z-1.8333 F720"}
            << 8 << "Z-2.8333"
            << "Z-3.0000";
    }

    void programs()
    {
        QFETCH(HelixInputs, inputs);
        QFETCH(QStringList, head);
        QFETCH(int, arcCount);
        QFETCH(QString, lastStep);
        QFETCH(QString, depth);
        const QStringList program = helixProgram(inputs);
        QCOMPARE(program.mid(0, head.size()), head);
        const QStringList arcs = arcsOf(program);
        const int firstArc = program.indexOf(arcs.first());
        QCOMPARE(program.mid(firstArc, arcCount), arcs);
        QCOMPARE(program.size(), firstArc + arcCount + 1);
        QVERIFY(arcs.at(arcCount - 5).endsWith(lastStep));
        for (int i = arcCount - 4; i < arcCount; ++i)
            QVERIFY2(arcs.at(i).endsWith(depth), qPrintable(arcs.at(i)));
        QCOMPARE(arcs.filter(" F").size(), 1);
        QCOMPARE(program.last(), QStringLiteral("G0 Z20.0000"));
    }

    void toolAsWideAsTheHolePlunges()
    {
        HelixInputs inputs;
        inputs.toolDiameter = inputs.diameter = 6;
        inputs.centreX = 2;
        const QStringList arcs = arcsOf(helixProgram(inputs));
        QVERIFY(!arcs.isEmpty());
        for (const QString &arc : arcs)
            QVERIFY2(arc.startsWith("G3 X2.0000 Y0.0000 I0.0000 J0.0000 Z"), qPrintable(arc));
    }

    void inputRules_data()
    {
        QTest::addColumn<HelixInputs>("inputs");
        QTest::addColumn<QStringList>("problems");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        HelixInputs in;
        QTest::newRow("defaults") << in << QStringList();
        in.toolDiameter = 0.05;
        QTest::newRow("thin tool") << in << QStringList{"ToolD"};
        in = {};
        in.toolDiameter = 10.01;
        QTest::newRow("tool wider than the hole") << in << QStringList{"Diameter"};
        in = {};
        in.depth = 0.005;
        QTest::newRow("shallow") << in << QStringList{"Depth"};
        in = {};
        in.depth = 4;
        in.startDepth = 5;
        QTest::newRow("starts below the depth") << in << QStringList{"StartLevel"};
        in = {};
        in.infeed = 0;
        QTest::newRow("no infeed") << in << QStringList{"Infeed", "Turns"};
        in.infeed = 0.009;
        QTest::newRow("almost no infeed") << in << QStringList{"Infeed"};
        in = {};
        in.feedRate = 0;
        QTest::newRow("no feed") << in << QStringList{"FeedRate"};
        in = {};
        in.toolDiameter = 0.05;
        in.depth = 0;
        QTest::newRow("two at once, in order") << in << QStringList{"ToolD", "Depth"};
        in = {};
        in.toolDiameter = in.depth = in.startDepth = in.infeed = nan;
        QTest::newRow("no numbers")
            << in << QStringList{"ToolD", "Diameter", "Depth", "StartLevel", "Infeed", "Turns"};
        in = {};
        in.depth = inf;
        QTest::newRow("endless depth") << in << QStringList{"Depth", "Turns"};
        // Found by fuzzing: each of these generated arcs without end, or "nan" coordinates.
        in = {};
        in.depth = 1.3e77;
        QTest::newRow("depth beyond any hole") << in << QStringList{"Turns"};
        in = {};
        in.startDepth = -inf;
        QTest::newRow("start depth endlessly high") << in << QStringList{"Turns"};
        in = {};
        in.centreY = nan;
        QTest::newRow("centre no number") << in << QStringList{"Center"};
        in = {};
        in.toolDiameter = in.diameter = inf;
        QTest::newRow("tool and hole endless") << in << QStringList{"Diameter"};
        in = {};
        in.diameter = 3.1e231;
        in.centreX = -2e6;
        QTest::newRow("beyond any machine") << in << QStringList{"Diameter", "Center"};
    }

    void inputRules()
    {
        QFETCH(HelixInputs, inputs);
        QFETCH(QStringList, problems);
        QCOMPARE(helixInputProblems(inputs), problems);
        QCOMPARE(helixProgram(inputs).isEmpty(), !problems.isEmpty());
    }

    // Generating again replaces the text; the field defaults give the default program.
    void formInputsReachTheProgram()
    {
        QCOMPARE(generated(), helixProgram(HelixInputs()).join('\n'));
        widget<QRadioButton>("radioButtonCW")->click();
        widget<QDoubleSpinBox>("PosXdoubleSpinBox")->setValue(10);
        widget<QDoubleSpinBox>("PosYdoubleSpinBox")->setValue(-5);
        widget<QDoubleSpinBox>("DiameterdoubleSpinBox")->setValue(8);
        widget<QDoubleSpinBox>("ToolDdoubleSpinBox")->setValue(4);
        widget<QDoubleSpinBox>("DepthdoubleSpinBox")->setValue(3);
        widget<QDoubleSpinBox>("StartLeveldoubleSpinBox")->setValue(2);
        widget<QDoubleSpinBox>("IncrementLeveldoubleSpinBox")->setValue(1);
        widget<QCheckBox>("checkBoxSafetyHeightStart")->click();
        QCOMPARE(generated(), helixProgram(clockwiseExample()).join('\n'));
        QApplication::clipboard()->setText("old");
        widget<QPushButton>("pushButtonCopy")->click();
        QCOMPARE(QApplication::clipboard()->text(), helixProgram(clockwiseExample()).join('\n'));
    }

    void refusedInputsLeaveTheEditorEmpty_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("word");
        QTest::newRow("tool") << "ToolDdoubleSpinBox" << 0.05 << "ToolD";
        QTest::newRow("diameter") << "DiameterdoubleSpinBox" << 2.0 << "Diameter";
        QTest::newRow("depth") << "DepthdoubleSpinBox" << 0.0 << "Depth";
        QTest::newRow("start") << "StartLeveldoubleSpinBox" << 12.0 << "StartLevel";
        QTest::newRow("infeed") << "IncrementLeveldoubleSpinBox" << 0.0 << "Infeed";
    }

    void refusedInputsLeaveTheEditorEmpty()
    {
        QFETCH(QString, field);
        QFETCH(double, value);
        QFETCH(QString, word);
        generated();
        widget<QDoubleSpinBox>(qPrintable(field))->setValue(value);
        QTest::ignoreMessage(QtDebugMsg, qPrintable(word));
        QCOMPARE(generated(), QString());
    }

    void fieldsAtTheirLimits()
    {
        widget<QDoubleSpinBox>("DepthdoubleSpinBox")->setValue(1e9);
        widget<QDoubleSpinBox>("IncrementLeveldoubleSpinBox")->setValue(0.1);
        widget<QDoubleSpinBox>("DiameterdoubleSpinBox")->setValue(1e9);
        widget<QDoubleSpinBox>("PosXdoubleSpinBox")->setValue(-1e9);
        widget<QSpinBox>("FeedRatespinBox")->setValue(1e9);
        const QStringList lines = generated().split('\n');
        // 100.49 mm down in steps of 0.1/3 mm, then the flat turn
        QCOMPARE(lines.size(), 3 + 3015 + 3 + 1);
        QCOMPARE(lines.first(),
                 QStringLiteral("(Helix: X=-1000.0000 Y=0.0000 D=1000.0000 T=99.9900)"));
        QVERIFY(lines.at(3).endsWith(" F3000"));
        QVERIFY(lines.at(lines.size() - 2).endsWith(" Z-99.9900"));
    }
};

ORLO_TEST_MAIN(TestHelicalHoleCutter)
#include "tst_HelicalHoleCutter.moc"
