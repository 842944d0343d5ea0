#include "ProgramGenerator.h"
#include "Station.h"
#include "TestMain.h"
#include "VirtualJoystick.h"

#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace WindowProbe;

// Jogging as the operator does it, by button and by gamepad, with the lines checked where they
// arrive: at the virtual controller (0.9, where a jog is a relative G01).
class TestJogging : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Station> station;
    std::unique_ptr<Station> buttons; // one for all the tests without a gamepad

    void useButtonStation()
    {
        if (!buttons) {
            startStation();
            buttons = std::move(station);
        }
        station = std::move(buttons);
        QVERIFY(station->reaches("Idle"));
        newLines();
    }

    template <typename T> T *widget(const char *name) { return station->widget<T>(name); }
    QStringList newLines() { return station->newLines(); }
    static QStringList moves(const QStringList &lines) { return lines.filter(QRegExp("^G01")); }

    void startStation(const QVariantMap &gamepad = {})
    {
        QVariantMap keys;
        for (auto value = gamepad.cbegin(); value != gamepad.cend(); ++value)
            keys.insert("GamepadSettings/" + value.key(), value.value());
        station = std::make_unique<Station>(QStringList{"--time-scale", "50"}, false, keys);
        QVERIFY(station->start());
        newLines();
    }

private slots:
    void cleanup()
    {
        if (QTest::currentTestFunction() == QLatin1String("stepJogs") ||
            QTest::currentTestFunction() == QLatin1String("continuousJogWhileHeld"))
            buttons = std::move(station);
        station.reset();
    }

    void cleanupTestCase() { buttons.reset(); }

    // Z is never jogged faster than 500 mm/min; a click in continuous mode sends nothing.
    void stepJogs_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<double>("custom");
        QTest::addColumn<int>("feed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("lines");
        const auto row = [](const char *name, const char *radio, int feed, const char *button,
                            const char *line, double custom = 0) {
            QTest::newRow(name) << radio << custom << feed << button
                                << (*line ? QStringList{"G91", line, "?"} : QStringList());
        };
        row("10 mm X-", "radioButton10mm", 1500, "pushButtonMinusX", "G01 X-10 F1500");
        row("1/10 mm Z+ capped", "radioButton01mm", 2000, "pushButtonPlusZ", "G01 Z+0.1 F500");
        row("100 mm Y+", "radioButton100mm", 1000, "pushButtonPlusY", "G01 Y+100 F1000");
        row("1/100 mm Z- slow", "radioButton001mm", 400, "pushButtonMinusZ", "G01 Z-0.01 F400");
        row("custom starts at 0", "radioButtonCustom", 1500, "pushButtonPlusY", "G01 Y+0 F1500");
        row("custom 0.25", "radioButtonCustom", 1500, "pushButtonPlusY", "G01 Y+0.25 F1500", 0.25);
        row("continuous", "radioButtonContinious", 1500, "pushButtonPlusX", "");
    }

    void stepJogs()
    {
        QFETCH(QString, radio);
        QFETCH(double, custom);
        QFETCH(int, feed);
        QFETCH(QString, button);
        QFETCH(QStringList, lines);
        useButtonStation();
        widget<QRadioButton>(qPrintable(radio))->click();
        if (custom > 0)
            widget<QDoubleSpinBox>("doubleSpinBoxCustomStep")->setValue(custom);
        widget<QSpinBox>("spinBoxFeedRate")->setValue(feed);
        newLines();
        widget<QPushButton>(qPrintable(button))->click();
        QCOMPARE(newLines(), lines);
    }

    // Held, a button sends a short move ahead of the machine again and again; released, no more.
    void continuousJogWhileHeld_data()
    {
        QTest::addColumn<int>("feed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("line");
        QTest::newRow("Y+ at 1500") << 1500 << "pushButtonPlusY"
                                    << "G01 Y+5.000 F1500";
        QTest::newRow("Y+ at 10") << 10 << "pushButtonPlusY"
                                  << "G01 Y+0.033 F10";
        QTest::newRow("Z- at 600 capped") << 600 << "pushButtonMinusZ"
                                          << "G01 Z-1.667 F500";
    }

    void continuousJogWhileHeld()
    {
        QFETCH(int, feed);
        QFETCH(QString, button);
        QFETCH(QString, line);
        useButtonStation();
        widget<QRadioButton>("radioButtonContinious")->click();
        widget<QSpinBox>("spinBoxFeedRate")->setValue(feed);
        auto *jog = widget<QPushButton>(qPrintable(button));
        QTest::mousePress(jog, Qt::LeftButton);
        QTest::qWait(700);
        const QStringList held = newLines();
        QTest::mouseRelease(jog, Qt::LeftButton);
        const QStringList sent = moves(held);
        QVERIFY2(sent.size() >= 2 && sent.size() <= 5, qPrintable(held.join('|')));
        QCOMPARE(sent, QVector<QString>(sent.size(), line).toList());
        QCOMPARE(held.count("G91"), sent.size());
        QTest::qWait(500);
        QCOMPARE(moves(newLines()), QStringList{});
    }

    // The slow button jogs continuously at its own speed in any mode; the defined-step button
    // makes a push of the stick one step.
    void gamepadJogs_data()
    {
        QTest::addColumn<QVariantMap>("keys");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("alongX");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");
        QTest::newRow("slow") << QVariantMap{{"BtnSlow", 2}, {"SlowSpeed", 50}} << 2 << true
                              << "G01 X+0.167 F50" << 2 << 5;
        QTest::newRow("defined step")
            << QVariantMap{{"BtnDefinedStep", 3}} << 3 << false << "G01 Y+1 F1500" << 1 << 1;
    }

    void gamepadJogs()
    {
        QFETCH(QVariantMap, keys);
        QFETCH(int, button);
        QFETCH(bool, alongX);
        QFETCH(QString, line);
        QFETCH(int, least);
        QFETCH(int, most);
        VirtualJoystick pad;
        pad.centre();
        startStation(keys);
        widget<QRadioButton>(alongX ? "radioButton10mm" : "radioButton1mm")->click();
        QTest::qWait(200); // the gamepad finds the joystick
        pad.setButton(button, true);
        QTest::qWait(150);
        newLines();
        alongX ? pad.setX(65535) : pad.setY(0);
        QTest::qWait(700);
        pad.centre();
        pad.setButton(button, false);
        const QStringList sent = moves(newLines());
        QVERIFY2(sent.size() >= least && sent.size() <= most, qPrintable(sent.join('|')));
        QCOMPARE(sent, QVector<QString>(sent.size(), line).toList());
        QTest::qWait(400);
        QCOMPARE(moves(newLines()), QStringList{});
    }

    // A second Start while the first job runs does nothing.
    void gamepadButtonsForZeroSpindleAndProgram()
    {
        VirtualJoystick pad;
        pad.centre();
        startStation({{"BtnZero", 0}, {"BtnIndex", 1}, {"BtnStart", 5}});
        QVERIFY(station->reaches("Idle"));
        QTest::qWait(200);
        newLines();
        pad.setButton(0, true);
        QTest::qWait(200);
        QCOMPARE(newLines(), QStringList{"G92 X0 Y0 Z0"});
        pad.setButton(1, true);
        QTest::qWait(200);
        QCOMPARE(newLines(), QStringList{"M3"});
        QCOMPARE(widget<QPushButton>("pushButtonSpindle")->text(), QStringLiteral("Spindle Off"));
        pad.setButton(0, false);
        pad.setButton(1, false);

        station->load("G0 X1\nG1 X20 F10");
        QVERIFY(station->reaches("Idle"));
        for (bool pressed : {true, false, true}) {
            pad.setButton(5, pressed);
            QTest::qWait(200);
        }
        QCOMPARE(station->received().mid(station->received().indexOf("G0 X1")),
                 (QStringList{"G0 X1", "G1 X20 F10"}));
    }

    // A stick held during a program: nothing of it reaches the controller, and it says so once.
    void stickDuringAProgramMovesNothing()
    {
        VirtualJoystick pad;
        pad.centre();
        startStation();
        station->load(generatedProgram(200, 2).join('\n'));
        QVERIFY(station->reaches("Idle"));
        station->click("pushButtonSendGCode");
        pad.setX(65535);
        QTest::qWait(700);
        QVERIFY(station->jobText().startsWith("running"));
        pad.centre();
        QTRY_VERIFY_WITH_TIMEOUT(station->jobText().startsWith("finished"), 20000);
        QCOMPARE(station->received().count("G91"), 0);
        QCOMPARE(station->terminal().count("Not sent while a program runs: jog X+"), 1);
        QCOMPARE(station->sim.stat("overflowed_bytes"), 0);
    }

    // A stick pushed when the gamepad goes away, or when its dialog opens, moves no more.
    void noMotionNobodyAskedFor_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::newRow("unplugged") << true;
        QTest::newRow("dialog opened") << false;
    }

    void noMotionNobodyAskedFor()
    {
        QFETCH(bool, unplug);
        VirtualJoystick pad;
        pad.centre();
        startStation();
        QTest::qWait(200);
        pad.setY(65535);
        QTest::qWait(500);
        QVERIFY(!moves(newLines()).isEmpty());
        unplug ? pad.unplug()
               : station->window->findChild<QAction *>("actionGamepad_Config")->trigger();
        QTest::qWait(300);
        newLines();
        QTest::qWait(600);
        QCOMPARE(moves(newLines()), QStringList{});
    }
};

ORLO_TEST_MAIN(TestJogging)
#include "tst_Jogging.moc"
