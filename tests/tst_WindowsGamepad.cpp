#include "TestMain.h"
#include "VirtualJoystick.h"

#include "dialogs/GamepadMapping.h"
#include "dialogs/WindowsGamepad.h"

#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QThread>

using namespace GamepadMapping;
Q_DECLARE_METATYPE(GamepadButton)
Q_DECLARE_METATYPE(Assignments)

namespace {

const Assignments none = {AssignmentUndefined, AssignmentUndefined, AssignmentUndefined,
                          AssignmentUndefined, AssignmentUndefined, AssignmentUndefined,
                          AssignmentUndefined, AssignmentUndefined};

QList<int> on(const Inputs &inputs)
{
    QList<int> pressed;
    for (int input = 0; input < gamepadButtonCount; ++input) {
        if (inputs[size_t(input)])
            pressed << input;
    }
    return pressed;
}

QList<int> on(int x, int y, quint32 buttons, const Assignments &assignments)
{
    JoystickState state;
    state.x = quint16(x);
    state.y = quint16(y);
    state.buttons = buttons;
    return on(inputsFrom(state, assignments));
}

} // namespace

// How readings become machine inputs, and the gamepad against joysticks that SDL itself makes
// up: every reading goes through SDL.
class TestWindowsGamepad : public QObject
{
    Q_OBJECT

private:
    static constexpr int settle = 200; // four polls

    static QString caption(WindowsGamepad &pad, const char *button)
    {
        return pad.findChild<QPushButton *>(button)->text();
    }

    static void click(WindowsGamepad &pad, const char *button)
    {
        pad.findChild<QPushButton *>(button)->click();
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

    void inputs_data()
    {
        QTest::addColumn<QPoint>("stick");
        QTest::addColumn<uint>("pressed");
        QTest::addColumn<Assignments>("assignments");
        QTest::addColumn<QList<int>>("inputs");
        const uint all = 0xffffffffu;
        Assignments some = none;
        some[6] = 3;  // Start
        some[3] = 0;  // Slow
        some[7] = 31; // Spindle
        QTest::newRow("X 33512") << QPoint(33512, 32767) << 0u << none << QList<int>{XPlus};
        QTest::newRow("X 33511") << QPoint(33511, 32767) << 0u << none << QList<int>{};
        QTest::newRow("X 31510") << QPoint(31510, 32767) << 0u << none << QList<int>{XMinus};
        QTest::newRow("X 31511") << QPoint(31511, 32767) << 0u << none << QList<int>{};
        QTest::newRow("Y 31510 is plus") << QPoint(32767, 31510) << 0u << none << QList<int>{YPlus};
        QTest::newRow("Y 33512 is minus")
            << QPoint(32767, 33512) << 0u << none << QList<int>{YMinus};
        QTest::newRow("corners") << QPoint(0, 65535) << 0u << none << QList<int>{XMinus, YMinus};
        QTest::newRow("other corner") << QPoint(65535, 0) << 0u << none << QList<int>{XPlus, YPlus};
        QTest::newRow("one button")
            << QPoint(32767, 32767) << (1u << 3) << some << QList<int>{Start};
        QTest::newRow("every button")
            << QPoint(32767, 32767) << all << some << QList<int>{Slow, Start, Spindle};
        QTest::newRow("nothing assigned") << QPoint(32767, 32767) << all << none << QList<int>{};
        QTest::newRow("assignments out of range")
            << QPoint(32767, 32767) << all << Assignments{99, -7, 32, -1, -2, 1000, -32, 64}
            << QList<int>{};
    }

    void inputs()
    {
        QFETCH(QPoint, stick);
        QFETCH(uint, pressed);
        QFETCH(Assignments, assignments);
        QFETCH(QList<int>, inputs);
        QCOMPARE(on(stick.x(), stick.y(), pressed, assignments), inputs);
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

    // Once per change: nothing while inside the dead band or while held.
    void stickPressesAndReleasesOncePerChange()
    {
        VirtualJoystick stick;
        QVERIFY(stick.isValid());
        stick.centre();
        WindowsGamepad pad;
        QSignalSpy pressed(&pad, &WindowsGamepad::ButtonPressed);
        QSignalSpy released(&pad, &WindowsGamepad::ButtonReleased);
        for (const int x : {33511, 33512, 33600, 33511}) {
            QTest::qWait(settle);
            stick.setX(x);
        }
        QTest::qWait(settle);
        QCOMPARE(buttons(pressed), QList<int>{XPlus});
        QCOMPARE(buttons(released), QList<int>{XPlus});
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

    // The lowest pressed button is taken from whatever had it; what is still waiting at saving
    // stays undefined.
    void learnedAndSavedAssignmentsComeBack()
    {
        seedAssignments({{"BtnZMinus", 4}});
        VirtualJoystick stick;
        stick.centre();
        {
            WindowsGamepad pad;
            pad.show();
            pad.findChild<QSpinBox *>("spinBoxSlow")->setValue(70);
            click(pad, "pushButtonZPlus");
            QTest::qWait(settle);
            stick.setButton(4, true);
            QTRY_COMPARE(caption(pad, "pushButtonZPlus"), QStringLiteral("Button 4"));
            QCOMPARE(caption(pad, "pushButtonZMinus"), QStringLiteral("Undefined"));
            click(pad, "pushButtonStart");
            stick.setButton(5, true);
            stick.setButton(2, true);
            QTRY_COMPARE(caption(pad, "pushButtonStart"), QStringLiteral("Button 2"));
            click(pad, "pushButtonSpindle");
            click(pad, "pushButtonSave");
            QVERIFY(!pad.isVisible());
        }
        WindowsGamepad again;
        QCOMPARE(again.GetSlowSpeed(), 70);
        QCOMPARE(again.GetMediumSpeed(), 300);
        again.show();
        QCOMPARE(caption(again, "pushButtonZPlus"), QStringLiteral("Button 4"));
        QCOMPARE(caption(again, "pushButtonStart"), QStringLiteral("Button 2"));
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

    // Only a usable stored button counts: of all 40 buttons pressed, the one assigned.
    void nonsenseFromTheDeviceOrTheStore()
    {
        seedAssignments({{"BtnZPlus", 99},
                         {"BtnZMinus", -7},
                         {"BtnZero", "text"},
                         {"BtnSlow", -1},
                         {"BtnMedium", "2.5"},
                         {"BtnStart", "31 "},
                         {"BtnDefinedStep", "3"},
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
        stick.setX(0);
        stick.setY(65535);
        QTRY_COMPARE(buttons(pressed), (QList<int>{DefinedStep, XMinus, YMinus}));
        pad.show();
        for (const char *name : {"pushButtonZPlus", "pushButtonZMinus", "pushButtonZero",
                                 "pushButtonSlowSpeed", "pushButtonMediumSpeed"})
            QCOMPARE(caption(pad, name), QStringLiteral("Undefined"));
    }
};

ORLO_TEST_MAIN(TestWindowsGamepad)
#include "tst_WindowsGamepad.moc"
