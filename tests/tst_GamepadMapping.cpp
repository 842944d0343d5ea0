#include "TestMain.h"

#include "dialogs/GamepadMapping.h"

using namespace GamepadMapping;

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

JoystickState stick(int x, int y, quint32 buttons = 0)
{
    JoystickState state;
    state.x = quint16(x);
    state.y = quint16(y);
    state.buttons = buttons;
    return state;
}

} // namespace

class TestGamepadMapping : public QObject
{
    Q_OBJECT

private slots:
    void stickThresholds_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QList<int>>("inputs");
        QTest::newRow("centre") << 32767 << 32767 << QList<int>{};
        QTest::newRow("X 33512") << 33512 << 32767 << QList<int>{XPlus};
        QTest::newRow("X 33511") << 33511 << 32767 << QList<int>{};
        QTest::newRow("X 31510") << 31510 << 32767 << QList<int>{XMinus};
        QTest::newRow("X 31511") << 31511 << 32767 << QList<int>{};
        QTest::newRow("Y 31510 is plus") << 32767 << 31510 << QList<int>{YPlus};
        QTest::newRow("Y 31511") << 32767 << 31511 << QList<int>{};
        QTest::newRow("Y 33512 is minus") << 32767 << 33512 << QList<int>{YMinus};
        QTest::newRow("Y 33511") << 32767 << 33511 << QList<int>{};
        QTest::newRow("corners") << 0 << 65535 << QList<int>{XMinus, YMinus};
        QTest::newRow("other corner") << 65535 << 0 << QList<int>{XPlus, YPlus};
    }

    void stickThresholds()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QList<int>, inputs);
        QCOMPARE(on(inputsFrom(stick(x, y), none)), inputs);
    }

    void buttonsFollowTheirAssignments()
    {
        Assignments assignments = none;
        assignments[6] = 3;  // Start
        assignments[3] = 0;  // Slow
        assignments[7] = 31; // Spindle
        QCOMPARE(on(inputsFrom(stick(32767, 32767, 1u << 3), assignments)), QList<int>{Start});
        QCOMPARE(on(inputsFrom(stick(32767, 32767, 0xffffffffu), assignments)),
                 (QList<int>{Slow, Start, Spindle}));
        QCOMPARE(on(inputsFrom(stick(32767, 32767, 0xffffffffu), none)), QList<int>{});
    }

    void outOfRangeAssignmentsMatchNothing()
    {
        Assignments assignments = {99, -7, 32, -1, -2, 1000, -32, 64};
        QCOMPARE(on(inputsFrom(stick(32767, 32767, 0xffffffffu), assignments)), QList<int>{});
    }

    void learningTakesTheLowestButton()
    {
        Assignments assignments = none;
        assignments[1] = 4; // Z- has button 4
        startLearning(assignments, 0);
        QCOMPARE(label(assignments[0]), QStringLiteral("Press Button to Define"));
        QVERIFY(!learn(assignments, 0));
        QVERIFY(learn(assignments, (1u << 4) | (1u << 9)));
        QCOMPARE(label(assignments[0]), QStringLiteral("Button 4"));
        QCOMPARE(label(assignments[1]), QStringLiteral("Undefined"));
        QVERIFY(!learn(assignments, 1u << 2)); // nothing waits any more

        startLearning(assignments, 2);
        QVERIFY(learn(assignments, (1u << 5) | (1u << 2)));
        QCOMPARE(assignments[2], 2);
    }

    void anotherClickCancelsThePendingLearn()
    {
        Assignments assignments = none;
        startLearning(assignments, 0);
        startLearning(assignments, 1);
        QCOMPARE(assignments[0], AssignmentUndefined);
        QCOMPARE(assignments[1], AssignmentWaiting);
        startLearning(assignments, 1);
        QCOMPARE(assignments[1], AssignmentWaiting);
    }

    void storedValues_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("assignment");
        QTest::newRow("missing") << QVariant() << AssignmentUndefined;
        QTest::newRow("button 3") << QVariant(3) << 3;
        QTest::newRow("text digits") << QVariant("31") << 31;
        QTest::newRow("99") << QVariant(99) << AssignmentUndefined;
        QTest::newRow("-7") << QVariant(-7) << AssignmentUndefined;
        QTest::newRow("waiting") << QVariant(-1) << AssignmentUndefined;
        QTest::newRow("text") << QVariant("text") << AssignmentUndefined;
        QTest::newRow("fraction") << QVariant("2.5") << AssignmentUndefined;
    }

    void storedValues()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, assignment);
        QCOMPARE(fromStore(stored), assignment);
    }
};

ORLO_TEST_MAIN(TestGamepadMapping)
#include "tst_GamepadMapping.moc"
