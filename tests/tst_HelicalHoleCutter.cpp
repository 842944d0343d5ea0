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

#include <cmath>
#include <limits>

using namespace WindowProbe;

Q_DECLARE_METATYPE(HelixInputs)

namespace {

template <typename Change> HelixInputs with(Change change)
{
    HelixInputs inputs;
    change(inputs);
    return inputs;
}

HelixInputs clockwiseExample()
{
    return with([](HelixInputs &in) {
        in.clockwise = in.startAtSafetyHeight = true;
        in.centreX = 10, in.centreY = -5, in.diameter = 8, in.toolDiameter = 4;
        in.depth = 3, in.startDepth = 2, in.infeed = 1;
    });
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
        using In = HelixInputs;
        QTest::newRow("defaults") << In() << QStringList();
        QTest::newRow("thin tool")
            << with([](In &in) { in.toolDiameter = 0.05; }) << QStringList{"ToolD"};
        QTest::newRow("tool wider than the hole")
            << with([](In &in) { in.toolDiameter = 10.01; }) << QStringList{"Diameter"};
        QTest::newRow("shallow") << with([](In &in) { in.depth = 0.005; }) << QStringList{"Depth"};
        QTest::newRow("starts below the depth")
            << with([](In &in) { in.depth = 4, in.startDepth = 5; }) << QStringList{"StartLevel"};
        QTest::newRow("no infeed")
            << with([](In &in) { in.infeed = 0; }) << QStringList{"Infeed", "Turns"};
        QTest::newRow("almost no infeed")
            << with([](In &in) { in.infeed = 0.009; }) << QStringList{"Infeed"};
        QTest::newRow("no feed") << with([](In &in) { in.feedRate = 0; })
                                 << QStringList{"FeedRate"};
        QTest::newRow("two at once, in order")
            << with([](In &in) { in.toolDiameter = 0.05, in.depth = 0; })
            << QStringList{"ToolD", "Depth"};
        QTest::newRow("no numbers")
            << with([nan](In &in) { in.toolDiameter = in.depth = in.startDepth = in.infeed = nan; })
            << QStringList{"ToolD", "Diameter", "Depth", "StartLevel", "Infeed", "Turns"};
        QTest::newRow("endless depth")
            << with([inf](In &in) { in.depth = inf; }) << QStringList{"Depth", "Turns"};
        // Found by fuzzing: each of these generated arcs without end, or "nan" coordinates.
        QTest::newRow("depth beyond any hole")
            << with([](In &in) { in.depth = 1.3e77; }) << QStringList{"Turns"};
        QTest::newRow("start depth endlessly high")
            << with([inf](In &in) { in.startDepth = -inf; }) << QStringList{"Turns"};
        QTest::newRow("centre no number")
            << with([nan](In &in) { in.centreY = nan; }) << QStringList{"Center"};
        QTest::newRow("tool and hole endless")
            << with([inf](In &in) { in.toolDiameter = in.diameter = inf; })
            << QStringList{"Diameter"};
        QTest::newRow("beyond any machine")
            << with([](In &in) { in.diameter = 3.1e231, in.centreX = -2e6; })
            << QStringList{"Diameter", "Center"};
    }

    void inputRules()
    {
        QFETCH(HelixInputs, inputs);
        QFETCH(QStringList, problems);
        QCOMPARE(helixInputProblems(inputs), problems);
        QCOMPARE(helixProgram(inputs).isEmpty(), !problems.isEmpty());
    }

    // The field defaults give the default program; generating again replaces the text.
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
        widget<QDoubleSpinBox>("ToolDdoubleSpinBox")->setValue(0.05); // refused: no program
        QCOMPARE(generated(), QString());
    }
};

ORLO_TEST_MAIN(TestHelicalHoleCutter)
#include "tst_HelicalHoleCutter.moc"
