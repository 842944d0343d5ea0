#include "Station.h"
#include "TestMain.h"
#include "VirtualJoystick.h"

#include "dialogs/GamepadMapping.h"
#include "dialogs/GrblParameter.h"
#include "dialogs/GrblSettingsDialog.h"
#include "dialogs/HeightMapDialog.h"
#include "dialogs/HelicalHoleCutter.h"
#include "dialogs/HelixProgram.h"
#include "dialogs/MachineAccess.h"
#include "dialogs/PositionCommands.h"
#include "dialogs/PositionsDialog.h"
#include "dialogs/ProbingDialog.h"
#include "dialogs/StartFromLineDialog.h"
#include "dialogs/WindowsGamepad.h"
#include "machine/ControllerCodes.h"
#include "machine/ProbeCycle.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>

#include <array>
#include <limits>
#include <utility>

using namespace GamepadMapping;
using namespace WindowProbe;

Q_DECLARE_METATYPE(GamepadButton)
Q_DECLARE_METATYPE(HelixInputs)

namespace {

// Stands where the station stands for a tool dialog, as its parent: takes every command and probe
// request, writing them down, and shows the work position it is given.
class RecordingMachine : public QWidget, public MachineAccess
{
public:
    bool SendCommand(const QString &command) override
    {
        sent << command;
        return true;
    }
    double workPosition(int axis) const override { return uint(axis) < 3 ? work[axis] : 0.0; }
    int coordinateSystem() const override { return system; }
    QString StartProbe(const ProbeRequest &request) override
    {
        probes << QString("%1 %2 ").arg(request.axis).arg(request.distance) +
                      (request.setHeight ? QString::number(*request.setHeight) : "-");
        return refusal;
    }
    QString programText() const override { return program; }
    QString StartProgramAt(const StartFromLine &start) override
    {
        starts << QString::number(start.line) + ": " + start.wayIn.join('|');
        return refusal;
    }
    std::optional<QRectF> programExtent() const override { return extent; }
    QString StartGridProbe(const GridProbeRequest &) override { return refusal; }
    void StopGridProbe() override {}
    void setHeightMap(const HeightMap &kept) override { map = kept; }
    HeightMap heightMap() const override { return map; }
    void showProbeGrid(const QVector<QPointF> &points) override { grid = points; }

    QStringList sent;
    QString program;
    QStringList starts; // "line: way in"
    QStringList probes; // "axis distance height", "-" for no height
    QString refusal;    // what StartProbe answers
    std::array<double, 3> work{};
    int system = 54;
    std::optional<QRectF> extent; // of the program's cutting moves
    HeightMap map;
    QVector<QPointF> grid; // shown over the program
};

const QString touch = "[PRB:0.000,0.000,-5.000:1]", miss = "[PRB:0.000,0.000,-20.000:0]";

// The store's group holds these "key=value" pairs and nothing else.
void store(const QString &group, const QString &pairs, QChar separator = ' ')
{
    QSettings settings("Orlo", "Orlo-CNC");
    settings.remove(group);
    for (const QString &pair : pairs.split(separator, Qt::SkipEmptyParts))
        settings.setValue(group + '/' + pair.section('=', 0, 0), pair.section('=', 1));
}

QString rowText(const QTableWidget *table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << table->item(row, column)->text();
    return texts.join('|');
}

// Rows of "input -> expected", named after the input.
void addRows(const QStringList &rows)
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    for (const QString &row : rows) {
        const QString input = row.section(" -> ", 0, 0);
        QTest::newRow(("'" + input.left(40).toUtf8().toPercentEncoding(" $=()|") + "'").constData())
            << input << row.section(" -> ", 1);
    }
}

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

constexpr int U = AssignmentUndefined;
const Assignments none = {U, U, U, U, U, U, U, U};

// The machine inputs that are on, in input order.
QList<int> on(QPoint stick, uint buttons, const Assignments &assignments)
{
    const auto inputs = inputsFrom({quint16(stick.x()), quint16(stick.y()), buttons}, assignments);
    QList<int> pressed;
    for (int input = 0; input < gamepadButtonCount; ++input)
        if (inputs[size_t(input)])
            pressed << input;
    return pressed;
}

} // namespace

// The tool dialogs over a machine that writes down what it is asked, and against grblsim; the
// gamepad over joysticks that SDL itself makes up, so that every reading goes through SDL.
class TestToolDialogs : public QObject
{
    Q_OBJECT

private:
    RecordingMachine *machine = nullptr;
    GrblSettingsDialog *settings = nullptr;
    ProbingDialog *probing = nullptr;
    PositionsDialog *positions = nullptr;
    HelicalHoleCutter *cutter = nullptr;

    static constexpr int settle = 200; // four polls

    QString caption(QObject *pad, const char *id) { return child<QPushButton>(pad, id)->text(); }

    static QList<int> buttons(const QSignalSpy &spy)
    {
        QList<int> list;
        for (const auto &arguments : spy)
            list << arguments.at(0).value<GamepadButton>();
        return list;
    }

    QTableWidget *parameters() { return child<QTableWidget>(settings, "tableWidgetParameter"); }
    QTableWidgetItem *valueCell(int row) { return parameters()->item(row, 1); }
    QTableWidget *saved() { return child<QTableWidget>(positions, "tableWidget"); }
    void press(QWidget *dialog, const char *button) { child<QPushButton>(dialog, button)->click(); }
    // Presses the button; what the machine was sent since the last time asked.
    QStringList sentBy(QWidget *dialog, const char *button)
    {
        press(dialog, button);
        return std::exchange(machine->sent, {});
    }

    // Feeds the lines and waits for the one rebuild that follows them.
    void report(const QStringList &lines)
    {
        for (const QString &line : lines)
            settings->ParseParameterLine(line);
        QTest::qWait(GrblSettingsDialog::refreshDelayMs + 100);
    }

    void saveAt(double x, double y, double z)
    {
        machine->work = {x, y, z};
        press(positions, "pushButtonSave");
    }

    QString generated()
    {
        press(cutter, "GenerateButton");
        return child<QPlainTextEdit>(cutter, "GCodeTextEdit")->toPlainText();
    }

    // "grid:x0 y0 x1 y1 columns rows" typed in, "extent:x0 y0 x1 y1 columns rows" taken from the
    // program (with the margin of 1), "map:" a file's text loaded (and saved again), or
    // "stored:field=value ..." in the settings store before the dialog opens.
    QString heightMapDialogSays(const QString &input)
    {
        const QString kind = input.section(':', 0, 0);
        const QString given = input.section(':', 1);
        store("HeightMap", kind == "stored" ? given : "");
        HeightMapDialog dialog(machine);
        dialog.show();
        if (kind == "stored") {
            const GridProbeRequest r = dialog.request();
            QString numbers;
            for (double n : {r.grid.x0, r.grid.y0, r.grid.x1, r.grid.y1, double(r.grid.columns),
                             double(r.grid.rows), r.feed, r.travelZ, r.depthZ})
                numbers += QString::number(n) + ' ';
            return numbers + (r.slowTouch ? "slow" : "once");
        }
        const auto text = [&](const char *name) { return child<QLabel>(&dialog, name)->text(); };
        if (kind == "map") {
            QTemporaryDir folder;
            QFile file(folder.filePath("map.txt"));
            if (!file.open(QIODevice::WriteOnly) || file.write(given.toUtf8()) < 0)
                return "not written";
            file.close();
            dialog.loadFile(file.fileName());
            const QString loaded = text("labelMapProgress");
            if (machine->map.isEmpty())
                return loaded;
            dialog.saveFile(file.fileName()); // over the file it came from
            file.open(QIODevice::ReadOnly);
            const QStringList lines = QString(file.readAll()).split('\n', Qt::SkipEmptyParts);
            return QStringList{loaded, text("labelMapRange"),
                               lines.filter(QRegularExpression("^(?!# written )")).join('|')}
                .join("; ");
        }
        const QStringList numbers = given.split(' ');
        const char *fields[] = {"doubleSpinBoxMapX0", "doubleSpinBoxMapY0", "doubleSpinBoxMapX1",
                                "doubleSpinBoxMapY1", "spinBoxMapColumns",  "spinBoxMapRows"};
        for (int n = kind == "extent" ? 4 : 0; n < numbers.size(); ++n)
            child<QWidget>(&dialog, fields[n])->setProperty("value", numbers[n].toDouble());
        if (kind == "extent") {
            if (numbers.size() == 6)
                machine->extent = QRectF(QPointF(numbers[0].toDouble(), numbers[1].toDouble()),
                                         QPointF(numbers[2].toDouble(), numbers[3].toDouble()));
            press(&dialog, "pushButtonMapFromProgram");
            if (!text("labelMapProgress").isEmpty())
                return text("labelMapProgress");
        }
        QStringList shown;
        for (const QPointF at : qAsConst(machine->grid))
            shown << QString("%1,%2").arg(at.x()).arg(at.y());
        return QStringList{text("labelMapSpacing"), shown.join(' ')}.join(": ");
    }

    QStringList setAndMove(int row)
    {
        saved()->setCurrentCell(row, 0);
        press(positions, "pushButtonSet");
        return sentBy(positions, "pushButtonMove");
    }

private slots:
    void initTestCase() { qRegisterMetaType<GamepadButton>(); }

    void init()
    {
        store("GamepadSettings", "");
        machine = new RecordingMachine;
        settings = new GrblSettingsDialog(machine);
        probing = new ProbingDialog(machine);
        positions = new PositionsDialog(machine);
        cutter = new HelicalHoleCutter(machine);
    }

    void cleanup() { delete machine; }

    // What an operator's input becomes: parameter lines read as "index value description",
    // empty for a line that is no parameter; probe moves from "axis distance feed"; position
    // commands from "word|X|Y|Z", the command or none; what the height map dialog shows.
    void inputsBecomeLines_data()
    {
        addRows({"$11=0.010 (junction) -> 11 0.01 junction", "$1=-25 (x) -> 1 0 x",
                 "$24=1e400 (x) -> 24 1 x", "$3=4 () -> 3 4 ",
                 "$0=10 -> 0 10 Step pulse time, microseconds",
                 "$132=200.000 (z -> 132 200 Z-axis maximum travel, millimeters", "$7=1 -> 7 1 ",
                 "$0 10 (x) -> ", "$255=1 (x) -> 255 1 x", "$300=5 (x) -> ",
                 "$99999999999999999999=5 (x) -> ", "$1=" + QString(400, '9') + " (x) -> ",
                 QString("$2=0 (a%1\x01 \"<b>\"\t;) -> 2 0 a%1\x01 \"<b>\"\t;").arg(QChar(0)),
                 "$5=1 (a) b) -> 5 1 a",
                 // The grid shown follows the fields in the order probed; a map file with a point
                 // missing is refused, naming it; a whole one keeps its coordinate system.
                 "grid:-10 0 10 30 3 2 -> 6 points, 10 × 30 mm apart: -10,0 0,0 10,0 10,30 0,30 "
                 "-10,30",
                 "grid:5 0 5 10 2 2 -> No grid: the area must have a width and a depth: ",
                 "extent:none -> The program has no cutting moves to take an area from.",
                 "map:0,0,1\n10,0,1\n0,10,1 -> Not loaded: map.txt: no point at x 10, y 10",
                 "map:# coordinate system G55\n0,0,-0.1\n10,0,0.2\n0,10,0\n10,10,0 -> Loaded "
                 "map.txt; Map -0.100 … +0.200 mm, 2 × 2 points; # height map: work Z (mm) of the "
                 "stock's surface at work X, Y|# grid 2 x 2 points, x 0 to 10, y 0 to 10|# "
                 "coordinate system G55|0,0,-0.1|10,0,0.2|0,10,0|10,10,0",
                 "stored: -> 0 0 50 50 5 5 50 2 -2 once",
                 "stored:doubleSpinBoxMapFeed=1e9 doubleSpinBoxMapX0=abc doubleSpinBoxMapY1=30.5 "
                 "doubleSpinBoxMapTravel=nan spinBoxMapColumns=2.5 spinBoxMapRows=7 "
                 "checkBoxMapSlowTouch=true -> 0 0 50 30.5 5 7 50 2 -2 slow",
                 "stored:spinBoxMapColumns=1 spinBoxMapRows=1 -> 0 0 50 50 5 5 50 2 -2 once",
                 "extent:1 2 31 12 1 1 -> 4 points, 32 × 12 mm apart: 0,1 32,1 32,13 0,13",
                 "Z -20 20 -> G38.2 Z-20 F20", "Z 0 20 -> G38.2 Z+0 F20",
                 "Z -0 20 -> G38.2 Z+0 F20", "X 12.345678 10 -> G38.2 X+12.3457 F10",
                 "G92|10|-5.5|2 -> G92 X10 Y-5.5 Z2", "G00| 7 |+.5|-0 -> G00 X 7  Y+.5 Z-0",
                 "G00||1|2 -> ", "G00|1|abc|2 -> ", "G00|1|2|1 G91 -> ", "G92|1\nG91|2|3 -> ",
                 "G00|1|2 -> "});
    }

    void inputsBecomeLines()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QString line;
        if (QRegularExpression("^(grid|extent|map|stored):").match(input).hasMatch()) {
            line = heightMapDialogSays(input);
        } else if (input.startsWith('$')) {
            const std::optional<GrblParameter> p = parseParameterLine(input);
            line = p ? QString("%1 %2 ").arg(int(p->index)).arg(p->value) + p->description : "";
        } else if (input.contains('|')) {
            const QStringList words = input.split('|');
            line = positionCommand(words[0], words.mid(1)).value_or(QString());
        } else {
            const QStringList words = input.split(' ');
            line = probeCommand(words[0][0], words[1].toDouble(), words[2].toInt());
        }
        QCOMPARE(line, expected);
    }

    // A burst of lines gives one rebuild, after the delay; later lines update rows in place.
    void parameterTableFollowsTheReports()
    {
        QSignalSpy inserted(parameters()->model(), &QAbstractItemModel::rowsInserted);
        QElapsedTimer sinceLast;
        for (const char *line : {"$2 (x)", "$1=25 (step idle delay", "$0=10", "$110=500.000 (x)",
                                 "$11=0.010 (y)", "$12=-1 (z)"}) {
            settings->ParseParameterLine(line);
            sinceLast.start();
            QTest::qWait(100);
        }
        QTest::qWait(GrblSettingsDialog::refreshDelayMs - 200);
        if (sinceLast.elapsed() < GrblSettingsDialog::refreshDelayMs) // unless the host stalled
            QCOMPARE(parameters()->rowCount(), 0);
        QTRY_COMPARE(parameters()->rowCount(), 5);
        QTest::qWait(100);
        QCOMPARE(inserted.count(), 5); // one rebuild inserts each row once
        report({"$1=255 (step idle delay, msec)"});
        QCOMPARE(parameters()->rowCount(), 5);
        QCOMPARE(rowText(parameters(), 0), "1|255|step idle delay, msec");
        QCOMPARE(rowText(parameters(), 4), "12|0|z");
        QCOMPARE(settings->FindParameter(110), 2);
        QCOMPARE(settings->FindParameter(7), -1);
        QCOMPARE(parameters()->item(0, 0)->flags() | parameters()->item(0, 2)->flags(),
                 Qt::NoItemFlags);
    }

    // Values go as typed, not as read; going back to the stored value keeps the mark; a
    // rebuild clears the marks and the record keeps its value.
    void parameterEditsAreMarkedAndApplied()
    {
        report({"$0=10 (step pulse, usec)", "$1=25 (step idle delay, msec)"});
        QCOMPARE(sentBy(settings, "pushButtonApply"), QStringList());
        valueCell(0)->setText("12.50");
        QCOMPARE(valueCell(0)->background().color(), QColor(255, 114, 10)); // orange
        QCOMPARE(sentBy(settings, "pushButtonApply"), QStringList{"$0=12.50"});
        valueCell(0)->setText("10");
        QCOMPARE(sentBy(settings, "pushButtonApply"), QStringList{"$0=10"});
        valueCell(0)->setText("12");
        valueCell(1)->setText("30");
        report({"$0=12 (step pulse, usec)"});
        QCOMPARE(valueCell(1)->text(), QStringLiteral("25"));
        QCOMPARE(sentBy(settings, "pushButtonApply"), QStringList());
    }

    // What the firmware cannot read goes back to the value read, and nothing is sent; so does a
    // value shown as an exponent, which cannot go back as it stands.
    void unreadableParameterEditsAreReverted()
    {
        report({"$100=10 (x)", "$101=1000000 (y)"});
        for (const QString &typed :
             QStringList{"", "abc", "1e3", "inf", "nan", "12\n$1=0", "5 G91", "0x10",
                         QString("5") + QChar(0), QString(100000, '9')}) {
            valueCell(0)->setText(typed);
            QCOMPARE(valueCell(0)->text(), QStringLiteral("10"));
        }
        valueCell(1)->setText("2000000");
        valueCell(1)->setText("abc");
        QCOMPARE(valueCell(1)->text(), QStringLiteral("1e+06"));
        QCOMPARE(sentBy(settings, "pushButtonApply"), QStringList());
    }

    // Every setting the controller lists is shown, described by 0.9 itself, named here for 1.1.
    void parametersReadAndWrittenOnTheController_data()
    {
        QTest::addColumn<QString>("grbl");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("maxRateX");
        QTest::newRow("0.9") << "0.9" << 31 << "110|500|x max rate, mm/min";
        QTest::newRow("1.1") << "1.1" << 34 << "110|500|X-axis maximum rate, mm/min";
    }

    void parametersReadAndWrittenOnTheController()
    {
        QFETCH(QString, grbl);
        QFETCH(int, rows);
        Station station({"--instant", "--grbl", grbl}, false);
        QVERIFY(station.start());
        auto *editor = station.widget<GrblSettingsDialog>("GrblSettingsDialog");
        auto *table = child<QTableWidget>(editor, "tableWidgetParameter");
        station.widget<QAction>("actionGRBL_Config")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), rows, 5000);
        const int maxRateX = editor->FindParameter(110);
        QTEST(rowText(table, maxRateX), "maxRateX");
        table->item(maxRateX, 1)->setText("750.5");
        press(editor, "pushButtonApply");
        QTRY_COMPARE(station.sim.countLogged("$110=750.5"), 1);
        editor->hide();
        station.widget<QAction>("actionGRBL_Config")->trigger();
        QTRY_COMPARE(station.sim.countLogged("$$"), 2); // asked again, not shown from before
    }

    // How a cycle ends, and what is sent for it then; nothing before it starts or after.
    void probeEndings_data()
    {
        QTest::addColumn<QString>("asked"); // "height", "tool" or "tool REFERENCE", or nothing
        QTest::addColumn<QString>("line");  // a contact only where it is the touch
        QTest::addColumn<QStringList>("lines");
        const auto row = [](const char *name, QString asked, QString line, QStringList lines) {
            QTest::newRow(name) << asked << line << lines;
        };
        row("contact, position set", "height", touch, {"G92 Z1.55", "G90"});
        row("contact only", "", touch, {"G90"});
        row("no contact", "height", miss, {"G90"});
        row("garbage", "height", "[PRB:a,b:1]", {"G90"});
        row("the reference tool", "tool", touch, {"G49", "G90"});
        row("a longer tool", "tool -8.25", touch, {"G43.1 Z3.250", "G90"});
        row("a tool without contact", "tool -8.25", miss, {"G90"});
    }

    void probeEndings()
    {
        QFETCH(QString, asked);
        QFETCH(QString, line);
        QFETCH(QStringList, lines);
        ProbeCycle cycle;
        QVERIFY(!cycle.probeReport(line));
        ProbeRequest request;
        if (asked == "height")
            request.setHeight = 1.55;
        request.toolLength = asked.startsWith("tool");
        if (asked.startsWith("tool "))
            request.referenceTouch = asked.section(' ', 1).toDouble();
        cycle.start(request);
        QVERIFY(!cycle.probeReport("[MSG:something else]"));
        const auto ending = cycle.probeReport(line);
        QVERIFY(ending && ending->contact == (line == touch));
        QCOMPARE(ending->lines, lines);
        QVERIFY(!cycle.isActive() && !cycle.probeReport(line));
        QCOMPARE(ProbeCycle::timeoutMs({'Z', -20, 20, {}}), 125'000);
    }

    // The station sends; the dialog only asks, and only when the machine stands idle.
    void probingDialogAsksTheStation()
    {
        child<QRadioButton>(probing, "radioButtonY")->click();
        child<QDoubleSpinBox>(probing, "distanceSpinBox")->setValue(1e9); // held at the limit
        child<QDoubleSpinBox>(probing, "heightSpinBox")->setValue(2.5);
        press(probing, "pushButtonProbe");
        child<QCheckBox>(probing, "checkBoxAutoSetPos")->click();
        press(probing, "pushButtonProbe");
        press(probing, "pushButtonToolLength"); // down, whatever the distance's sign
        QCOMPARE(machine->probes, (QStringList{"Y 100 2.5", "Y 100 -", "Z -100 -"}));
        machine->refusal = "a program is running";
        press(probing, "pushButtonProbe");
        auto *result = child<QLabel>(probing, "labelProbeResult");
        QCOMPARE(result->text(), QStringLiteral("Probe not started: a program is running"));
        QCOMPARE(machine->sent, QStringList());
        for (const QString state : {"Run", "Idle", "Alarm", "idle"}) {
            probing->SetMachineState(state);
            QCOMPARE(child<QPushButton>(probing, "pushButtonProbe")->isEnabled(), state == "Idle");
        }
    }

    // The way in follows what the operator sets; Start asks the station, keeps the settings for
    // next time, and is not offered where the program cannot start.
    void startFromLineDialogShowsTheWayIn()
    {
        // A clearance below the work and others of no use: the usual ones instead.
        store("StartFromLine", "Clearance=-4 Dwell=long PlungeFeed=1e9");
        const auto [clearance, dwell, plungeFeed] = StartFromLineDialog::storedSettings();
        QCOMPARE(std::tuple(clearance, dwell, plungeFeed), std::tuple(5., 3., 100.));
        machine->program = "G0 Z3\nG0 X1 Y2\nG1 Z-1 F50\nG1 X5 F400\nM30\nG0 X9";
        auto *dialog = new StartFromLineDialog(machine);
        dialog->showAt(4);
        auto *wayIn = child<QPlainTextEdit>(dialog, "plainTextEditWayIn");
        child<QDoubleSpinBox>(dialog, "doubleSpinBoxClearance")->setValue(12.5);
        child<QDoubleSpinBox>(dialog, "doubleSpinBoxDwell")->setValue(0);
        press(dialog, "pushButtonStart");
        QCOMPARE(machine->starts,
                 QStringList{"4: G17 G21 G90 G94 G54|G0 Z12.5|G0 X1 Y2|G1 Z-1 F50|G90 G1 F50"});
        QCOMPARE(StartFromLineDialog::storedSettings().clearance, 12.5);
        QCOMPARE(StartFromLineDialog::storedSettings().dwellSeconds, 0.0);
        machine->refusal = "the machine is not idle";
        dialog->showAt(4);
        press(dialog, "pushButtonStart");
        QCOMPARE(wayIn->toPlainText(), "Not started: the machine is not idle");
        machine->program = "G0 X1\nG92 X0\nG1 X5 F100";
        dialog->showAt(3);
        QVERIFY(wayIn->toPlainText().startsWith("Not possible: where the program stands"));
        QVERIFY(!child<QPushButton>(dialog, "pushButtonStart")->isEnabled());
    }

    // Stored to six digits: "-1e-05" would read as -1 and a stray E word. A row whose cell the
    // operator broke keeps the text to mend; a row without cells, or none chosen, sends nothing.
    // A position is set and gone to in the system it was saved in, switched to first and said;
    // one that names no system goes in the system in use, one naming another nowhere.
    void positionsSavedSetMovedAndDeleted()
    {
        saveAt(10, -5.5, 2);
        const QStringList there{"G92 X10 Y-5.5 Z2", "G90", "G00 X10 Y-5.5 Z2"};
        QCOMPARE(setAndMove(0), there);
        auto *note = child<QLabel>(positions, "labelPositionNote");
        QCOMPARE(note->text(), QString());
        machine->system = 55;
        QCOMPARE(setAndMove(0),
                 (QStringList{"G54", "G92 X10 Y-5.5 Z2", "G54", "G90", "G00 X10 Y-5.5 Z2"}));
        QCOMPARE(note->text(), "Switched to G54, where \"Position 1\" was saved.");
        saved()->item(0, 3)->setText("G53");
        QCOMPARE(setAndMove(0), QStringList());
        saved()->item(0, 3)->setText(" ");
        QCOMPARE(setAndMove(0), there);
        saveAt(123.4567, -0.00001, 1e5);
        saveAt(std::numeric_limits<double>::quiet_NaN(), 0, 0);
        saveAt(1, 2, 3);
        QCOMPARE(rowText(saved(), 1), "123.457|-1e-05|100000|G55|Position 2");
        saved()->item(3, 2)->setText("1 G91");
        saved()->insertRow(4);
        for (int row : {-1, 1, 2, 3, 4})
            QCOMPARE(setAndMove(row), QStringList());
        for (int row : {1, -1}) { // the second time none is chosen
            saved()->setCurrentCell(row, row);
            press(positions, "pushButtonDelete");
        }
        QCOMPARE(saved()->rowCount(), 4);
        QCOMPARE(rowText(saved(), 0), "10|-5.5|2| |Position 1");
        QCOMPARE(saved()->item(1, 4)->text(), QStringLiteral("Position 3"));
    }

    // Against the controller: saved in G54 and moved to from G55, the position is gone to in G54.
    void savedPositionIsReturnedTo()
    {
        Station station({"--instant"});
        QVERIFY(station.start() && station.settles("G0 X4 Y-3 Z-1.25"));
        station.widget<QAction>("actionPositions")->trigger();
        auto *dialog = station.widget<PositionsDialog>("PositionsDialog");
        press(dialog, "pushButtonSave");
        auto *table = child<QTableWidget>(dialog, "tableWidget");
        QCOMPARE(rowText(table, 0), "4|-3|-1.25|G54|Position 1");
        QVERIFY(station.settles("G10 L2 P2 X100") && station.settles("G55 G0 X0"));
        QTRY_COMPARE(station.widget<QComboBox>("comboBoxCoordinateSystem")->currentText(), "G55");
        table->setCurrentCell(0, 0);
        press(dialog, "pushButtonMove");
        QVERIFY(station.settles("G4 P0"));
        const QStringList received = station.received();
        QCOMPARE(received.mid(received.indexOf("G54")),
                 (QStringList{"G54", "G90", "G00 X4 Y-3 Z-1.25", "G4 P0"}));
    }

    // The arcs stand together between start and end, the feed on the first; four arcs make the
    // last turn at full depth, then the tool goes up to the safety height.
    void programs_data()
    {
        QTest::addColumn<HelixInputs>("inputs");
        QTest::addColumn<QStringList>("head");
        QTest::addColumn<int>("arcCount");
        QTest::addColumn<QStringList>("depths"); // of the last arc going down, and at the end
        QTest::newRow("defaults")
            << HelixInputs()
            << QStringList{"(Helix: X=0.0000 Y=0.0000 D=10.0000 T=10.0000)",
                           "G0 X3.5000 Y0.0000",
                           "G0 Z0.5000",
                           "G3 X-1.7500 Y3.0311 I-3.5000 J0.0000 Z0.0000 F720",
                           "G3 X-1.7500 Y-3.0311 I1.7500 J-3.0311 Z-0.5000",
                           "G3 X3.5000 Y0.0000 I1.7500 J3.0311 Z-1.0000"}
            << 24 << QStringList{"Z-9.5000", "Z-10.0000"};
        QTest::newRow("clockwise, from the safety height")
            << clockwiseExample()
            << QStringList{"(Helix: X=10.0000 Y=-5.0000 D=8.0000 T=3.0000)", "G0 Z20.0000",
                           "G0 X12.0000 Y-5.0000", "G0 Z-1.5000",
                           "G2 X9.0000 Y-6.7321 I-2.0000 J0.0000 Z-1.8333 F720"}
            << 8 << QStringList{"Z-2.8333", "Z-3.0000"};
    }

    void programs()
    {
        QFETCH(HelixInputs, inputs);
        QFETCH(QStringList, head);
        QFETCH(int, arcCount);
        QFETCH(QStringList, depths);
        const QStringList program = helixProgram(inputs);
        QCOMPARE(program.mid(0, head.size()), head);
        const QStringList arcs = arcsOf(program);
        QCOMPARE(arcs.size(), arcCount);
        QCOMPARE(program.mid(program.indexOf(arcs.first())), arcs + QStringList{"G0 Z20.0000"});
        for (int i = arcCount - 5; i < arcCount; ++i) // depths[1] from the fourth last on
            QVERIFY2(arcs.at(i).endsWith(depths[i > arcCount - 5]), qPrintable(arcs.at(i)));
        QCOMPARE(arcs.filter(" F").size(), 1);
    }

    void toolAsWideAsTheHolePlunges()
    {
        const QStringList arcs = arcsOf(helixProgram(
            with([](HelixInputs &in) { in.toolDiameter = in.diameter = 6, in.centreX = 2; })));
        QVERIFY(!arcs.isEmpty());
        for (const QString &arc : arcs)
            QVERIFY2(arc.startsWith("G3 X2.0000 Y0.0000 I0.0000 J0.0000 Z"), qPrintable(arc));
    }

    // The problems named, space-separated, for inputs changed from the defaults.
    void inputRules_data()
    {
        QTest::addColumn<HelixInputs>("inputs");
        QTest::addColumn<QStringList>("problems");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        const auto row = [](const char *name, const char *problems, auto change) {
            QTest::newRow(name) << with(change) << QString(problems).split(' ', Qt::SkipEmptyParts);
        };
        using In = HelixInputs;
        row("defaults", "", [](In &) {});
        row("thin tool", "ToolD", [](In &i) { i.toolDiameter = 0.05; });
        row("tool wider than the hole", "Diameter", [](In &i) { i.toolDiameter = 10.01; });
        row("shallow", "Depth", [](In &i) { i.depth = 0.005; });
        row("starts below the depth", "StartLevel", [](In &i) { i.depth = 4, i.startDepth = 5; });
        row("no infeed", "Infeed Turns", [](In &i) { i.infeed = 0; });
        row("almost no infeed", "Infeed", [](In &i) { i.infeed = 0.009; });
        row("no feed", "FeedRate", [](In &i) { i.feedRate = 0; });
        row("no numbers", "ToolD Diameter Depth StartLevel Infeed Turns",
            [nan](In &i) { i.toolDiameter = i.depth = i.startDepth = i.infeed = nan; });
        row("endless depth", "Depth Turns", [inf](In &i) { i.depth = inf; });
        // Found by fuzzing: each of these generated arcs without end, or "nan" coordinates.
        row("ten thousand turns", "", [](In &i) { i.depth = 99, i.infeed = 0.01; });
        row("more turns", "Turns", [](In &i) { i.depth = 100, i.infeed = 0.01; });
        row("start depth endlessly high", "Turns", [inf](In &i) { i.startDepth = -inf; });
        row("centre no number", "Center", [nan](In &i) { i.centreY = nan; });
        row("tool and hole endless", "Diameter",
            [inf](In &i) { i.toolDiameter = i.diameter = inf; });
        row("beyond any machine", "Diameter Center",
            [](In &i) { i.diameter = 3.1e231, i.centreX = -2e6; });
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
        child<QRadioButton>(cutter, "radioButtonCW")->click();
        const std::pair<const char *, double> fields[] = {
            {"PosX", 10}, {"PosY", -5},      {"Diameter", 8},      {"ToolD", 4},
            {"Depth", 3}, {"StartLevel", 2}, {"IncrementLevel", 1}};
        for (const auto &[field, value] : fields)
            child<QDoubleSpinBox>(cutter, field + QByteArray("doubleSpinBox"))->setValue(value);
        child<QCheckBox>(cutter, "checkBoxSafetyHeightStart")->click();
        const QString example = helixProgram(clockwiseExample()).join('\n');
        QCOMPARE(generated(), example);
        QApplication::clipboard()->setText("old");
        press(cutter, "pushButtonCopy");
        QCOMPARE(QApplication::clipboard()->text(), example);
        child<QDoubleSpinBox>(cutter, "ToolDdoubleSpinBox")->setValue(0.05); // refused: no program
        QCOMPARE(generated(), QString());
    }

    // The dead band is 31511 to 33511 on both axes; the stick pushed up (low Y) is Y plus.
    void inputs()
    {
        const Assignments some = {U, U, U, 0, U, U, 3, 31}; // Slow, Start, Spindle
        const QPoint middle(32767, 32767);
        QCOMPARE(on({33512, 32767}, 0, none), QList<int>{XPlus});
        QCOMPARE(on({33511, 32767}, 0, none), QList<int>{});
        QCOMPARE(on({31510, 32767}, 0, none), QList<int>{XMinus});
        QCOMPARE(on({31511, 32767}, 0, none), QList<int>{});
        QCOMPARE(on({32767, 31510}, 0, none), QList<int>{YPlus});
        QCOMPARE(on({32767, 33512}, 0, none), QList<int>{YMinus});
        QCOMPARE(on({0, 65535}, 0, none), (QList<int>{XMinus, YMinus}));
        QCOMPARE(on(middle, 1u << 3, some), QList<int>{Start});
        QCOMPARE(on(middle, ~0u, some), (QList<int>{Slow, Start, Spindle}));
        QCOMPARE(on(middle, ~0u, {99, -7, 32, -1, -2, 1000, -32, 64}), QList<int>{});
    }

    // Another click cancels a pending learn; once learnt, nothing waits any more.
    void learningAssignments()
    {
        Assignments assignments = none;
        startLearning(assignments, 2);
        startLearning(assignments, 3);
        startLearning(assignments, 3);
        QCOMPARE(label(assignments[3]), QStringLiteral("Press Button to Define"));
        QVERIFY(!learn(assignments, 0));
        QVERIFY(learn(assignments, (1u << 5) | (1u << 2)));
        QVERIFY(!learn(assignments, 1u << 4));
        QCOMPARE(assignments[2], AssignmentUndefined);
        QCOMPARE(assignments[3], 2);
    }

    // A held direction must not outlive the reading that holds it, nor the joystick. It is
    // pressed once per change: not inside the dead band, not again while held, not while the
    // dialog is open; a joystick plugged in later is read.
    void heldInputsAreReleased()
    {
        VirtualJoystick stick;
        stick.centre();
        WindowsGamepad pad;
        QSignalSpy pressed(&pad, &WindowsGamepad::ButtonPressed);
        QSignalSpy released(&pad, &WindowsGamepad::ButtonReleased);
        for (const int x : {33511, 33512, 33600}) {
            QTest::qWait(settle);
            stick.setX(x);
        }
        QTRY_VERIFY(pad.heldButtons()[XPlus]);
        QThread::msleep(WindowsGamepad::deadManMs + 50); // the poll cannot run
        QVERIFY(!pad.heldButtons()[XPlus]);
        QTRY_VERIFY(pad.heldButtons()[XPlus]); // read again
        pad.show();
        QCOMPARE(buttons(released), QList<int>{XPlus});
        QTest::qWait(settle);
        QCOMPARE(buttons(pressed), QList<int>{XPlus});
        pad.hide();
        QTRY_COMPARE(buttons(pressed), (QList<int>{XPlus, XPlus}));
        stick.unplug();
        QTRY_COMPARE(buttons(released), (QList<int>{XPlus, XPlus}));
        QVERIFY(!pad.heldButtons()[XPlus]);
        VirtualJoystick other;
        other.setY(0);
        QTRY_COMPARE(buttons(pressed), (QList<int>{XPlus, XPlus, YPlus}));
    }

    // A learnt button is taken from whatever had it; one waiting at saving stays undefined.
    void learnedAndSavedAssignmentsComeBack()
    {
        store("GamepadSettings", "BtnZMinus=4");
        VirtualJoystick stick;
        stick.centre();
        {
            WindowsGamepad pad;
            pad.show();
            pad.findChild<QSpinBox *>("spinBoxSlow")->setValue(70);
            press(&pad, "pushButtonZPlus");
            QTest::qWait(settle);
            stick.setButton(4, true);
            QTRY_COMPARE(caption(&pad, "pushButtonZPlus"), QStringLiteral("Button 4"));
            QCOMPARE(caption(&pad, "pushButtonZMinus"), QStringLiteral("Undefined"));
            press(&pad, "pushButtonSpindle");
            press(&pad, "pushButtonSave");
        }
        WindowsGamepad again;
        QCOMPARE(std::pair(again.GetSlowSpeed(), again.GetMediumSpeed()), std::pair(70, 300));
        again.show();
        QCOMPARE(caption(&again, "pushButtonZPlus"), QStringLiteral("Button 4"));
        QCOMPARE(caption(&again, "pushButtonSpindle"), QStringLiteral("Undefined"));
    }

    // Only a usable stored button counts: of all 40 buttons pressed, the one assigned.
    void nonsenseFromTheDeviceOrTheStore()
    {
        store("GamepadSettings",
              "BtnZPlus=99;BtnZMinus=-7;BtnZero=text;BtnSlow=-1;BtnMedium=2.5;BtnStart=31 ;"
              "BtnDefinedStep=3;SlowSpeed=fast;MediumSpeed=99999",
              ';');
        VirtualJoystick stick(40);
        stick.centre();
        WindowsGamepad pad;
        QCOMPARE(std::pair(pad.GetSlowSpeed(), pad.GetMediumSpeed()), std::pair(50, 3000));
        QSignalSpy pressed(&pad, &WindowsGamepad::ButtonPressed);
        QTest::qWait(settle);
        for (int button = 0; button < 40; ++button)
            stick.setButton(button, button != 31);
        QTest::qWait(settle);
        stick.setX(0);
        stick.setY(65535);
        QTRY_COMPARE(buttons(pressed), (QList<int>{DefinedStep, XMinus, YMinus}));
    }
};

ORLO_TEST_MAIN(TestToolDialogs)
#include "tst_ToolDialogs.moc"
