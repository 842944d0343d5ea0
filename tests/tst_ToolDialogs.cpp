#include "RecordingMachine.h"
#include "Station.h"
#include "TestMain.h"

#include "dialogs/GrblParameter.h"
#include "dialogs/GrblSettingsDialog.h"
#include "dialogs/PositionCommands.h"
#include "dialogs/PositionsDialog.h"
#include "dialogs/ProbingDialog.h"
#include "machine/ControllerCodes.h"
#include "machine/ProbeCycle.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <limits>

using namespace WindowProbe;

namespace {

const QColor orange(255, 114, 10);

QStringList rowTexts(const QTableWidget *table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << table->item(row, column)->text();
    return texts;
}

// Rows of an input and what it gives, named after the input.
void addRows(const QList<QPair<QString, QString>> &rows)
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    for (const auto &[input, expected] : rows)
        QTest::newRow(("'" + input.left(40).toUtf8().toPercentEncoding(" $=()|") + "'").constData())
            << input << expected;
}

} // namespace

// The dialogs that talk to the machine, each over a machine that writes down what it is asked:
// the controller's parameters, probing, saved positions; and each against grblsim.
class TestToolDialogs : public QObject
{
    Q_OBJECT

private:
    RecordingMachine *machine = nullptr;
    GrblSettingsDialog *settings = nullptr;
    ProbingDialog *probing = nullptr;
    PositionsDialog *positions = nullptr;

    QTableWidget *parameters() { return child<QTableWidget>(settings, "tableWidgetParameter"); }
    QTableWidgetItem *valueCell(int row) { return parameters()->item(row, 1); }
    QTableWidget *saved() { return child<QTableWidget>(positions, "tableWidget"); }
    void press(QWidget *dialog, const char *button) { child<QPushButton>(dialog, button)->click(); }

    // Feeds the lines and waits for the one rebuild that follows them.
    void report(const QStringList &lines)
    {
        for (const QString &line : lines)
            settings->ParseParameterLine(line);
        QTest::qWait(GrblSettingsDialog::refreshDelayMs + 100);
    }

    void saveAt(double x, double y, double z)
    {
        machine->work[0] = x;
        machine->work[1] = y;
        machine->work[2] = z;
        press(positions, "pushButtonSave");
    }

    void setAndMove(int row)
    {
        saved()->setCurrentCell(row, 0);
        press(positions, "pushButtonSet");
        press(positions, "pushButtonMove");
    }

private slots:
    void init()
    {
        machine = new RecordingMachine;
        settings = new GrblSettingsDialog(machine);
        probing = new ProbingDialog(machine);
        positions = new PositionsDialog(machine);
    }

    void cleanup() { delete machine; }

    // "index value description", empty for a line that is no parameter.
    void parsesParameterLines_data()
    {
        addRows({{"$0=10 (step pulse, usec)", "0 10 step pulse, usec"},
                 {"$11=0.010 (junction)", "11 0.01 junction"},
                 {"$1=-25 (x)", "1 0 x"},
                 {"$999=1e400 (x)", ""},
                 {"$24=1e400 (x)", "24 1 x"},
                 {"$3=4 ()", "3 4 "},
                 {"$0=10", "0 10 Step pulse time, microseconds"},
                 {"$132=200.000 (z", "132 200 Z-axis maximum travel, millimeters"},
                 {"$7=1", "7 1 "},
                 {"$0 10 (x)", ""},
                 {"$255=1 (x)", "255 1 x"},
                 {"$300=5 (x)", ""},
                 {"$99999999999999999999=5 (x)", ""},
                 {"$1=" + QString(400, '9') + " (x)", ""},
                 {QString("$2=0 (a") + QChar(0) + "\x01 \"<b>\"\t;)",
                  QString("2 0 a") + QChar(0) + "\x01 \"<b>\"\t;"},
                 {"$5=1 (a) b)", "5 1 a"}});
    }

    void parsesParameterLines()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const std::optional<GrblParameter> parsed = parseParameterLine(input);
        QCOMPARE(parsed ? QString("%1 %2 %3")
                              .arg(int(parsed->index))
                              .arg(parsed->value)
                              .arg(parsed->description)
                        : QString(),
                 expected);
    }

    // A burst of lines gives one rebuild, after the delay; later lines update rows in place.
    void parameterTableFollowsTheReports()
    {
        QSignalSpy inserted(parameters()->model(), &QAbstractItemModel::rowsInserted);
        for (const char *line : {"$2 (x)", "$1=25 (step idle delay", "$0=10", "$110=500.000 (x)",
                                 "$11=0.010 (y)", "$12=-1 (z)"}) {
            settings->ParseParameterLine(line);
            QTest::qWait(100);
        }
        QTest::qWait(GrblSettingsDialog::refreshDelayMs - 200);
        QCOMPARE(parameters()->rowCount(), 0);
        QTRY_COMPARE(parameters()->rowCount(), 5);
        QTest::qWait(100);
        QCOMPARE(inserted.count(), 5); // one rebuild inserts each row once
        report({"$1=255 (step idle delay, msec)"});
        QCOMPARE(parameters()->rowCount(), 5);
        QCOMPARE(rowTexts(parameters(), 0), (QStringList{"1", "255", "step idle delay, msec"}));
        QCOMPARE(rowTexts(parameters(), 1),
                 (QStringList{"0", "10", "Step pulse time, microseconds"}));
        QCOMPARE(rowTexts(parameters(), 4), (QStringList{"12", "0", "z"}));
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
        press(settings, "pushButtonApply");
        QCOMPARE(machine->sent, QStringList());
        valueCell(0)->setText("12.50");
        QCOMPARE(valueCell(0)->background().color(), orange);
        press(settings, "pushButtonApply");
        valueCell(0)->setText("10");
        press(settings, "pushButtonApply");
        QCOMPARE(machine->sent, (QStringList{"$0=12.50", "$0=10"}));
        machine->sent.clear();
        valueCell(0)->setText("12");
        valueCell(1)->setText("30");
        report({"$0=12 (step pulse, usec)"});
        QCOMPARE(valueCell(1)->text(), QStringLiteral("25"));
        press(settings, "pushButtonApply");
        QCOMPARE(machine->sent, QStringList());
    }

    // A value shown as an exponent cannot go back as it stands: the firmware reads none.
    void unreadableParameterEditsAreReverted_data()
    {
        QList<QPair<QString, QString>> rows{
            {"abc", "1e+06"}, {QString("5") + QChar(0), "10"}, {QString(100000, '9'), "10"}};
        for (const char *typed : {"", "abc", "1e3", "inf", "nan", "12\n$1=0", "5 G91", "0x10"})
            rows << qMakePair(QString(typed), QString("10"));
        addRows(rows);
    }

    void unreadableParameterEditsAreReverted()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        report({"$100=" + QString::number(expected.toDouble(), 'f', 0) + " (x)"});
        if (expected.contains('e'))
            valueCell(0)->setText("2000000");
        valueCell(0)->setText(input);
        QCOMPARE(valueCell(0)->text(), expected);
        press(settings, "pushButtonApply");
        QCOMPARE(machine->sent, QStringList());
    }

    void parametersReadAndWrittenOnTheController_data()
    {
        QTest::addColumn<QString>("grbl");
        QTest::newRow("0.9: described by the controller") << "0.9";
        QTest::newRow("1.1: bare numbers, named here") << "1.1";
    }

    void parametersReadAndWrittenOnTheController()
    {
        QFETCH(QString, grbl);
        Station station({"--instant", "--grbl", grbl}, false);
        QVERIFY(station.start());
        auto *editor = station.widget<GrblSettingsDialog>("GrblSettingsDialog");
        auto *table = child<QTableWidget>(editor, "tableWidgetParameter");
        station.widget<QAction>("actionGRBL_Config")->trigger();
        QFile factory(QFINDTESTDATA("data/settings-0.9j.txt"));
        QVERIFY(factory.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList listing = QString::fromLatin1(factory.readAll()).trimmed().split('\n');
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), grbl == "0.9" ? listing.size() : 34, 5000);
        for (int row = 0; row < table->rowCount(); ++row) {
            const QStringList shown = rowTexts(table, row);
            const QString expected = grbl == "0.9"
                                         ? parseParameterLine(listing.at(row))->description
                                         : ControllerCodes::settingDescription(shown[0].toInt());
            QVERIFY2(!expected.isEmpty() && shown[2] == expected, qPrintable(shown.join('|')));
        }
        const int maxRateX = editor->FindParameter(110);
        QCOMPARE(table->item(maxRateX, 1)->text(), QStringLiteral("500"));
        table->item(maxRateX, 1)->setText("750.5");
        press(editor, "pushButtonApply");
        QTRY_COMPARE(station.sim.countLogged("$110=750.5"), 1);
        editor->hide();
        station.widget<QAction>("actionGRBL_Config")->trigger();
        // The rebuild brings fresh items: the mark goes, the controller's value stays.
        QTRY_VERIFY_WITH_TIMEOUT(table->item(maxRateX, 1)->background().color() != orange, 5000);
        QCOMPARE(table->item(maxRateX, 1)->text(), QStringLiteral("750.5"));
        QCOMPARE(station.sim.countLogged("$$"), 2);
    }

    // "axis distance feed"
    void probeCommands_data()
    {
        addRows({{"Z -20 20", "G38.2 Z-20 F20"},
                 {"X 5 100", "G38.2 X+5 F100"},
                 {"Y -12.5 50", "G38.2 Y-12.5 F50"},
                 {"Z 0 20", "G38.2 Z+0 F20"},
                 {"Z -0 20", "G38.2 Z+0 F20"},
                 {"Z -100 10", "G38.2 Z-100 F10"},
                 {"X 12.345678 10", "G38.2 X+12.3457 F10"}});
    }

    void probeCommands()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QStringList words = input.split(' ');
        QCOMPARE(probeCommand(words[0][0], words[1].toDouble(), words[2].toInt()), expected);
    }

    // How a cycle ends, and what is sent for it then; nothing before it starts or after.
    void probeEndings_data()
    {
        QTest::addColumn<bool>("setHeight");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("contact");
        QTest::addColumn<QStringList>("lines");
        const QString touch = "[PRB:0.000,0.000,-5.000:1]";
        QTest::newRow("contact, position set")
            << true << touch << true << QStringList{"G92 Z1.55", "G90"};
        QTest::newRow("contact only") << false << touch << true << QStringList{"G90"};
        QTest::newRow("no contact")
            << true << "[PRB:0.000,0.000,-20.000:0]" << false << QStringList{"G90"};
        QTest::newRow("garbage") << true << "[PRB:a,b:1]" << false << QStringList{"G90"};
    }

    void probeEndings()
    {
        QFETCH(bool, setHeight);
        QFETCH(QString, line);
        QFETCH(bool, contact);
        QFETCH(QStringList, lines);
        ProbeCycle cycle;
        QVERIFY(!cycle.probeReport(line));
        ProbeRequest request;
        if (setHeight)
            request.setHeight = 1.55;
        cycle.start(request);
        QVERIFY(!cycle.probeReport("[MSG:something else]"));
        const auto ending = cycle.probeReport(line);
        QVERIFY(ending && ending->contact == contact);
        QCOMPARE(ending->lines, lines);
        QVERIFY(!cycle.isActive() && !cycle.probeReport(line));
        QCOMPARE(ProbeCycle::timeoutMs({'Z', -20, 20, {}}), 125'000);
        QCOMPARE(ProbeCycle::timeoutMs({'X', 5, 1000, {}}), 5'600);
    }

    // The station sends; the dialog only asks, and only when the machine stands idle.
    void probingDialogAsksTheStation()
    {
        child<QRadioButton>(probing, "radioButtonY")->click();
        child<QDoubleSpinBox>(probing, "distanceSpinBox")->setValue(1e9); // held at the limit
        child<QDoubleSpinBox>(probing, "heightSpinBox")->setValue(2.5);
        press(probing, "pushButtonProbe");
        child<QCheckBox>(probing, "checkBoxAutoSetPos")->click();
        QVERIFY(!child<QDoubleSpinBox>(probing, "heightSpinBox")->isEnabled());
        press(probing, "pushButtonProbe");
        QCOMPARE(machine->probes.size(), 2);
        QCOMPARE(machine->probes[0].axis, QChar('Y'));
        QCOMPARE(machine->probes[0].distance, 100.0);
        QCOMPARE(machine->probes[0].setHeight, std::optional<double>(2.5));
        QCOMPARE(machine->probes[1].setHeight, std::optional<double>());
        machine->refusal = "a program is running";
        press(probing, "pushButtonProbe");
        auto *result = child<QLabel>(probing, "labelProbeResult");
        QCOMPARE(result->text(), QStringLiteral("Probe not started: a program is running"));
        probing->ProbeFinished(false, "Probe failed: ALARM: Probe fail");
        QCOMPARE(result->text(), QStringLiteral("Probe failed: ALARM: Probe fail"));
        QCOMPARE(machine->sent, QStringList());
        for (const auto &[state, enabled] : QList<QPair<QString, bool>>{
                 {"Run", false}, {"Idle", true}, {"Alarm", false}, {"idle", false}}) {
            probing->SetMachineState(state);
            QCOMPARE(child<QPushButton>(probing, "pushButtonProbe")->isEnabled(), enabled);
        }
    }

    // Status polling off and a fast probe: no state word ever shows the move. The position is
    // set at the contact, once, before the jog that follows, and the controller is back in G90.
    void probeCycleAgainstTheController_data()
    {
        QTest::addColumn<double>("distance");
        QTest::addColumn<bool>("touches");
        QTest::newRow("touches the surface") << -20.0 << true;
        QTest::newRow("no contact, alarm cleared") << 5.0 << false;
    }

    void probeCycleAgainstTheController()
    {
        QFETCH(double, distance);
        QFETCH(bool, touches);
        Station station({"--time-scale", "1000"}, false); // surface at machine Z -5
        QVERIFY(station.start());
        station.click("pushButtonOpenProbeDialog");
        auto *dialog = station.widget<ProbingDialog>("ProbingDialog");
        child<QDoubleSpinBox>(dialog, "distanceSpinBox")->setValue(distance);
        press(dialog, "pushButtonProbe");
        auto *result = child<QLabel>(dialog, "labelProbeResult");
        QTRY_VERIFY(!result->text().startsWith("Probing"));
        QCOMPARE(result->text().startsWith("Probe: contact at machine Z -5.000"), touches);
        if (!touches) {
            QVERIFY(result->text().startsWith("Probe failed: ALARM"));
            station.click("pushButtonKillLockCmd");
        }
        station.type("G0 Z5"); // absolute again: to work Z 5, not 5 mm up
        station.widget<QRadioButton>("radioButton1mm")->click();
        station.click("pushButtonMinusX");
        QTRY_VERIFY(station.received().endsWith("G01 X-1 F1500"));
        const QString ending = touches ? "G92 Z1.55|G90" : "G90|$X|G90";
        const QStringList received = station.received();
        QCOMPARE(received.mid(received.indexOf("G91")).join('|'),
                 "G91|" + probeCommand('Z', distance, 20) + '|' + ending +
                     "|G0 Z5|G91|G01 X-1 F1500");
        QVERIFY(station.reaches("Idle"));
        QTRY_COMPARE(station.widget<QLCDNumber>("lcdNumberWorkZ")->value(), 5.0);
    }

    void probingOfflineSendsNothingEver()
    {
        Station station;
        QVERIFY(station.start());
        press(topLevel("SettingsDialog"), "applyButton"); // link dropped
        auto *dialog = station.widget<ProbingDialog>("ProbingDialog");
        press(dialog, "pushButtonProbe");
        QCOMPARE(child<QLabel>(dialog, "labelProbeResult")->text(),
                 QStringLiteral("Probe not started: the controller is not connected"));
        tick(station.window.get());
        QVERIFY(station.reaches("Idle"));
        station.widget<QRadioButton>("radioButton1mm")->click();
        station.click("pushButtonPlusZ");
        QTest::qWait(300);
        QCOMPARE(station.received(), (QStringList{"G91", "G01 Z+1 F500"}));
    }

    // "word|X|Y|Z", the command or none.
    void positionCommands_data()
    {
        addRows({{"G92|10|-5.5|2", "G92 X10 Y-5.5 Z2"},
                 {"G00| 7 |+.5|-0", "G00 X 7  Y+.5 Z-0"},
                 {"G00||1|2", ""},
                 {"G00|1|abc|2", ""},
                 {"G00|1|2|1 G91", ""},
                 {"G92|1\nG91|2|3", ""},
                 {"G00|1e3|2|3", ""},
                 {"G00|nan|2|3", ""},
                 {QString("G00|1|1") + QChar(0) + "|3", ""},
                 {"G00|1|2|" + QString(1000, '9'), ""},
                 {"G00|1|2", ""}});
    }

    void positionCommands()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QStringList words = input.split('|');
        QCOMPARE(positionCommand(words[0], words.mid(1)).value_or(QString()), expected);
    }

    // Stored to six digits: "-1e-05" would read as -1 and a stray E word. A row whose cell the
    // operator broke keeps the text to mend; a row without cells, or none chosen, sends nothing.
    void positionsSavedSetMovedAndDeleted()
    {
        saveAt(10, -5.5, 2);
        setAndMove(0);
        QCOMPARE(machine->sent, (QStringList{"G92 X10 Y-5.5 Z2", "G90", "G00 X10 Y-5.5 Z2"}));
        machine->sent.clear();
        saveAt(123.4567, -0.00001, 1e5);
        saveAt(std::numeric_limits<double>::quiet_NaN(), 0, 0);
        saveAt(1, 2, 3);
        QCOMPARE(rowTexts(saved(), 1), (QStringList{"123.457", "-1e-05", "100000", "Position 2"}));
        saved()->item(3, 2)->setText("1 G91");
        saved()->insertRow(4);
        for (int row : {-1, 1, 2, 3, 4})
            setAndMove(row);
        QCOMPARE(machine->sent, QStringList());
        QCOMPARE(saved()->item(3, 2)->text(), QStringLiteral("1 G91"));
        saved()->setCurrentCell(1, 0);
        press(positions, "pushButtonDelete");
        saved()->setCurrentCell(-1, -1);
        press(positions, "pushButtonDelete");
        QCOMPARE(saved()->rowCount(), 4);
        QCOMPARE(rowTexts(saved(), 0), (QStringList{"10", "-5.5", "2", "Position 1"}));
        QCOMPARE(saved()->item(1, 3)->text(), QStringLiteral("Position 3"));
    }

    void savedPositionIsReturnedTo()
    {
        Station station({"--instant"});
        QVERIFY(station.start());
        const auto settle = [&station](double x) {
            return QTest::qWaitFor([&] {
                station.click("pushButtonStatusCmd");
                QTest::qWait(20);
                return station.state() == "Idle" &&
                       station.widget<QLCDNumber>("lcdNumberWorkX")->value() == x;
            });
        };
        station.window->SendCommand("G0 X4 Y-3 Z-1.25");
        QVERIFY(settle(4));
        station.widget<QAction>("actionPositions")->trigger();
        auto *dialog = station.widget<PositionsDialog>("PositionsDialog");
        press(dialog, "pushButtonSave");
        auto *table = child<QTableWidget>(dialog, "tableWidget");
        QCOMPARE(rowTexts(table, 0), (QStringList{"4", "-3", "-1.25", "Position 1"}));
        station.window->SendCommand("G91 G0 X10 Y10 Z1");
        QVERIFY(settle(14));
        table->setCurrentCell(0, 0);
        press(dialog, "pushButtonMove");
        QVERIFY(settle(4));
        QCOMPARE(station.widget<QLCDNumber>("lcdNumberWorkZ")->value(), -1.25);
        const QStringList received = station.received();
        QCOMPARE(received.mid(received.indexOf("G90")).filter(QRegularExpression("^G")),
                 (QStringList{"G90", "G00 X4 Y-3 Z-1.25"}));
    }
};

ORLO_TEST_MAIN(TestToolDialogs)
#include "tst_ToolDialogs.moc"
