#include "ProgramGenerator.h"
#include "Station.h"
#include "TestMain.h"
#include "VirtualJoystick.h"

#include "editor/CodeEditor.h"
#include "preview/OpenGLWidget.h"
#include "preview/PathInterpreter.h"
#include "program/ProgramLine.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLCDNumber>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>

using namespace WindowProbe;

namespace {

using Point = std::array<double, 3>;

// A segment the controller's machine ran, from its motion log, in work coordinates.
struct Ran
{
    QString kind; // G0, G1 (arc segments too), J, $H
    Point from, to;
    bool spindleOn = false;
    QString line; // as logged
    // The stock's top is at work Z 0.
    bool cuts() const { return kind != QLatin1String("G0") && std::min(from[2], to[2]) < 0; }
    bool plunges() const { return from[0] == to[0] && from[1] == to[1] && to[2] < from[2]; }
    // Points along it every 0.1 mm, or closer, both ends among them.
    QVector<Point> samples() const
    {
        const double length = std::hypot(to[0] - from[0], to[1] - from[1], to[2] - from[2]);
        const int steps = std::max(1, int(std::ceil(length / 0.1)));
        QVector<Point> points(steps + 1);
        for (int step = 0; step <= steps; ++step) {
            for (int axis = 0; axis < 3; ++axis)
                points[step][axis] = from[axis] + double(step) / steps * (to[axis] - from[axis]);
        }
        return points;
    }
};

// Lines not in the form "G1 x,y,z x,y,z F.. M3 S.. WCO x,y,z" are left out.
QVector<Ran> ranInWork(const QStringList &motionLog)
{
    QVector<Ran> ran;
    for (const QString &line : motionLog) {
        const QStringList f = line.split(' ');
        if (f.size() != 8 || f[6] != QLatin1String("WCO"))
            continue;
        Ran segment{f[0], {}, {}, f[4] != QLatin1String("M5") && f[5].mid(1).toDouble() > 0, line};
        for (int axis = 0; axis < 3; ++axis) {
            const double offset = f[7].section(',', axis, axis).toDouble();
            segment.from[axis] = f[1].section(',', axis, axis).toDouble() - offset;
            segment.to[axis] = f[2].section(',', axis, axis).toDouble() - offset;
        }
        ran << segment;
    }
    return ran;
}

QVector<Ran> cutsOf(const QVector<Ran> &ran)
{
    QVector<Ran> cuts;
    std::copy_if(ran.begin(), ran.end(), std::back_inserter(cuts),
                 [](auto &r) { return r.cuts(); });
    return cuts;
}

// From p to the segment ab; with fromAbove, to the segment or anywhere straight above it: the
// tool's body has been there, so a point there cuts nothing the segment left standing.
double distanceTo(const Point &p, const Point &a, const Point &b, bool fromAbove)
{
    const int dimensions = fromAbove ? 2 : 3;
    double along = 0, squared = 0;
    for (int axis = 0; axis < dimensions; ++axis) {
        along += (p[axis] - a[axis]) * (b[axis] - a[axis]);
        squared += (b[axis] - a[axis]) * (b[axis] - a[axis]);
    }
    // A plunge seen from above is its lowest point.
    const double t = squared > 1e-12 ? std::clamp(along / squared, 0.0, 1.0) : b[2] < a[2] ? 1 : 0;
    double sum = 0;
    for (int axis = 0; axis < 3; ++axis) {
        double d = p[axis] - (a[axis] + t * (b[axis] - a[axis]));
        if (axis == 2 && fromAbove)
            d = std::min(0.0, d);
        sum += d * d;
    }
    return std::sqrt(sum);
}

// The segment of `segments` farthest from `path`, and how far; with plungesFromAbove a plunge may
// come down through what the path cut below it (the way in plunges where the cut stopped).
std::pair<double, QString> farthest(const QVector<Ran> &segments, const QVector<Ran> &path,
                                    bool plungesFromAbove)
{
    std::pair<double, QString> worst{0, QString()};
    for (const Ran &segment : segments) {
        const bool fromAbove = plungesFromAbove && segment.plunges();
        for (const Point &p : segment.samples()) {
            double nearest = INFINITY;
            for (const Ran &other : path)
                nearest = std::min(nearest, distanceTo(p, other.from, other.to, fromAbove));
            if (nearest > worst.first)
                worst = {nearest, segment.line};
        }
    }
    return worst;
}

} // namespace

// The station connected to the virtual controller, or to the real firmware where they must agree.
class TestStreamingEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Station> own;
    Station *station = nullptr;

    void startStation(const QStringList &arguments, bool askStatus = true)
    {
        own = std::make_unique<Station>(arguments, askStatus);
        station = own.get();
        QVERIFY(station->start());
    }

    static QStringList peerArguments(const QString &peer)
    {
        return peer.startsWith("firmware") ? peer.split(' ') : QStringList{"--grbl", peer};
    }
    // The controller's last answer to "$G".
    QString lastModes() const
    {
        const QStringList told =
            station->terminal().split('\n').filter(QRegularExpression("^\\[(GC:)?G"));
        return told.isEmpty() ? QString() : told.last();
    }
    void run(const QString &program, const QString &outcome)
    {
        send(program.split('|'));
        QTRY_VERIFY2_WITH_TIMEOUT(station->jobText().startsWith(outcome),
                                  qPrintable(station->jobText()), 15000);
    }

    QList<double> displays(const QString &kind)
    {
        QList<double> values;
        for (const char *axis : {"X", "Y", "Z"})
            values << station->widget<QLCDNumber>(qPrintable("lcdNumber" + kind + axis))->value();
        return values;
    }
    // The displays after the next status report.
    QList<double> reported(const QString &kind)
    {
        station->click("pushButtonStatusCmd");
        QTest::qWait(20);
        return displays(kind);
    }

    static QStringList asSent(const QStringList &program)
    {
        QStringList lines;
        for (const QString &line : program)
            lines << ProgramLine::cleaned(line);
        lines.removeAll(QString());
        return lines;
    }

    // One column of rows, a name each.
    template <typename T>
    static void rows(const char *column, std::initializer_list<std::pair<const char *, T>> rows)
    {
        QTest::addColumn<T>(column);
        for (const auto &[name, value] : rows)
            QTest::newRow(name) << value;
    }

    // Three passes around a part with rounded and scalloped corners, into stock whose top is at
    // work Z 0; `refusing` puts a line the controller refuses in the second one.
    static QStringList camProgram(bool refusing)
    {
        QString passes;
        for (int depth = 1; depth <= 3; ++depth)
            passes += QString("G1 Z-%1 F300|G1 X10 F600|X20|G3 X30 Y10 I0 J10|%2|G1 Y20|"
                              "G3 X20 Y30 I-10 J0|G1 X10|G2 X0 Y20 I-10 J0|G1 Y0|G0 Z5|")
                          .arg(depth)
                          .arg(depth == 2 && refusing ? "G99" : "(corner)");
        return ("(part: flat end mill D6)|G21 G90 G94 G17 G54|S1000 M3|G0 Z5|G0 X0 Y0|" + passes +
                "G0 X40 Y40|M5|M30")
            .split('|');
    }
    QHash<QString, QVector<Ran>> wholeRuns; // by dialect

    void startWithWorkZero(const QString &grbl)
    {
        startStation({"--time-scale", "25", "--grbl", grbl});
        QVERIFY(station->settles("G10 L2 P1 X-40 Y-40 Z-30")); // kept as in EEPROM
    }

    void send(const QStringList &program, const QString &state = "Idle")
    {
        station->load(program.join('\n'));
        QVERIFY(station->reaches(state));
        station->click("pushButtonSendGCode");
    }

private slots:
    void cleanup() { own.reset(); }

    // 1,500 lines kept within the receive buffer with the planner full; a second Send sends nothing
    // more; a comment holding realtime bytes is not sent.
    void programArrivesWholeAndInOrderOnce_data()
    {
        rows<QString>("grbl", {{"0.9", "0.9"}, {"1.1", "1.1"}});
    }

    void programArrivesWholeAndInOrderOnce()
    {
        QFETCH(QString, grbl);
        // Short moves keep the planner full; the controller's clock stands still while the station
        // is late, so the count measures the streaming, not the host's load.
        startStation({"--time-scale", "150", "--virtual-clock", "--grbl", grbl});
        QStringList program = generatedProgram(1500);
        program[20] += " (check!)";
        program[40] = "(~ resume? ~)";
        send(program);
        station->click("pushButtonSendGCode");
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished in"), 60000);
        QVERIFY2(station->jobText().contains(" (estimated "), qPrintable(station->jobText()));
        QCOMPARE(station->progress(), 100);
        QCOMPARE(station->received(), asSent(program));
        QCOMPARE(station->sim.stat("overflowed_bytes"), 0);
        QCOMPARE(station->sim.stat("errors"), 0);
        QVERIFY2(station->sim.stat("planner_waits") > program.size() / 2,
                 "the planner was not kept full");
        QVERIFY(!station->terminal().contains("<Hold"));
    }

    // A CAM program from its "%" to M30: two tool changes with a jog and a probe in the first,
    // a program pause, and lines after the end that are left out. 1.1 takes no line while it
    // jogs: the probe waits for the jog's end.
    void camProgramFromStartToEnd_data() { programArrivesWholeAndInOrderOnce_data(); }

    void camProgramFromStartToEnd()
    {
        QFETCH(QString, grbl);
        startStation({"--time-scale", "50", "--grbl", grbl});
        const QStringList program =
            QString("%|(T1  D=6 CR=0 - flat end mill)|(T2 D=3 ball)|G90 G94|"
                    "G21|T1 M6|S12000 M3|G0 X5 Y5|Z5|G1 Z0.5 F250|G1 X10|"
                    "T2 M06|S8000 M3|G1 X12 Y6 F300|M0|G1 X14|M5|M30|G0 X99|%")
                .split('|');
        station->load(program.join('\n'));
        QTRY_VERIFY_WITH_TIMEOUT(
            station->jobText().endsWith(", 2 tool change(s) and 1 pause(s) not counted"), 5000);
        QList<int> marked;
        for (const auto &band :
             station->widget<CodeEditor>("plainTextEditGCode")->extraSelections()) {
            if (band.format.background().color() == QColor(255, 190, 120))
                marked << band.cursor.blockNumber() + 1;
        }
        QCOMPARE(marked, (QList<int>{6, 12, 15}));
        send(program);
        QTRY_COMPARE_WITH_TIMEOUT(station->jobText(),
                                  "Tool change at line 6: T1 (D=6 CR=0 - flat end mill). Change "
                                  "the tool, then press Cycle Start.",
                                  5000);
        station->widget<QRadioButton>("radioButton1mm")->click();
        station->click("pushButtonPlusX");
        // A tool change is the one hold that lets the operator jog and probe.
        QTRY_VERIFY(station->widget<QPushButton>("pushButtonOpenProbeDialog")->isEnabled());
        station->click("pushButtonOpenProbeDialog");
        auto *probing = station->widget<QDialog>("ProbingDialog");
        child<QPushButton>(probing, "pushButtonProbe")->click();
        QTRY_VERIFY_WITH_TIMEOUT(station->terminal().contains("Probe: contact at machine Z -5.000"),
                                 5000);
        station->click("pushButtonCycleStartCmd");
        QTRY_VERIFY_WITH_TIMEOUT(
            station->jobText().startsWith("Tool change at line 12: T2 (D=3 ball)"), 10000);
        station->click("pushButtonCycleStartCmd");
        QTRY_COMPARE_WITH_TIMEOUT(station->jobText(), "paused by the program at line 15", 10000);
        QVERIFY(station->reaches("Hold")); // the controller's own hold, told as the program's
        station->click("pushButtonCycleStartCmd");
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished in"), 10000);
        QVERIFY(station->jobText().contains("1 line(s) after the program's end left out"));

        const QStringList expected =
            QString("G90 G94|G21|M5|%1|G91|G38.2 Z-20 F20|G92 Z1.55|G90 G0 F0|G21 G90 G0 F0|"
                    "S12000 M3|G0 X5 Y5|Z5|G1 Z0.5 F250|G1 X10|M5|G21 G90 G1 F250 M3 S12000|"
                    "S8000 M3|G1 X12 Y6 F300|M0|G1 X14|M5|M30")
                .arg(grbl == "0.9" ? "G91|G01 X+1 F1500|G90 G0 F0" : "$J=G91 X+1 F1500")
                .split('|');
        QCOMPARE(station->received().filter(QRegularExpression("^[GMSZ$]")), expected);
        QCOMPARE(station->sim.stat("errors"), 0);
    }

    // Cut short three ways, then resumed from the line offered: in the motion log the two runs cut
    // all the whole run cut and nothing else, never with the spindle off, rapid into the stock or
    // too deep. Pulled, grblsim restarts at the machine origin, where the first run began.
    void resumedJobCutsWhatTheWholeRunCuts_data()
    {
        QTest::addColumn<QString>("grbl");
        QTest::addColumn<QString>("cut");
        for (const char *grbl : {"0.9", "1.1"})
            for (const char *cut : {"held and reset", "cable pulled", "refused and reset"})
                QTest::addRow("%s %s", grbl, cut) << QString(grbl) << QString(cut);
    }

    void resumedJobCutsWhatTheWholeRunCuts()
    {
        QFETCH(QString, grbl);
        QFETCH(QString, cut);
        const QStringList program = camProgram(false);
        if (!wholeRuns.contains(grbl)) {
            startWithWorkZero(grbl);
            send(program);
            QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished in"), 60000);
            wholeRuns[grbl] = ranInWork(station->sim.motionLines());
            QCOMPARE(wholeRuns[grbl].size(), station->sim.motionLines().size());
        }
        const QVector<Ran> whole = wholeRuns.value(grbl);
        const QVector<Ran> wholeCuts = cutsOf(whole);
        QVERIFY(wholeCuts.size() > 100);
        QCOMPARE(whole.first().from, (Point{40, 40, 30})); // machine 0, 0, 0

        startWithWorkZero(grbl);
        send(camProgram(cut.startsWith("refused")));
        const auto cutSoFar = [this] {
            return cutsOf(ranInWork(station->sim.motionLines())).size();
        };
        if (cut == "held and reset") {
            QTRY_VERIFY_WITH_TIMEOUT(cutSoFar() >= wholeCuts.size() * 45 / 100, 30000);
            station->click("pushButtonFeedHoldCmd");
            QVERIFY(station->reaches("Hold"));
            station->click("pushButtonResetGRBLCmd");
            QTRY_VERIFY(station->jobText().startsWith("stopped at line "));
        } else if (cut == "cable pulled") {
            QTRY_VERIFY_WITH_TIMEOUT(cutSoFar() >= wholeCuts.size() * 75 / 100, 30000);
            ::kill(pid_t(station->sim.process().processId()), SIGUSR1);
            QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("interrupted at line "), 10000);
            QTRY_COMPARE_WITH_TIMEOUT(ledColor(station->window.get()), QColor(Qt::green), 10000);
            QTRY_COMPARE(reported("Machine"), (QList<double>{0, 0, 0}));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("error at line "), 30000);
            QVERIFY(station->reaches("Hold"));
            station->click("pushButtonResetGRBLCmd");
            QTRY_VERIFY(station->jobText().startsWith("failed at line "));
            station->load(program.join('\n')); // the operator mends the line
        }
        const QString cutShort = station->jobText();
        QVERIFY(station->reaches("Idle"));
        // Left in inches and G91 by hand: the way in sets every mode, so nothing is asked.
        station->type("G20 G91");
        QTRY_VERIFY(station->received().endsWith("G20 G91"));
        auto *resume = station->widget<QPushButton>("pushButtonResume");
        QTRY_VERIFY(resume->isVisible());
        const int offered = resume->text().section(' ', 3).toInt();
        // The line being cut, not one before it; a refused line may come after it.
        const int named = QRegularExpression("at line (\\d+)").match(cutShort).captured(1).toInt();
        QVERIFY2(cut.startsWith("refused") ? offered <= named : offered == named,
                 qPrintable(QString("%1 offered from %2").arg(cutShort).arg(offered)));
        const int sentBefore = station->received().size();
        resume->click();
        auto *box = station->window->findChild<QMessageBox *>("startFromLineBox");
        QVERIFY2(box, qPrintable(station->terminal().right(300)));
        QVector<PathPoint> leftOut; // grey: the lines before the start, not the start's own
        PathInterpreter::interpretText(program.mid(0, offered - 1).join('\n'), leftOut);
        QCOMPARE(station->widget<OpenGLWidget>("GLWidget")->donePoints(), leftOut.size());
        const QStringList wayIn = box->text().section("\n\n", 1).split('\n');
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished in"), 60000);
        QVERIFY(!resume->isVisible());
        QCOMPARE(station->received().mid(sentBefore), wayIn + asSent(program.mid(offered - 1)));

        const QStringList log = station->sim.motionLines();
        const QVector<Ran> ran = ranInWork(log);
        QCOMPARE(ran.size(), log.size());
        const QVector<Ran> cuts = cutsOf(ran);
        const auto [missed, missedSegment] = farthest(wholeCuts, cuts, false);
        const auto [astray, astraySegment] = farthest(cuts, wholeCuts, true);
        const QString context = QString("%1; resumed from line %2, the way in: %3")
                                    .arg(cutShort, QString::number(offered), wayIn.join(" | "));
        QVERIFY2(missed <= 0.01, qPrintable("not cut: " + missedSegment + "; " + context));
        QVERIFY2(astray <= 0.01, qPrintable("cut astray: " + astraySegment + "; " + context));
        for (const Ran &r : ran + whole) {
            const QString where = r.line + "; " + context;
            QVERIFY2(!r.cuts() || r.spindleOn, qPrintable("spindle off: " + where));
            // Straight up out of a cut ends every pass; down into the stock or across it is not.
            const bool up = r.from[0] == r.to[0] && r.from[1] == r.to[1] && r.to[2] > r.from[2];
            QVERIFY2(r.kind != "G0" || up || std::min(r.from[2], r.to[2]) >= 0,
                     qPrintable("rapid into the stock: " + where));
            QVERIFY2(std::min(r.from[2], r.to[2]) >= -3 - 0.001, // the program's lowest Z
                     qPrintable("below the part: " + where));
        }
    }

    // Held, the editor marks the line the controller took last, the preview the path up to it,
    // the program stays read-only, and the machine takes nothing more in.
    void heldJobShowsWhereItStands()
    {
        startStation({"--time-scale", "20"});
        const QStringList program = generatedProgram(400, 3);
        send(program);
        QTRY_VERIFY_WITH_TIMEOUT(station->sim.stat("lines") > 40, 10000);
        station->click("pushButtonFeedHoldCmd");
        QVERIFY(station->reaches("Hold", 3000));
        // The controller takes lines into its planner until it is full.
        for (qint64 lines = -1; lines != station->sim.stat("lines");) {
            lines = station->sim.stat("lines");
            QTest::qWait(300);
        }
        QVERIFY(station->jobText().startsWith("held at line"));
        QVERIFY(station->widget<CodeEditor>("plainTextEditGCode")->isReadOnly()); // still its job
        const int line = station->jobText().section(' ', 3, 3).chopped(1).toInt();
        QCOMPARE(station->widget<CodeEditor>("plainTextEditGCode")->runningLine(), line);
        QVector<PathPoint> upToLine; // the lines before the one being cut
        PathInterpreter::interpretText(program.mid(0, line - 1).join('\n'), upToLine);
        QCOMPARE(station->widget<OpenGLWidget>("GLWidget")->donePoints(), upToLine.size());
        const qint64 linesAtHold = station->sim.stat("lines");
        QTest::qWait(500);
        QCOMPARE(station->sim.stat("lines"), linesAtHold);
    }

    // On 1.1 the work position holds in every report, with the work offset in only some of them,
    // after G92 and with $10=0 too; a step jog leaves the parser alone; overrides come back.
    void grbl11Session()
    {
        startStation({"--grbl", "1.1", "--time-scale", "50"});
        QCOMPARE(station->widget<QLabel>("labelController")->text(), QStringLiteral("Grbl 1.1h"));
        QVERIFY(station->widget<QDockWidget>("dockWidgetOverrides")->isVisible());
        QTRY_COMPARE(station->sim.countLogged("$I"), 1); // its receive buffer's size
        QVERIFY(station->settles("G10 L20 P1 X7 Y-3"));
        QVERIFY(station->settles("G53 G0 X3 Y8"));
        for (int report = 0; report < 12; ++report) {
            QVERIFY(station->reaches("Idle"));
            QCOMPARE(displays("Machine") + displays("Work"), (QList<double>{3, 8, 0, 10, 5, 0}));
        }
        QVERIFY(station->settles("G92 X0"));
        QTRY_COMPARE(reported("Work"), (QList<double>{0, 5, 0}));
        QVERIFY(station->settles("$10=0")); // work positions are sent, machine ones derived
        QVERIFY(station->settles("G0 Y0"));
        QTRY_COMPARE(reported("Machine"), (QList<double>{3, 3, 0}));
        QCOMPARE(displays("Work"), (QList<double>{0, 0, 0}));

        station->widget<QRadioButton>("radioButton10mm")->click();
        station->click("pushButtonMinusX");
        station->click("pushButtonStateCmd");
        QTRY_COMPARE(station->widget<QLabel>("labelModalState")->text(), "G54 G21 G90");
        const std::pair<const char *, const char *> overrides[] = {
            {"pushButtonFeedPlus10", "Feed 110 % · Rapid 100 % · Spindle 100 %"},
            {"pushButtonFeedMinus1", "Feed 109 % · Rapid 100 % · Spindle 100 %"},
            {"pushButtonRapid25", "Feed 109 % · Rapid 25 % · Spindle 100 %"},
            {"pushButtonSpindleMinus10", "Feed 109 % · Rapid 25 % · Spindle 90 %"}};
        for (const auto &[button, shown] : overrides) {
            station->click(button);
            QTRY_COMPARE((station->click("pushButtonStatusCmd"),
                          station->widget<QLabel>("labelOverrides")->text()),
                         QString(shown));
        }
        station->type("G5 X1");
        QTRY_VERIFY(station->terminal().contains("error:20 Unsupported command"));
    }

    // On the real firmware and grblsim alike: the station's own lines leave the modes as they were;
    // a start waits for a choice on other modes or a lost offset; M0 holds until Cycle Start; a
    // reset names the line being cut; the spindle caption follows the program; alarms in words.
    void whatTheFirmwareDoes_data()
    {
        rows<QString>("peer", {{"grblsim 0.9", "0.9"},
                               {"grblsim 1.1", "1.1"},
                               {"firmware 0.9", "firmware 0.9"},
                               {"firmware 1.1", "firmware 1.1"}});
    }

    void whatTheFirmwareDoes()
    {
        QFETCH(QString, peer);
        startStation(peerArguments(peer));
        const auto modesKept = [this] {
            station->settles("G4 P0");
            station->type("$G");
            return QTest::qWaitFor([this] { return lastModes().contains("G54 G17"); }, 3000) &&
                   lastModes().contains("G0 G54 G17 G21 G90 G94");
        };
        station->widget<QRadioButton>("radioButton1mm")->click();
        station->click("pushButtonPlusX");
        QVERIFY(station->reaches("Idle"));
        QVERIFY2(modesKept(), qPrintable(lastModes()));
        QVERIFY(lastModes().contains(" F0"));
        run("G0 X5|G0 X8", "finished");
        QTRY_COMPARE(reported("Work").at(0), 8.0);

        station->click("pushButtonOpenProbeDialog");
        auto *probing = station->widget<QDialog>("ProbingDialog");
        child<QDoubleSpinBox>(probing, "distanceSpinBox")->setValue(2); // no contact anywhere
        child<QSpinBox>(probing, "speedSpinBox")->setValue(200);
        child<QPushButton>(probing, "pushButtonProbe")->click();
        QTRY_VERIFY_WITH_TIMEOUT(station->terminal().contains("Probe failed"), 10000);
        if (peer.endsWith("1.1")) {
            const QString alarm = "ALARM:5 Probe fail: probe found no contact within the distance";
            QTRY_COMPARE(child<QLabel>(probing, "labelProbeResult")->text(),
                         "Probe failed: " + alarm);
            QVERIFY(station->terminal().contains(alarm));
        }
        probing->close();
        QTRY_VERIFY(station->terminal().contains("\"$X\" (Kill Alarm Lock) unlocks it."));
        QVERIFY(!station->terminal().contains("homes it"));
        station->click("pushButtonKillLockCmd");
        QVERIFY2(modesKept(), qPrintable(lastModes()));

        QVERIFY(station->settles("G92 X0"));
        station->click("pushButtonResetGRBLCmd");
        auto *lost = station->widget<QLabel>("labelWorkOffset");
        QTRY_VERIFY(lost->isVisible() && lost->text().contains("G92 offset on X"));
        QVERIFY(station->reaches("Idle"));
        QVERIFY(station->settles("G20"));
        send({"G0 X1"});
        QMessageBox *box = nullptr;
        QTRY_VERIFY(box = station->window->findChild<QMessageBox *>("startChoiceBox"));
        QVERIFY(box->text().contains("G20 inches instead of G21 millimetres"));
        QVERIFY(box->text().contains("the G92 offset on X set here was cleared by a reset"));
        for (QAbstractButton *button : box->buttons()) {
            if (button->text().startsWith("Set G21 G90 G17 G94 G54"))
                button->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished"), 10000);
        QTRY_COMPARE(reported("Work").at(0), 1.0);
        QVERIFY(!lost->isVisible());
        // Started as it is, the estimate reads inches: two at 500 mm/min take six seconds.
        QVERIFY(station->settles("G20"));
        send({"G0 X2"});
        QTRY_VERIFY(box = station->window->findChild<QMessageBox *>("startChoiceBox"));
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == "Start as it is")
                button->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished"), 10000);
        QVERIFY2(station->jobText().endsWith("(estimated 0:06)"), qPrintable(station->jobText()));
        QVERIFY(station->settles("G21"));
        send({"G91 G0 X1", "G90"});
        QTRY_VERIFY2_WITH_TIMEOUT(station->jobText().endsWith("(estimated 0:00)"),
                                  qPrintable(station->jobText()), 10000);

        run("G1 X2 F300|M0|G1 X3", "paused by the program at line 2");
        station->click("pushButtonCycleStartCmd");
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished"), 10000);

        // Two millimetres a second: the reset comes while line 3 is being cut.
        send(QString("G1 Y2 F120|G1 Y4|G1 Y6|G1 Y8|G1 Y10|G1 Y12|G1 Y14").split('|'));
        QTRY_VERIFY2_WITH_TIMEOUT(reported("Work").at(1) > 4.3,
                                  qPrintable(station->state() + ": " + station->jobText()), 10000);
        station->click("pushButtonResetGRBLCmd");
        QTRY_VERIFY2(station->jobText().startsWith("stopped at line 3"),
                     qPrintable(station->jobText()));
        QVERIFY(station->reaches("Alarm")); // the position may be lost: a reset in motion
        QTRY_VERIFY(station->jobText().contains(": ALARM"));
        station->click("pushButtonResume");
        QTRY_VERIFY(station->terminal().contains("Not started from line 3: the controller is in "
                                                 "alarm"));
        station->click("pushButtonKillLockCmd");

        auto *spindle = station->widget<QPushButton>("pushButtonSpindle");
        run("M3 S1000|G4 P0.1", "finished");
        QTRY_COMPARE(spindle->text(), "Spindle Off");
        run("M5", "finished");
        QTRY_COMPARE(spindle->text(), "Spindle On");
    }

    // A released stick stops the machine at once: the jog is cancelled, nothing of it is written
    // after the cancel, and the position stands within a second (wide enough for a busy host).
    void continuousJogStopsOnRelease()
    {
        VirtualJoystick pad;
        pad.centre();
        startStation({"--grbl", "1.1"});
        QTest::qWait(200); // the gamepad is found
        pad.setY(0);
        QTest::qWait(1000);
        QElapsedTimer sinceRelease;
        pad.centre();
        sinceRelease.start();
        double last = -1;
        qint64 lastChange = 0;
        for (double y; sinceRelease.elapsed() < 1500; last = y) {
            station->click("pushButtonStatusCmd");
            QTest::qWait(10);
            if ((y = displays("Machine").at(1)) != last)
                lastChange = sinceRelease.elapsed();
        }
        QVERIFY(last > 1);
        QVERIFY(lastChange <= 1000);
        const QStringList log = station->sim.loggedLines();
        QCOMPARE(log.mid(log.lastIndexOf("0x85")).filter(QRegularExpression("^\\$J=")),
                 QStringList());
    }

    // 0.9 cannot cancel a jog: held, it gets short slow moves, 0.3 s of them ahead of its report;
    // released, it stops soon and gets its modes back.
    void continuousJogOn09_data()
    {
        rows<QString>("peer", {{"grblsim", "0.9"}, {"firmware", "firmware 0.9"}});
    }

    void continuousJogOn09()
    {
        QFETCH(QString, peer);
        startStation(peerArguments(peer));
        station->widget<QRadioButton>("radioButtonContinious")->click();
        station->widget<QSpinBox>("spinBoxFeedRate")->setValue(1500);
        auto *jog = station->widget<QPushButton>("pushButtonPlusX");
        QTest::mousePress(jog, Qt::LeftButton);
        QTest::qWait(1000);
        // A board on a loaded host runs slow: held until it has gone a millimetre at least.
        QTRY_VERIFY_WITH_TIMEOUT(displays("Machine").at(0) > 1, 20000); // the jog asks as it goes
        const double atRelease = displays("Machine").at(0);
        QTest::mouseRelease(jog, Qt::LeftButton);
        QTest::qWait(1000);
        // The firmware board keeps time on a loaded host only as well as the host lets it.
        QVERIFY(station->reaches("Idle", 30000));
        const double overrun = displays("Machine").at(0) - atRelease;
        // 150 mm/min at most (factory acceleration), a second of it with a late report.
        QVERIFY(overrun <= 150.0 / 60);
        station->type("$G");
        QTRY_VERIFY(lastModes().contains("G0 G54 G17 G21 G90 G94"));
        const QStringList moves = station->received().filter(QRegularExpression("^G01"));
        if (!peer.startsWith("firmware"))
            QCOMPARE(moves.filter("G01 X+0.250 F150").size(), moves.size());
    }

    // Tools of three lengths touched on one switch each cut as deep as the reference tool did.
    void toolLengthKeepsTheDepth()
    {
        startStation({"--grbl", "1.1", "--time-scale", "50", "--tool-lengths", "0,3.5,-1.25"});
        station->click("pushButtonOpenProbeDialog");
        auto *probing = station->widget<QDialog>("ProbingDialog");
        child<QSpinBox>(probing, "speedSpinBox")->setValue(200);
        const auto touch = [&](const QString &told) {
            QTRY_VERIFY(child<QPushButton>(probing, "pushButtonToolLength")->isEnabled());
            child<QPushButton>(probing, "pushButtonToolLength")->click();
            QTRY_VERIFY_WITH_TIMEOUT(
                child<QLabel>(probing, "labelProbeResult")->text().contains(told), 10000);
        };
        // The cut's depth as the tool's tip reached it, in machine Z.
        const auto cutDepths = [this] {
            QList<double> tips;
            for (const QString &line : station->sim.motionLines().filter(" F100 ")) {
                const QStringList f = line.split(' ');
                tips << f[2].section(',', 2).toDouble() - f.last().toDouble();
            }
            return tips;
        };
        // Up out of the cut, the tool changed (or not), and touched on the switch.
        const auto change = [&](const QString &tool, const QString &told) {
            station->type("G0 Z10");
            if (!tool.isEmpty())
                station->type(tool);
            touch(told);
        };
        const QString reference = "the reference tool for the tool length";
        touch(reference);
        station->type("G92 Z0");
        station->type("G1 Z-0.1 F100");
        QTRY_COMPARE(cutDepths().size(), 1);
        change("T1", "tool length offset 3.500 mm");
        station->type("G1 Z-0.1 F100");
        QTRY_COMPARE(cutDepths().size(), 2);
        QCOMPARE(cutDepths().at(1), cutDepths().at(0));
        change("T2", "tool length offset -1.250 mm"); // from the reference tool, not the last one
        station->type("G1 Z-0.1 F100");
        QTRY_COMPARE(cutDepths().size(), 3);
        QCOMPARE(cutDepths().at(2), cutDepths().at(0));
        child<QCheckBox>(probing, "checkBoxReferenceTool")->setChecked(true);
        change("", reference); // the short tool now
        child<QCheckBox>(probing, "checkBoxReferenceTool")->setChecked(false);
        change("T1", "tool length offset 4.750 mm");
        station->type("G38.2 Z30 F100"); // nothing above to touch: an alarm forgets the reference
        QVERIFY(station->reaches("Alarm"));
        station->type("$X");
        change("", reference);
        change("T0", "tool length offset -3.500 mm");
    }

    // Zeroed into G55 (typed), X survives a reset: the G92 offset in force is cleared first and set
    // again on Z, which alone the reset takes, as the station says.
    void zeroIntoTheSystemSurvivesAReset_data()
    {
        rows<QString>("peer", {{"grblsim 0.9", "0.9"}, {"firmware 1.1", "firmware 1.1"}});
    }

    void zeroIntoTheSystemSurvivesAReset()
    {
        QFETCH(QString, peer);
        startStation(peerArguments(peer));
        QWidget *settings = topLevel("SettingsDialog");
        child<QCheckBox>(settings, "zeroInActiveSystemCheckBox")->setChecked(true);
        child<QPushButton>(settings, "applyButton")->click();
        tick(station->window.get());
        QVERIFY(station->reaches("Idle", 10000));
        auto *systems = station->widget<QComboBox>("comboBoxCoordinateSystem");
        station->type("G55");
        QTRY_COMPARE(systems->currentText(), "G55");
        station->type("G10 L2 P2 X0 Y0 Z0");
        station->type("G0 X3 Y4 Z-1");
        station->type("G92 X1 Z0");
        QTRY_VERIFY(station->terminal().contains("[G92:2.000,0.000,-1.000]"));
        QTRY_COMPARE(reported("Work"), (QList<double>{1, 4, 0}));
        station->click("pushButtonZeroX");
        QTRY_COMPARE(reported("Work"), (QList<double>{0, 4, 0}));
        station->click("pushButtonResetGRBLCmd");
        QTRY_COMPARE(systems->currentText(), "G54");
        station->type("G55");
        QTRY_COMPARE(reported("Work"), (QList<double>{0, 4, -1}));
        QVERIFY(
            station->widget<QLabel>("labelWorkOffset")->text().startsWith("The G92 offset on Z "));
    }

    // A stick held during a program: nothing of it reaches the controller, and it says so once.
    void stickDuringAProgramMovesNothing()
    {
        startStation({"--time-scale", "50"}, false);
        VirtualJoystick pad;
        pad.centre();
        QTest::qWait(200); // the gamepad finds the joystick
        send(generatedProgram(200, 2));
        pad.setX(65535);
        QTest::qWait(700);
        QVERIFY(station->jobText().startsWith("running"));
        pad.centre();
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished"), 20000);
        QCOMPARE(station->newLines().count("G91"), 0);
        QCOMPARE(station->terminal().count("Not sent while a program runs: jog X+"), 1);
    }

    // Closing during a program asks once; yes holds, resets once at rest and closes; of the short
    // moves the slowing controller would still take, none is written after the hold.
    void closingStopsTheProgramFirst()
    {
        startStation({});
        QStringList program;
        for (int i = 1; i <= 1000; ++i)
            program << QString("G1 X%1 F3000").arg(i * 0.05);
        send(program);
        QTRY_VERIFY_WITH_TIMEOUT(station->sim.stat("lines") > 40, 10000);
        QVERIFY(!station->window->close());
        QVERIFY(!station->window->close());
        QCOMPARE(station->window->findChildren<QMessageBox *>().size(), 1);
        station->window->findChild<QMessageBox *>()->button(QMessageBox::Yes)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!station->window->isVisible(), 12000);
        QTRY_VERIFY(station->sim.loggedLines().contains("\x18"));
        const QStringList written = station->terminal().split('\n');
        QCOMPARE(written.mid(written.indexOf("!")).filter(QRegularExpression("^G[0-9]")),
                 QStringList());
    }

    // A macro goes as typed lines do, one line once the one before is accepted: one with a line
    // the station cannot send, or during a job, is refused whole with the typed line's notice;
    // Reset, a lost link, an alarm or a refused line stops it with nothing after it sent.
    void macrosRunAsTypedLines()
    {
        startStation({"--time-scale", "50"});
        const QStringList macros[] = {{"Warm up", "G21 G90 (metric)", "S1000 M3", "", "M5"},
                                      {"Dwell", "G4 P100", "G0 X2"},
                                      {"Refused", "G0 Y1", "G5 Y2", "G0 Y3"},
                                      {"Held", "G0 Z1", "G0 Z2 ~"},
                                      {"Probe", "G38.2 Z-1 F100", "G0 X9"}};
        for (const QStringList &macro : macros) {
            station->click("pushButtonAddMacro");
            auto *editor = station->widget<QDialog>("MacroEditor");
            child<QLineEdit>(editor, "lineEditMacroName")->setText(macro.first());
            child<QPlainTextEdit>(editor, "plainTextEditMacroLines")
                ->setPlainText(macro.mid(1).join('\n'));
            child<QDialogButtonBox>(editor, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        }
        // What the controller took in from the click until the notice, or the notice missing.
        const auto runs = [this](const char *button, const QString &notice) {
            const int before = station->received().size();
            station->click(button);
            const bool told =
                QTest::qWaitFor([&] { return station->terminal().contains(notice); }, 5000);
            return told ? station->received().mid(before) : QStringList{"not told: " + notice};
        };
        const QString warmedUp = "Macro \"Warm up\": all 4 line(s) taken by the controller";
        QCOMPARE(runs("pushButtonMacro1", warmedUp), asSent(macros[0].mid(1)));
        QCOMPARE(runs("pushButtonMacro4", "Macro \"Held\" not run: line 2: Not sent: G0 Z2 ~"),
                 QStringList());

        const int beforeJob = station->received().size();
        send({"G4 P100"});
        // Told; what the controller takes in meanwhile is the job's, compared once it ends.
        QCOMPARE(runs("pushButtonMacro1", "Macro \"Warm up\" not run: line 1: Not sent while a "
                                          "program runs: G21 G90 (metric)")
                     .filter("not told"),
                 QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished in"), 5000);
        QCOMPARE(station->received().mid(beforeJob), QStringList{"G4 P100"});

        const int beforeDwell = station->received().size();
        station->click("pushButtonMacro2");
        QTRY_VERIFY(station->received().mid(beforeDwell).endsWith("G4 P100"));
        QCOMPARE(runs("pushButtonMacro1", "Macro \"Warm up\" not run: macro \"Dwell\" still runs"),
                 QStringList());
        QCOMPARE(runs("pushButtonResetGRBLCmd",
                      "Macro \"Dwell\" stopped at line 1 of 2: the controller was reset"),
                 QStringList());
        QVERIFY(station->reaches("Idle"));
        QCOMPARE(runs("pushButtonMacro3", "Macro \"Refused\" stopped at line 2 of 3: the "
                                          "controller refused G5 Y2: error"),
                 (QStringList{"G0 Y1", "G5 Y2"}));
        // The probe finds nothing above grblsim's surface: the alarm ends the macro.
        QCOMPARE(runs("pushButtonMacro5", "Macro \"Probe\" stopped at line 1 of 2: "),
                 QStringList{"G38.2 Z-1 F100"});
        station->type("$X");
        station->click("pushButtonMacro2"); // and the cable pulled while it dwells
        QTRY_COMPARE(station->received().mid(beforeDwell).count("G4 P100"), 2);
        ::kill(pid_t(station->sim.process().processId()), SIGUSR1);
        QTRY_VERIFY_WITH_TIMEOUT(
            station->terminal().contains("Macro \"Dwell\" stopped at line 1 of 2: link lost"),
            10000);
        QTRY_COMPARE_WITH_TIMEOUT(ledColor(station->window.get()), QColor(Qt::green), 10000);
        QVERIFY(station->reaches("Idle"));
        QCOMPARE(runs("pushButtonMacro1", warmedUp), asSent(macros[0].mid(1)));
        QCOMPARE(station->received().mid(beforeDwell).filter(QRegularExpression("X2|Y3|X9")),
                 QStringList());
    }

    // After $C, Send checks the program: refused lines told, the job finished, nothing moved.
    void checkModeFromTheWindow()
    {
        startStation({"--time-scale", "20"});
        station->type("$C");
        QVERIFY(station->reaches("Check"));
        send(QString("G0 X10|G1 X|G0 Y5|G99|G0 Z1").split('|'), "Check");
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished"), 5000);
        QVERIFY2(station->jobText().contains(", 2 line(s) refused"),
                 qPrintable(station->jobText()));
        QCOMPARE(displays("Machine"), (QList<double>{0, 0, 0}));
        // Cut short, a check offers no line to go on from: nothing was cut.
        send(generatedProgram(20000), "Check");
        QTRY_VERIFY2(station->jobText().contains(QRegularExpression("^running: [1-9]")),
                     qPrintable(station->jobText()));
        station->click("pushButtonResetGRBLCmd");
        QTRY_VERIFY2(station->jobText().startsWith("stopped at line"),
                     qPrintable(station->jobText()));
        QVERIFY(!station->widget<QPushButton>("pushButtonResume")->isVisible());
    }

    // A program levelled by a grid probed on a bump cuts 0.1 mm under grblsim's surface, to within
    // what a bilinear map can tell (spacing^2 / 8 each way times the greatest curvature).
    void levelledProgramCutsAtItsDepth()
    {
        const double spacing = 5, bump = 0.3, radius = 12;
        const double tolerance =
            2 * spacing * spacing / 8 * bump * M_PI * M_PI / (2 * radius * radius) + 0.02;
        startStation({"--time-scale", "25", "--grbl", "1.1", "--surface",
                      QString("-5,0,0,%1,20,15,%2").arg(bump).arg(radius)});
        // Work Z 0 is machine Z -5, near the stock's top.
        const auto depthAt = [&](const Point &p) {
            const double d = std::hypot(p[0] - 20, p[1] - 15);
            return -5 + (d < radius ? bump * (1 + std::cos(M_PI * d / radius)) / 2 : 0) -
                   (p[2] - 5);
        };
        QVERIFY(station->settles("G10 L2 P1 X0 Y0 Z-5"));
        // The heights are work Z: the grid waits for the controller to tell the new offset.
        QTRY_VERIFY_WITH_TIMEOUT(station->terminal().contains("WCO:0.000,0.000,-5.000"), 15000);
        auto *dialog = station->widget<QWidget>("HeightMapDialog");
        const std::pair<const char *, double> grid[] = {
            {"doubleSpinBoxMapX0", 0},  {"doubleSpinBoxMapY0", 0}, {"doubleSpinBoxMapX1", 30},
            {"doubleSpinBoxMapY1", 20}, {"spinBoxMapColumns", 7},  {"spinBoxMapRows", 5}};
        for (const auto &[box, value] : grid)
            QVERIFY(child<QWidget>(dialog, box)->setProperty("value", value));
        child<QPushButton>(dialog, "pushButtonMapProbe")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(!station->window->heightMap().isEmpty(),
                                  qPrintable(station->terminal().right(300)), 60000);
        const QString program = "G21 G90\nG0 Z2\nG0 X3 Y3\nG1 Z-0.1 F200\nG1 X27 F600\nY17\n"
                                "G2 X17 Y17 I-5 J0\nG1 X3\nY3\nX27 Y17\nG0 Z2\nG0 X0 Y0";
        send(program.split('\n'));
        // The editor marks the operator's line being cut, never one of the levelled program's.
        auto *editor = station->widget<CodeEditor>("plainTextEditGCode");
        int marked = 0;
        QTRY_VERIFY2_WITH_TIMEOUT((marked = std::max(marked, editor->runningLine()),
                                   station->jobText().startsWith("finished in")),
                                  qPrintable(station->jobText()), 60000);
        QVERIFY2(marked > 4 && marked <= 12, qPrintable(QString::number(marked)));
        QCOMPARE(editor->toPlainText(), program);
        station->window->StartFromProgramLine(5); // it would start unlevelled
        QVERIFY(!station->window->findChild<QMessageBox *>("startFromLineBox"));
        QVERIFY(station->terminal().contains("Not started from line 5: start from a line is not "
                                             "available while a height map is applied"));
        double worst = 0, length = 0;
        QString worstSegment;
        for (const Ran &r : ranInWork(station->sim.motionLines())) {
            const double across = std::hypot(r.to[0] - r.from[0], r.to[1] - r.from[1]);
            if (r.kind == "G0" || across < 1e-6 || std::min(depthAt(r.from), depthAt(r.to)) < 0.05)
                continue; // not along the cut: over the stock, or down into it and up
            length += across;
            for (const Point &p : r.samples()) {
                if (std::fabs(depthAt(p) - 0.1) > worst)
                    worst = std::fabs(depthAt(p) - 0.1), worstSegment = r.line;
            }
        }
        QVERIFY2(worst <= tolerance, qPrintable(worstSegment));
        QVERIFY(length > 100); // every cut seen
    }
};

ORLO_TEST_MAIN(TestStreamingEndToEnd)
#include "tst_StreamingEndToEnd.moc"
