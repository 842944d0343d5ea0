#include "ProgramGenerator.h"
#include "Station.h"
#include "TestMain.h"
#include "VirtualJoystick.h"

#include <QAction>

#include <QLCDNumber>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

using namespace WindowProbe;

// Jogging as the operator does it, with the lines checked where they arrive: at the virtual
// controller.
class TestJogging : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Station> station;

    template <typename T> T *widget(const char *name) { return station->widget<T>(name); }

    void startStation(const QVariantMap &gamepad = {})
    {
        QVariantMap keys;
        for (auto value = gamepad.cbegin(); value != gamepad.cend(); ++value)
            keys.insert("GamepadSettings/" + value.key(), value.value());
        station = std::make_unique<Station>(QStringList{"--time-scale", "50"}, false, keys);
        QVERIFY(station->start());
        station->newLines();
    }

    QStringList newLines() { return station->newLines(); }

    static QStringList moveLines(const QStringList &lines)
    {
        return lines.filter(QRegularExpression("^G01"));
    }

    void chooseStep(const char *radio) { widget<QRadioButton>(radio)->click(); }
    void setFeed(int feed) { widget<QSpinBox>("spinBoxFeedRate")->setValue(feed); }

    void becomeIdle()
    {
        QVERIFY(station->reaches("Idle"));
        newLines();
    }

private slots:
    void cleanup() { station.reset(); }

    void stepJogs_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<int>("feed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("line");
        QTest::newRow("10 mm X-") << "radioButton10mm" << 1500 << "pushButtonMinusX"
                                  << "G01 X-10 F1500";
        QTest::newRow("1/10 mm Z+ capped") << "radioButton01mm" << 2000 << "pushButtonPlusZ"
                                           << "G01 Z+0.1 F500";
        QTest::newRow("100 mm Y+") << "radioButton100mm" << 10 << "pushButtonPlusY"
                                   << "G01 Y+100 F10";
        QTest::newRow("1/100 mm Z- slow") << "radioButton001mm" << 400 << "pushButtonMinusZ"
                                          << "G01 Z-0.01 F400";
        QTest::newRow("custom starts at 0") << "radioButtonCustom" << 1500 << "pushButtonPlusY"
                                            << "G01 Y+0 F1500";
    }

    void stepJogs()
    {
        QFETCH(QString, radio);
        QFETCH(int, feed);
        QFETCH(QString, button);
        QFETCH(QString, line);
        startStation();
        chooseStep(qPrintable(radio));
        setFeed(feed);
        newLines();
        widget<QPushButton>(qPrintable(button))->click();
        QCOMPARE(newLines(), (QStringList{"G91", line, "?"}));
    }

    void positionsFollowTheJog()
    {
        startStation();
        chooseStep("radioButton10mm");
        widget<QPushButton>("pushButtonMinusX")->click();
        widget<QPushButton>("pushButtonPlusY")->click();
        QTRY_VERIFY_WITH_TIMEOUT((widget<QPushButton>("pushButtonStatusCmd")->click(),
                                  QTest::qWait(50),
                                  widget<QLCDNumber>("lcdNumberMachineY")->value() == 10.0),
                                 5000);
        QCOMPARE(widget<QLCDNumber>("lcdNumberMachineX")->value(), -10.0);
        QCOMPARE(widget<QLCDNumber>("lcdNumberWorkX")->value(), -10.0);
    }

    void customStep()
    {
        startStation();
        chooseStep("radioButtonCustom");
        auto *custom = widget<QDoubleSpinBox>("doubleSpinBoxCustomStep");
        custom->setValue(0.25);
        newLines();
        widget<QPushButton>("pushButtonPlusY")->click();
        QCOMPARE(moveLines(newLines()), QStringList{"G01 Y+0.25 F1500"});
        custom->setValue(1000);
        QCOMPARE(custom->value(), 999.99);
    }

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
        startStation();
        setFeed(feed);
        auto *jog = widget<QPushButton>(qPrintable(button));
        newLines();
        QTest::mousePress(jog, Qt::LeftButton);
        QTest::qWait(700);
        const QStringList held = newLines();
        QTest::mouseRelease(jog, Qt::LeftButton);
        const QStringList moves = moveLines(held);
        QVERIFY2(moves.size() >= 2 && moves.size() <= 5, qPrintable(held.join('|')));
        QCOMPARE(moves, QVector<QString>(moves.size(), line).toList());
        QCOMPARE(held.count("G91"), moves.size());
        QTest::qWait(500);
        QCOMPARE(moveLines(newLines()), QStringList{}); // released: no more moves
    }

    void clickInContinuousModeSendsNothing()
    {
        startStation();
        newLines();
        widget<QPushButton>("pushButtonPlusX")->click();
        QCOMPARE(newLines(), QStringList{});
    }

    void feedSliderAndSpinBox()
    {
        startStation();
        auto *spin = widget<QSpinBox>("spinBoxFeedRate");
        auto *slider = widget<QSlider>("verticalSliderFeedRate");
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, "1234");
        QTest::keyClick(spin, Qt::Key_Return);
        QCOMPARE(slider->value(), 123);
        QCOMPARE(spin->value(), 1230);

        slider->setValue(150);
        QCOMPARE(spin->value(), 1500);
        spin->selectAll();
        QTest::keyClicks(spin, "1505");
        QTest::keyClick(spin, Qt::Key_Return);
        QCOMPARE(slider->value(), 150);
        QCOMPARE(spin->value(), 1505);
    }

    void spindleAndCoolant()
    {
        startStation();
        becomeIdle();
        auto *spindle = widget<QPushButton>("pushButtonSpindle");
        spindle->click();
        QCOMPARE(newLines(), QStringList{"M3"});
        QCOMPARE(spindle->text(), QStringLiteral("Spindle Off"));
        spindle->click();
        QCOMPARE(newLines(), QStringList{"M5"});
        QCOMPARE(spindle->text(), QStringLiteral("Spindle On"));

        auto *coolant = widget<QPushButton>("pushButtonCoolant");
        coolant->click();
        QCOMPARE(newLines(), QStringList{"M7"});
        QCOMPARE(coolant->text(), QStringLiteral("Coolant Off"));
        coolant->click();
        QCOMPARE(newLines(), QStringList{"M9"});
        QCOMPARE(coolant->text(), QStringLiteral("Coolant On"));
    }

    void gamepadSlowJogsInAnyMode()
    {
        VirtualJoystick pad;
        pad.centre();
        startStation({{"BtnSlow", 2}, {"SlowSpeed", 50}});
        chooseStep("radioButton10mm");
        QTest::qWait(200); // the gamepad finds the joystick
        newLines();
        pad.setButton(2, true);
        pad.setX(65535);
        QTest::qWait(700);
        pad.centre();
        pad.setButton(2, false);
        const QStringList moves = moveLines(newLines());
        QVERIFY2(moves.size() >= 2, qPrintable(moves.join('|')));
        QCOMPARE(moves, QVector<QString>(moves.size(), "G01 X+0.167 F50").toList());
        QTest::qWait(400);
        QCOMPARE(moveLines(newLines()), QStringList{});
    }

    void gamepadDefinedStepSendsOneStep()
    {
        VirtualJoystick pad;
        pad.centre();
        startStation({{"BtnDefinedStep", 3}});
        chooseStep("radioButton1mm");
        QTest::qWait(200);
        pad.setButton(3, true);
        QTest::qWait(150);
        newLines();
        pad.setY(0); // Y+
        QTest::qWait(700);
        QCOMPARE(moveLines(newLines()), QStringList{"G01 Y+1 F1500"});
        pad.centre();
        pad.setButton(3, false);
    }

    void gamepadButtonsForProgramSpindleAndZero()
    {
        VirtualJoystick pad;
        pad.centre();
        startStation({{"BtnZero", 0}, {"BtnIndex", 1}, {"BtnStart", 5}});
        becomeIdle();
        QTest::qWait(200);
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
        becomeIdle();
        pad.setButton(5, true);
        QTest::qWait(200);
        pad.setButton(5, false);
        QTest::qWait(200);
        pad.setButton(5, true); // a second Start while the first job runs does nothing
        QTest::qWait(200);
        QCOMPARE(station->received().mid(station->received().indexOf("G0 X1")),
                 (QStringList{"G0 X1", "G1 X20 F10"}));
    }

    // Held stick during a program: nothing of it reaches the controller, and it says so once.
    void stickDuringAProgramMovesNothing()
    {
        VirtualJoystick pad;
        pad.centre();
        startStation();
        station->load(generatedProgram(400, 2).join('\n'));
        becomeIdle();
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
        QVERIFY(!moveLines(newLines()).isEmpty());
        unplug ? pad.unplug()
               : station->window->findChild<QAction *>("actionGamepad_Config")->trigger();
        QTest::qWait(300);
        newLines();
        QTest::qWait(600);
        QCOMPARE(moveLines(newLines()), QStringList{});
    }
};

ORLO_TEST_MAIN(TestJogging)
#include "tst_Jogging.moc"
