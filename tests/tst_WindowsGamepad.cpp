#include "TestMain.h"
#include "VirtualJoystick.h"

#include "dialogs/WindowsGamepad.h"

#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QThread>

Q_DECLARE_METATYPE(GamepadButton)

// The gamepad against joysticks that SDL itself makes up: every reading goes through SDL.
class TestWindowsGamepad : public QObject
{
    Q_OBJECT

private:
    static constexpr int settle = 200; // four polls

    static QString caption(WindowsGamepad &pad, const char *button)
    {
        return pad.findChild<QPushButton *>(button)->text();
    }

    static QList<int> buttons(const QSignalSpy &spy)
    {
        QList<int> list;
        for (const auto &arguments : spy)
            list << arguments.at(0).value<GamepadButton>();
        return list;
    }

    static void seedAssignments(const QVariantMap &values)
    {
        QSettings store("Orlo", "Orlo-CNC");
        store.remove("GamepadSettings");
        store.beginGroup("GamepadSettings");
        for (auto value = values.cbegin(); value != values.cend(); ++value)
            store.setValue(value.key(), value.value());
    }

private slots:
    void initTestCase() { qRegisterMetaType<GamepadButton>(); }

    void init() { seedAssignments({}); }

    void stickPressesAndReleasesOncePerChange_data()
    {
        QTest::addColumn<bool>("xAxis");
        QTest::addColumn<int>("outside");
        QTest::addColumn<int>("inside");
        QTest::addColumn<int>("input");
        QTest::newRow("X right") << true << 33512 << 33511 << int(XPlus);
        QTest::newRow("X left") << true << 31510 << 31511 << int(XMinus);
        QTest::newRow("Y up") << false << 31510 << 31511 << int(YPlus);
        QTest::newRow("Y down") << false << 33512 << 33511 << int(YMinus);
    }

    void stickPressesAndReleasesOncePerChange()
    {
        QFETCH(bool, xAxis);
        QFETCH(int, outside);
        QFETCH(int, inside);
        QFETCH(int, input);
        VirtualJoystick stick;
        QVERIFY(stick.isValid());
        stick.centre();
        WindowsGamepad pad;
        QSignalSpy pressed(&pad, &WindowsGamepad::ButtonPressed);
        QSignalSpy released(&pad, &WindowsGamepad::ButtonReleased);
        QTest::qWait(settle);

        xAxis ? stick.setX(inside) : stick.setY(inside);
        QTest::qWait(settle);
        QCOMPARE(pressed.count(), 0);
        xAxis ? stick.setX(outside) : stick.setY(outside);
        QTest::qWait(settle);
        QCOMPARE(buttons(pressed), QList<int>{input});
        QVERIFY(pad.heldButtons()[size_t(input)]);
        QTest::qWait(settle); // held: nothing more
        QCOMPARE(pressed.count(), 1);
        xAxis ? stick.setX(inside) : stick.setY(inside);
        QTest::qWait(settle);
        QCOMPARE(buttons(released), QList<int>{input});
        QCOMPARE(pressed.count(), 1);
    }

    void assignedButtonRaisesItsInput()
    {
        seedAssignments({{"BtnStart", 3}, {"BtnZero", 31}});
        VirtualJoystick stick(32);
        stick.centre();
        WindowsGamepad pad;
        QSignalSpy pressed(&pad, &WindowsGamepad::ButtonPressed);
        QTest::qWait(settle);
        stick.setButton(3, true);
        QTest::qWait(settle);
        QCOMPARE(buttons(pressed), QList<int>{Start});
        stick.setButton(31, true);
        QTest::qWait(settle);
        QCOMPARE(buttons(pressed), (QList<int>{Start, ZeroAll}));
    }

    void learningFromTheJoystick()
    {
        seedAssignments({{"BtnZMinus", 4}});
        VirtualJoystick stick;
        stick.centre();
        WindowsGamepad pad;
        pad.show();
        QCOMPARE(caption(pad, "pushButtonZMinus"), QStringLiteral("Button 4"));
        QCOMPARE(caption(pad, "pushButtonZPlus"), QStringLiteral("Undefined"));
        pad.findChild<QPushButton *>("pushButtonZPlus")->click();
        QCOMPARE(caption(pad, "pushButtonZPlus"), QStringLiteral("Press Button to Define"));
        QTest::qWait(settle);
        stick.setButton(4, true);
        QTRY_COMPARE(caption(pad, "pushButtonZPlus"), QStringLiteral("Button 4"));
        QCOMPARE(caption(pad, "pushButtonZMinus"), QStringLiteral("Undefined"));
        stick.setButton(4, false);

        pad.findChild<QPushButton *>("pushButtonStart")->click();
        stick.setButton(5, true);
        stick.setButton(2, true);
        QTRY_COMPARE(caption(pad, "pushButtonStart"), QStringLiteral("Button 2"));
    }

    void nothingReachesTheMachineWhileConfiguring()
    {
        VirtualJoystick stick;
        stick.centre();
        WindowsGamepad pad;
        QSignalSpy pressed(&pad, &WindowsGamepad::ButtonPressed);
        QTest::qWait(settle);
        pad.show();
        stick.setX(65535);
        stick.setButton(0, true);
        QTest::qWait(settle);
        QCOMPARE(pressed.count(), 0);
        QVERIFY(!pad.heldButtons()[XPlus]);
        pad.hide();
        QTRY_COMPARE(buttons(pressed), QList<int>{XPlus});
    }

    // A held direction must not outlive the reading that holds it.
    void heldInputsAreReleased_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("unplugged") << "unplug";
        QTest::newRow("dialog opened") << "show";
        QTest::newRow("no fresh reading") << "stall";
    }

    void heldInputsAreReleased()
    {
        QFETCH(QString, how);
        VirtualJoystick stick;
        stick.centre();
        WindowsGamepad pad;
        QSignalSpy released(&pad, &WindowsGamepad::ButtonReleased);
        stick.setX(65535);
        QTRY_VERIFY(pad.heldButtons()[XPlus]);
        if (how == "unplug") {
            stick.unplug();
            QTRY_COMPARE(buttons(released), QList<int>{XPlus});
        } else if (how == "show") {
            pad.show();
            QCOMPARE(buttons(released), QList<int>{XPlus});
        } else {
            QThread::msleep(WindowsGamepad::deadManMs + 50); // the poll cannot run
        }
        QVERIFY(!pad.heldButtons()[XPlus]);
    }

    void savedAssignmentsComeBack()
    {
        VirtualJoystick stick;
        stick.centre();
        {
            WindowsGamepad pad;
            pad.show();
            pad.findChild<QSpinBox *>("spinBoxSlow")->setValue(70);
            pad.findChild<QPushButton *>("pushButtonDefinedStep")->click();
            QTest::qWait(settle);
            stick.setButton(7, true);
            QTRY_COMPARE(caption(pad, "pushButtonDefinedStep"), QStringLiteral("Button 7"));
            stick.setButton(7, false);
            pad.findChild<QPushButton *>("pushButtonSpindle")->click(); // still waiting
            pad.findChild<QPushButton *>("pushButtonSave")->click();
            QVERIFY(!pad.isVisible());
        }
        QSettings store("Orlo", "Orlo-CNC");
        QCOMPARE(store.value("GamepadSettings/BtnDefinedStep").toInt(), 7);
        QCOMPARE(store.value("GamepadSettings/BtnIndex").toInt(), -2);
        QCOMPARE(store.value("GamepadSettings/SlowSpeed").toInt(), 70);
        QCOMPARE(store.value("GamepadSettings/MediumSpeed").toInt(), 300);

        WindowsGamepad again;
        QCOMPARE(again.GetSlowSpeed(), 70);
        QCOMPARE(again.GetMediumSpeed(), 300);
        again.show();
        QCOMPARE(caption(again, "pushButtonDefinedStep"), QStringLiteral("Button 7"));
        QCOMPARE(caption(again, "pushButtonSpindle"), QStringLiteral("Undefined"));
    }

    void joysticksComeAndGo()
    {
        WindowsGamepad pad;
        QSignalSpy pressed(&pad, &WindowsGamepad::ButtonPressed);
        QTest::qWait(settle);
        {
            VirtualJoystick first;
            first.centre();
            QTest::qWait(settle);
            first.setX(0);
            QTRY_COMPARE(buttons(pressed), QList<int>{XMinus});
        } // pulled out
        QTest::qWait(settle);
        VirtualJoystick second;
        second.setX(32768);
        second.setY(0);
        QTRY_COMPARE(buttons(pressed), (QList<int>{XMinus, YPlus}));
    }

    void nonsenseFromTheDeviceOrTheStore()
    {
        seedAssignments({{"BtnZPlus", 99},
                         {"BtnZMinus", -7},
                         {"BtnZero", "text"},
                         {"BtnStart", "31 "},
                         {"SlowSpeed", "fast"},
                         {"MediumSpeed", 99999}});
        VirtualJoystick stick(40);
        stick.centre();
        WindowsGamepad pad;
        QCOMPARE(pad.GetSlowSpeed(), 50);
        QCOMPARE(pad.GetMediumSpeed(), 3000);
        QSignalSpy pressed(&pad, &WindowsGamepad::ButtonPressed);
        QTest::qWait(settle);
        for (int button = 0; button < 40; ++button)
            stick.setButton(button, button != 31);
        QTest::qWait(settle);
        QCOMPARE(pressed.count(), 0); // no button is assigned to anything usable
        stick.setX(0);
        stick.setY(65535);
        QTRY_COMPARE(buttons(pressed), (QList<int>{XMinus, YMinus}));
        pad.show();
        for (const char *name : {"pushButtonZPlus", "pushButtonZMinus", "pushButtonZero"})
            QCOMPARE(caption(pad, name), QStringLiteral("Undefined"));
    }
};

ORLO_TEST_MAIN(TestWindowsGamepad)
#include "tst_WindowsGamepad.moc"
