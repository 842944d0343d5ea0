#include "RecordingMachine.h"
#include "Station.h"
#include "TestMain.h"

#include "dialogs/ProbingDialog.h"
#include "machine/ProbeCycle.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>

using namespace WindowProbe;

// The probing dialog: its command texts, how a cycle ends, the form, and whole probing cycles
// against grblsim through the station.
class TestProbingDialog : public QObject
{
    Q_OBJECT

private:
    RecordingMachine *machine = nullptr;
    ProbingDialog *dialog = nullptr;

    template <typename T> T *widget(const char *name) { return child<T>(dialog, name); }
    void probe() { widget<QPushButton>("pushButtonProbe")->click(); }

private slots:
    void init()
    {
        machine = new RecordingMachine;
        dialog = new ProbingDialog(machine);
    }

    void cleanup() { delete machine; }

    void commandTexts_data()
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

    void commandTexts()
    {
        QFETCH(QChar, axis);
        QFETCH(double, distance);
        QFETCH(int, feed);
        QFETCH(QString, command);
        QCOMPARE(probeCommand(axis, distance, feed), command);
    }

    // How a cycle ends, and what is sent for it then.
    void endings_data()
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

    void endings()
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
    }

    void timeoutFollowsDistanceAndFeed()
    {
        QCOMPARE(ProbeCycle::timeoutMs({'Z', -20, 20, {}}), 125'000);
        QCOMPARE(ProbeCycle::timeoutMs({'X', 5, 1000, {}}), 5'600);
    }

    void dialogAsksTheStation()
    {
        widget<QRadioButton>("radioButtonY")->click();
        widget<QDoubleSpinBox>("distanceSpinBox")->setValue(1e9); // held at the limit
        widget<QDoubleSpinBox>("heightSpinBox")->setValue(2.5);
        probe();
        widget<QCheckBox>("checkBoxAutoSetPos")->click();
        QVERIFY(!widget<QDoubleSpinBox>("heightSpinBox")->isEnabled());
        probe();
        QCOMPARE(machine->probes.size(), 2);
        QCOMPARE(machine->probes[0].axis, QChar('Y'));
        QCOMPARE(machine->probes[0].distance, 100.0);
        QCOMPARE(machine->probes[0].setHeight, std::optional<double>(2.5));
        QCOMPARE(machine->probes[1].setHeight, std::optional<double>());

        machine->refusal = "a program is running";
        probe();
        auto *result = widget<QLabel>("labelProbeResult");
        QCOMPARE(result->text(), QStringLiteral("Probe not started: a program is running"));
        dialog->ProbeFinished(false, "Probe failed: ALARM: Probe fail");
        QCOMPARE(result->text(), QStringLiteral("Probe failed: ALARM: Probe fail"));
        QCOMPARE(machine->sent, QStringList()); // the station sends, the dialog only asks
    }

    void buttonFollowsTheState()
    {
        auto *button = widget<QPushButton>("pushButtonProbe");
        QVERIFY(button->isEnabled());
        const QList<QPair<QString, bool>> steps = {
            {"Run", false}, {"Idle", true}, {"Alarm", false}, {"idle", false}, {"Idle", true}};
        for (const auto &[state, enabled] : steps) {
            dialog->SetMachineState(state);
            QCOMPARE(button->isEnabled(), enabled);
        }
    }

    void withoutParentNothingIsAsked()
    {
        ProbingDialog orphan;
        child<QPushButton>(&orphan, "pushButtonProbe")->click();
        QCOMPARE(machine->probes.size(), 0);
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
        auto *probing = child<ProbingDialog>(station.window.get(), "ProbingDialog");
        child<QDoubleSpinBox>(probing, "distanceSpinBox")->setValue(distance);
        child<QPushButton>(probing, "pushButtonProbe")->click();
        auto *result = child<QLabel>(probing, "labelProbeResult");
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
        child<QPushButton>(topLevel("SettingsDialog"), "applyButton")->click(); // link dropped
        auto *probing = child<ProbingDialog>(station.window.get(), "ProbingDialog");
        child<QPushButton>(probing, "pushButtonProbe")->click();
        QCOMPARE(child<QLabel>(probing, "labelProbeResult")->text(),
                 QStringLiteral("Probe not started: the controller is not connected"));
        tick(station.window.get());
        QVERIFY(station.reaches("Idle"));
        station.widget<QRadioButton>("radioButton1mm")->click();
        station.click("pushButtonPlusZ");
        QTest::qWait(300);
        QCOMPARE(station.received(), (QStringList{"G91", "G01 Z+1 F500"}));
    }
};

ORLO_TEST_MAIN(TestProbingDialog)
#include "tst_ProbingDialog.moc"
