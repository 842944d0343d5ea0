#include "RecordingMachine.h"
#include "SimProcess.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"
#include "dialogs/ProbeCycle.h"
#include "dialogs/ProbingDialog.h"

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

// The probing dialog: its command texts, the cycle that follows the status reports, the form,
// and whole probing cycles against grblsim through the station.
class TestProbingDialog : public QObject
{
    Q_OBJECT

private:
    RecordingMachine *machine = nullptr;
    ProbingDialog *dialog = nullptr;

    template <typename T> T *widget(const char *name) { return child<T>(dialog, name); }
    void probe() { widget<QPushButton>("pushButtonProbe")->click(); }
    void reports(const QStringList &states)
    {
        for (const QString &state : states)
            dialog->SetMachineState(state);
    }

    // Asks for a status report every 50 ms, as a fast supervision tick would.
    static bool pollUntil(MainWindow &window, const std::function<bool()> &done, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            tick(&window);
            QTest::qWait(50);
        }
        return true;
    }

    static QString state(MainWindow &window)
    {
        return child<QLabel>(&window, "labelGrblStatus")->text();
    }

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

    void cycle_data()
    {
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<int>("completedAt"); // index of the report that completes it, or -1
        QTest::addColumn<int>("finalState");
        QTest::newRow("run then idle")
            << QStringList{"Run", "Idle"} << 1 << int(ProbeCycle::ProbeIdle);
        QTest::newRow("idle before any busy state")
            << QStringList{"Idle", "Idle"} << -1 << int(ProbeCycle::ProbeSent);
        QTest::newRow("idle, then busy, then idle")
            << QStringList{"Idle", "Run", "Run", "Idle", "Idle"} << 3 << int(ProbeCycle::ProbeIdle);
        QTest::newRow("hold counts as busy")
            << QStringList{"Hold", "Idle"} << 1 << int(ProbeCycle::ProbeIdle);
        QTest::newRow("state words are case-sensitive")
            << QStringList{"Run", "idle", "IDLE"} << -1 << int(ProbeCycle::ProbeRunning);
        QTest::newRow("alarm ends it without success")
            << QStringList{"Run", "Alarm", "Idle"} << -1 << int(ProbeCycle::ProbeIdle);
        QTest::newRow("alarm before a busy report")
            << QStringList{"Alarm", "Idle"} << -1 << int(ProbeCycle::ProbeIdle);
        QTest::newRow("odd words count as busy")
            << QStringList{"", QString(QChar(0)), "Idle"} << 2 << int(ProbeCycle::ProbeIdle);
    }

    void cycle()
    {
        QFETCH(QStringList, states);
        QFETCH(int, completedAt);
        QFETCH(int, finalState);
        ProbeCycle cycle;
        QCOMPARE(cycle.state(), ProbeCycle::ProbeIdle);
        QVERIFY(!cycle.report("Run"));
        QVERIFY(!cycle.report("Idle")); // nothing happens without a probe
        cycle.start('Z');
        QCOMPARE(cycle.state(), ProbeCycle::ProbeSent);
        for (int i = 0; i < states.size(); ++i)
            QCOMPARE(cycle.report(states.at(i)), i == completedAt);
        QCOMPARE(int(cycle.state()), finalState);
        cycle.start('X'); // a new probe starts afresh, whatever the last one did
        QCOMPARE(cycle.state(), ProbeCycle::ProbeSent);
        QCOMPARE(cycle.axis(), QChar('X'));
    }


    void probeThenRunAndIdleSetsThePosition()
    {
        probe();
        QCOMPARE(machine->sent, (QStringList{"G91", "G38.2 Z-20 F20"}));
        QCOMPARE(dialog->probeState(), ProbeCycle::ProbeSent);
        reports({"Idle"}); // a report from before the move started
        QCOMPARE(machine->sent.size(), 2);
        reports({"Run", "Idle", "Idle"});
        QCOMPARE(machine->sent, (QStringList{"G91", "G38.2 Z-20 F20", "G92 Z1.55"}));
        QCOMPARE(dialog->probeState(), ProbeCycle::ProbeIdle);
    }

    void autoSetOffSendsNoPosition()
    {
        widget<QCheckBox>("checkBoxAutoSetPos")->click();
        QVERIFY(!widget<QDoubleSpinBox>("heightSpinBox")->isEnabled());
        probe();
        reports({"Run", "Idle"});
        QCOMPARE(machine->sent, (QStringList{"G91", "G38.2 Z-20 F20"}));
        QCOMPARE(dialog->probeState(), ProbeCycle::ProbeIdle);
        widget<QCheckBox>("checkBoxAutoSetPos")->click();
        QVERIFY(widget<QDoubleSpinBox>("heightSpinBox")->isEnabled());
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

    void positionIsSetOnTheProbedAxis()
    {
        widget<QRadioButton>("radioButtonY")->click();
        widget<QDoubleSpinBox>("distanceSpinBox")->setValue(1e9); // held at the limit
        widget<QDoubleSpinBox>("heightSpinBox")->setValue(2.5);
        probe();
        widget<QRadioButton>("radioButtonX")->click();
        reports({"Run", "Idle"});
        QCOMPARE(machine->sent, (QStringList{"G91", "G38.2 Y+100 F20", "G92 Y2.5"}));
    }

    void alarmDuringTheProbeSetsNothing()
    {
        probe();
        reports({"Run", "Alarm", "Alarm", "Idle"}); // no contact, then "$X"
        QCOMPARE(machine->sent, (QStringList{"G91", "G38.2 Z-20 F20"}));
    }

    void secondProbeRestartsTheCycle()
    {
        probe();
        reports({"Idle"}); // the move has not shown itself yet; the button is free again
        probe();
        QCOMPARE(machine->sent.size(), 4);
        reports({"Run"});
        probe(); // refused: the button is off while the machine is busy
        QCOMPARE(machine->sent.size(), 4);
        reports({"Idle"});
        QCOMPARE(machine->sent.last(), QStringLiteral("G92 Z1.55"));
        QCOMPARE(machine->sent.count("G92 Z1.55"), 1);
    }

    void withoutParentNothingIsSent()
    {
        ProbingDialog orphan;
        child<QPushButton>(&orphan, "pushButtonProbe")->click();
        QCOMPARE(orphan.probeState(), ProbeCycle::ProbeIdle);
        orphan.SetMachineState("Run");
        orphan.SetMachineState("Idle");
        QCOMPARE(machine->sent, QStringList());
    }

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
        SimProcess sim({"--time-scale", "20"}); // surface at machine Z -5
        QVERIFY(sim.start());
        QSettings store("Orlo", "Orlo-CNC");
        store.clear();
        store.setValue("ComSettings/PortName", sim.linkPath());
        store.setValue("ComSettings/AskStatus", 1);
        store.sync();
        MainWindow window;
        QVERIFY(pollUntil(
            window, [&] { return state(window) == "Idle"; }, 5000));

        child<QPushButton>(&window, "pushButtonOpenProbeDialog")->click();
        auto *probing = child<ProbingDialog>(&window, "ProbingDialog");
        QVERIFY(probing->isVisible());
        child<QDoubleSpinBox>(probing, "distanceSpinBox")->setValue(distance);
        child<QPushButton>(probing, "pushButtonProbe")->click();
        QVERIFY(pollUntil(
            window, [&] { return state(window) != "Idle"; }, 5000));
        QVERIFY(!child<QPushButton>(probing, "pushButtonProbe")->isEnabled());
        QVERIFY(!child<QPushButton>(&window, "pushButtonOpenProbeDialog")->isEnabled());
        if (!touches) {
            QVERIFY(pollUntil(
                window, [&] { return state(window) == "Alarm"; }, 5000));
            child<QPushButton>(&window, "pushButtonKillLockCmd")->click();
        }
        QVERIFY(pollUntil(
            window, [&] { return state(window) == "Idle"; }, 5000));
        auto *workZ = child<QLCDNumber>(&window, "lcdNumberWorkZ");
        if (touches) {
            QVERIFY(pollUntil(
                window, [&] { return workZ->value() == 1.55; }, 3000));
            QCOMPARE(sim.countLogged("G92 Z1.55"), 1);
        } else {
            pollUntil(
                window, [] { return false; }, 300);
            QCOMPARE(sim.countLogged("G92 Z1.55"), 0);
            QCOMPARE(workZ->value(), child<QLCDNumber>(&window, "lcdNumberMachineZ")->value());
        }
        QVERIFY(sim.loggedLines().contains(probeCommand('Z', distance, 20)));
        QVERIFY(child<QPushButton>(probing, "pushButtonProbe")->isEnabled());
    }
};

ORLO_TEST_MAIN(TestProbingDialog)
#include "tst_ProbingDialog.moc"
