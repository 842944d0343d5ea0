#include "RecordingMachine.h"
#include "Station.h"
#include "TestMain.h"

#include "dialogs/GrblParameter.h"
#include "dialogs/GrblSettingsDialog.h"
#include "dialogs/PlainNumber.h"
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
using Parameter = std::optional<GrblParameter>;
using Command = std::optional<QString>;
Q_DECLARE_METATYPE(Parameter)
Q_DECLARE_METATYPE(Command)

namespace {

const QColor orange(255, 114, 10);

QStringList rowTexts(const QTableWidget *table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return texts;
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

    void withoutParentNothingIsSent()
    {
        GrblSettingsDialog orphanSettings;
        orphanSettings.ParseParameterLine("$0=10 (step pulse, usec)");
        QTest::qWait(GrblSettingsDialog::refreshDelayMs + 100);
        child<QTableWidget>(&orphanSettings, "tableWidgetParameter")->item(0, 1)->setText("12");
        press(&orphanSettings, "pushButtonApply");
        ProbingDialog orphanProbe;
        press(&orphanProbe, "pushButtonProbe");
        PositionsDialog orphanPositions;
        press(&orphanPositions, "pushButtonSave");
        QCOMPARE(child<QTableWidget>(&orphanPositions, "tableWidget")->rowCount(), 0);
        QVERIFY(machine->sent.isEmpty() && machine->probes.isEmpty());
    }

    void parsesParameterLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<Parameter>("expected");
        const auto is = [](int index, double value, const QString &description) {
            return Parameter(GrblParameter{quint8(index), value, description});
        };
        const Parameter none;
        QTest::newRow("sample") << "$0=10 (step pulse, usec)" << is(0, 10, "step pulse, usec");
        QTest::newRow("trailing zeros")
            << "$110=500.000 (x max rate, mm/min)" << is(110, 500, "x max rate, mm/min");
        QTest::newRow("small") << "$11=0.010 (junction)" << is(11, 0.01, "junction");
        QTest::newRow("minus reads 0") << "$1=-25 (x)" << is(1, 0, "x");
        QTest::newRow("exponent cut off") << "$999=1e400 (x)" << none;
        QTest::newRow("exponent cut off, index in range") << "$24=1e400 (x)" << is(24, 1, "x");
        QTest::newRow("empty description") << "$3=4 ()" << is(3, 4, "");
        QTest::newRow("1.1's bare number") << "$0=10" << is(0, 10, "Step pulse time, microseconds");
        QTest::newRow("unclosed description")
            << "$132=200.000 (z" << is(132, 200, "Z-axis maximum travel, millimeters");
        QTest::newRow("a number 1.1 has no words for") << "$7=1" << is(7, 1, "");
        QTest::newRow("no equals sign") << "$0 10 (x)" << none;
        QTest::newRow("highest index") << "$255=1 (x)" << is(255, 1, "x");
        QTest::newRow("index above 255 would wrap") << "$300=5 (x)" << none;
        QTest::newRow("index beyond any integer") << "$99999999999999999999=5 (x)" << none;
        QTest::newRow("value beyond a double") << "$1=" + QString(400, '9') + " (x)" << none;
        QTest::newRow("odd description") << QString::fromUtf8("$2=0 (ä\x01 \"<b>\"\t;)")
                                         << is(2, 0, QString::fromUtf8("ä\x01 \"<b>\"\t;"));
        QTest::newRow("NUL in description")
            << QString("$2=0 (a") + QChar(0) + "b)" << is(2, 0, QString("a") + QChar(0) + "b");
        QTest::newRow("first closing parenthesis ends it") << "$5=1 (a) b)" << is(5, 1, "a");
    }

    void parsesParameterLines()
    {
        QFETCH(QString, line);
        QFETCH(Parameter, expected);
        const Parameter parsed = parseParameterLine(line);
        QCOMPARE(parsed.has_value(), expected.has_value());
        if (expected) {
            QCOMPARE(int(parsed->index), int(expected->index));
            QCOMPARE(parsed->value, expected->value);
            QCOMPARE(parsed->description, expected->description);
        }
    }

    void plainNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("plain");
        const QList<QPair<QString, bool>> cases = {{"12", true},
                                                   {"12.50", true},
                                                   {"-5.5", true},
                                                   {"+3", true},
                                                   {".5", true},
                                                   {"5.", true},
                                                   {" 7 ", true},
                                                   {"\t7", true},
                                                   {"", false},
                                                   {" ", false},
                                                   {".", false},
                                                   {"-", false},
                                                   {"abc", false},
                                                   {"1e3", false},
                                                   {"inf", false},
                                                   {"nan", false},
                                                   {"0x10", false},
                                                   {"1,5", false},
                                                   {"1.2.3", false},
                                                   {"1 G91", false},
                                                   {"12\n", false},
                                                   {"12\r", false},
                                                   {"- 5", false},
                                                   {QString(400, '9'), false},
                                                   {QString("1") + QChar(0), false},
                                                   {QString("1") + QChar(0xA0), false}};
        for (const auto &[text, plain] : cases)
            QTest::newRow(text.left(12).toUtf8().toPercentEncoding().constData()) << text << plain;
    }

    void plainNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, plain);
        QCOMPARE(isPlainNumber(text), plain);
    }

    // A burst of lines gives one rebuild, after the delay; later lines update rows in place.
    void parameterTableFollowsTheReports()
    {
        QSignalSpy inserted(parameters()->model(), &QAbstractItemModel::rowsInserted);
        for (const char *line : {"$1=25 (step idle delay", "$0=10", "$110=500.000 (x)",
                                 "$11=0.010 (y)", "$12=-1 (z)", "$2 (x)"}) {
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
        QCOMPARE(rowTexts(parameters(), 3), (QStringList{"11", "0.01", "y"}));
        QCOMPARE(rowTexts(parameters(), 4), (QStringList{"12", "0", "z"}));
        QCOMPARE(settings->FindParameter(110), 2);
        QCOMPARE(settings->FindParameter(7), -1);
        QCOMPARE(parameters()->item(0, 0)->flags() | parameters()->item(0, 2)->flags(),
                 Qt::NoItemFlags);
        QVERIFY(valueCell(0)->flags() & Qt::ItemIsEditable);
    }

    void parameterEditsAreMarkedAndApplied()
    {
        report({"$0=10 (step pulse, usec)", "$1=25 (step idle delay, msec)"});
        press(settings, "pushButtonApply");
        QCOMPARE(machine->sent, QStringList()); // nothing marked, nothing sent
        valueCell(0)->setText("12.50");
        QCOMPARE(valueCell(0)->background().color(), orange);
        press(settings, "pushButtonApply");
        QCOMPARE(machine->sent, QStringList{"$0=12.50"}); // as typed, not as read
        valueCell(0)->setText("10"); // back to the stored value: the mark stays
        press(settings, "pushButtonApply");
        QCOMPARE(machine->sent, (QStringList{"$0=12.50", "$0=10"}));

        machine->sent.clear();
        valueCell(0)->setText("12");
        valueCell(1)->setText("30");
        report({"$0=12 (step pulse, usec)"});                 // a rebuild clears the marks
        QCOMPARE(valueCell(1)->text(), QStringLiteral("25")); // the record kept its value
        press(settings, "pushButtonApply");
        QCOMPARE(machine->sent, QStringList());
    }

    void unreadableParameterEditsAreReverted_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed");
        for (const char *typed : {"", "abc", "1e3", "inf", "nan", "12\n$1=0", "5 G91", "0x10"})
            QTest::newRow(QByteArray(typed).toPercentEncoding().constData()) << "10" << typed;
        QTest::newRow("NUL") << "10" << QString("5") + QChar(0);
        QTest::newRow("endless digits") << "10" << QString(100000, '9');
        // The firmware reads no exponent: a marked value shown so cannot go back as it stands.
        QTest::newRow("marked, shown as exponent") << "1e+06"
                                                   << "abc";
    }

    void unreadableParameterEditsAreReverted()
    {
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        report({"$100=" + QString::number(shown.toDouble(), 'f', 0) + " (x)"});
        QCOMPARE(valueCell(0)->text(), shown);
        if (shown.contains('e'))
            valueCell(0)->setText("2000000");
        valueCell(0)->setText(typed);
        QCOMPARE(valueCell(0)->text(), shown);
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
        QVERIFY(editor->isVisible());
        QStringList listing;
        QFile factory(QFINDTESTDATA("data/settings-0.9j.txt"));
        QVERIFY(factory.open(QIODevice::ReadOnly | QIODevice::Text));
        if (grbl == "0.9")
            listing = QString::fromLatin1(factory.readAll()).trimmed().split('\n');
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

    void probeCommands_data()
    {
        QTest::addColumn<QChar>("axis");
        QTest::addColumn<double>("distance");
        QTest::addColumn<int>("feed");
        QTest::addColumn<QString>("command");
        QTest::newRow("default") << QChar('Z') << -20.0 << 20 << "G38.2 Z-20 F20";
        QTest::newRow("positive") << QChar('X') << 5.0 << 100 << "G38.2 X+5 F100";
        QTest::newRow("fraction") << QChar('Y') << -12.5 << 50 << "G38.2 Y-12.5 F50";
        QTest::newRow("zero") << QChar('Z') << 0.0 << 20 << "G38.2 Z+0 F20";
        QTest::newRow("typed minus zero") << QChar('Z') << -0.0 << 20 << "G38.2 Z+0 F20";
        QTest::newRow("upper limits") << QChar('Z') << 100.0 << 1000 << "G38.2 Z+100 F1000";
        QTest::newRow("lower limits") << QChar('Z') << -100.0 << 10 << "G38.2 Z-100 F10";
        QTest::newRow("six digits") << QChar('X') << 12.345678 << 10 << "G38.2 X+12.3457 F10";
    }

    void probeCommands()
    {
        QFETCH(QChar, axis);
        QFETCH(double, distance);
        QFETCH(int, feed);
        QFETCH(QString, command);
        QCOMPARE(probeCommand(axis, distance, feed), command);
    }

    // How a cycle ends, and what is sent for it then.
    void probeEndings_data()
    {
        QTest::addColumn<bool>("setHeight");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("contact");
        QTest::addColumn<QStringList>("lines");
        const QStringList back{"G90"};
        QTest::newRow("contact, position set")
            << true << "[PRB:0.000,0.000,-5.000:1]" << true << QStringList{"G92 Z1.55", "G90"};
        QTest::newRow("contact only") << false << "[PRB:0.000,0.000,-5.000:1]" << true << back;
        QTest::newRow("no contact") << true << "[PRB:0.000,0.000,-20.000:0]" << false << back;
        QTest::newRow("garbage") << true << "[PRB:a,b:1]" << false << back;
    }

    void probeEndings()
    {
        QFETCH(bool, setHeight);
        QFETCH(QString, line);
        QFETCH(bool, contact);
        QFETCH(QStringList, lines);
        ProbeCycle cycle;
        QVERIFY(!cycle.probeReport(line)); // nothing runs
        ProbeRequest request;
        if (setHeight)
            request.setHeight = 1.55;
        cycle.start(request);
        QVERIFY(!cycle.probeReport("[MSG:something else]"));
        const auto ending = cycle.probeReport(line);
        QVERIFY(ending);
        QCOMPARE(ending->contact, contact);
        QCOMPARE(ending->lines, lines);
        QVERIFY(!cycle.isActive());
        QVERIFY(!cycle.probeReport(line)); // never again, whatever comes later
        QCOMPARE(ProbeCycle::timeoutMs({'Z', -20, 20, {}}), 125'000);
        QCOMPARE(ProbeCycle::timeoutMs({'X', 5, 1000, {}}), 5'600);
    }

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
        QCOMPARE(machine->sent, QStringList()); // the station sends, the dialog only asks

        auto *button = child<QPushButton>(probing, "pushButtonProbe");
        for (const auto &[state, enabled] : QList<QPair<QString, bool>>{
                 {"Run", false}, {"Idle", true}, {"Alarm", false}, {"idle", false}}) {
            probing->SetMachineState(state);
            QCOMPARE(button->isEnabled(), enabled);
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
        const QString probeLine = probeCommand('Z', distance, 20);
        const QStringList expected =
            touches
                ? QStringList{"G91", probeLine, "G92 Z1.55", "G90", "G0 Z5", "G91", "G01 X-1 F1500"}
                : QStringList{"G91", probeLine, "G90", "$X",
                              "G90", "G0 Z5",   "G91", "G01 X-1 F1500"};
        const QStringList received = station.received();
        QCOMPARE(received.mid(received.indexOf("G91")), expected);
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

    void positionCommands_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<Command>("command");
        const Command none;
        QTest::newRow("set") << "G92" << QStringList{"10", "-5.5", "2"}
                             << Command("G92 X10 Y-5.5 Z2");
        QTest::newRow("move") << "G00" << QStringList{"10", "-5.5", "2"}
                              << Command("G00 X10 Y-5.5 Z2");
        QTest::newRow("as they stand")
            << "G00" << QStringList{" 7 ", "+.5", "-0"} << Command("G00 X 7  Y+.5 Z-0");
        QTest::newRow("empty cell") << "G00" << QStringList{"", "1", "2"} << none;
        QTest::newRow("letters") << "G00" << QStringList{"1", "abc", "2"} << none;
        QTest::newRow("a second word") << "G00" << QStringList{"1", "2", "1 G91"} << none;
        QTest::newRow("a second line") << "G92" << QStringList{"1\nG91", "2", "3"} << none;
        QTest::newRow("exponent") << "G00" << QStringList{"1e3", "2", "3"} << none;
        QTest::newRow("not a number") << "G00" << QStringList{"nan", "2", "3"} << none;
        QTest::newRow("NUL") << "G00" << QStringList{"1", QString("1") + QChar(0), "3"} << none;
        QTest::newRow("endless digits")
            << "G00" << QStringList{"1", "2", QString(1000, '9')} << none;
        QTest::newRow("two cells") << "G00" << QStringList{"1", "2"} << none;
    }

    void positionCommands()
    {
        QFETCH(QString, word);
        QFETCH(QStringList, cells);
        QFETCH(Command, command);
        QCOMPARE(positionCommand(word, cells), command);
    }

    void positionSavedSetAndMovedTo()
    {
        saveAt(10, -5.5, 2);
        QCOMPARE(rowTexts(saved(), 0), (QStringList{"10", "-5.5", "2", "Position 1"}));
        setAndMove(0);
        QCOMPARE(machine->sent, (QStringList{"G92 X10 Y-5.5 Z2", "G90", "G00 X10 Y-5.5 Z2"}));
        machine->sent.clear();
        saved()->item(0, 0)->setText("7");
        press(positions, "pushButtonMove");
        QCOMPARE(machine->sent, (QStringList{"G90", "G00 X7 Y-5.5 Z2"}));
    }

    // Stored to six digits: "-1e-05" would read as -1 and a stray E word. A row whose cell the
    // operator broke keeps the text to mend; a row without cells, or none chosen, sends nothing.
    void unusableRowsSendNothing()
    {
        saveAt(123.4567, -0.00001, 1e5);
        QCOMPARE(rowTexts(saved(), 0), (QStringList{"123.457", "-1e-05", "100000", "Position 1"}));
        saveAt(std::numeric_limits<double>::quiet_NaN(), 0, 0);
        saveAt(1, 2, 3);
        saved()->item(2, 2)->setText("1 G91");
        saved()->insertRow(3);
        for (int row = 0; row < 4; ++row)
            setAndMove(row);
        setAndMove(-1);
        QCOMPARE(machine->sent, QStringList());
        QCOMPARE(saved()->item(2, 2)->text(), QStringLiteral("1 G91"));
    }

    void deleteRemovesTheCurrentRow()
    {
        for (int n = 1; n <= 3; ++n)
            saveAt(n, n, n);
        saved()->setCurrentCell(1, 0);
        press(positions, "pushButtonDelete");
        QCOMPARE(saved()->rowCount(), 2);
        QCOMPARE(rowTexts(saved(), 0), (QStringList{"1", "1", "1", "Position 1"}));
        QCOMPARE(rowTexts(saved(), 1), (QStringList{"3", "3", "3", "Position 3"}));
        saved()->setCurrentCell(-1, -1);
        press(positions, "pushButtonDelete");
        QCOMPARE(saved()->rowCount(), 2);
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
        QVERIFY(dialog->isVisible());
        press(dialog, "pushButtonSave");
        auto *table = child<QTableWidget>(dialog, "tableWidget");
        QCOMPARE(rowTexts(table, 0), (QStringList{"4", "-3", "-1.25", "Position 1"}));

        station.window->SendCommand("G91 G0 X10 Y10 Z1");
        QVERIFY(settle(14));
        table->setCurrentCell(0, 0);
        press(dialog, "pushButtonMove");
        QVERIFY(settle(4));
        QCOMPARE(station.widget<QLCDNumber>("lcdNumberWorkY")->value(), -3.0);
        QCOMPARE(station.widget<QLCDNumber>("lcdNumberWorkZ")->value(), -1.25);
        const QStringList received = station.received();
        QCOMPARE(received.mid(received.indexOf("G90")).filter(QRegularExpression("^G")),
                 (QStringList{"G90", "G00 X4 Y-3 Z-1.25"}));
    }
};

ORLO_TEST_MAIN(TestToolDialogs)
#include "tst_ToolDialogs.moc"
