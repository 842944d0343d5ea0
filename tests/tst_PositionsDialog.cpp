#include "RecordingMachine.h"
#include "SimProcess.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"
#include "dialogs/PositionCommands.h"
#include "dialogs/PositionsDialog.h"

#include <QAction>
#include <QGridLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>

#include <limits>

using namespace WindowProbe;
using Command = std::optional<QString>;
Q_DECLARE_METATYPE(Command)

// Saved positions: what a row stores, the commands a row gives (and when it gives none), the
// dialog's buttons, and a position saved and returned to on grblsim.
class TestPositionsDialog : public QObject
{
    Q_OBJECT

private:
    RecordingMachine *machine = nullptr;
    PositionsDialog *dialog = nullptr;

    QTableWidget *table() { return child<QTableWidget>(dialog, "tableWidget"); }
    void press(const char *button) { child<QPushButton>(dialog, button)->click(); }
    QStringList row(int index)
    {
        QStringList texts;
        for (int column = 0; column < 4; ++column)
            texts << table()->item(index, column)->text();
        return texts;
    }
    void saveAt(double x, double y, double z)
    {
        machine->work[0] = x;
        machine->work[1] = y;
        machine->work[2] = z;
        press("pushButtonSave");
    }

private slots:
    void init()
    {
        machine = new RecordingMachine;
        dialog = new PositionsDialog(machine);
    }

    void cleanup() { delete machine; }

    void rowCommands_data()
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
        QTest::newRow("two cells") << "G00" << QStringList{"1", "2"} << none;
    }

    void rowCommands()
    {
        QFETCH(QString, word);
        QFETCH(QStringList, cells);
        QFETCH(Command, command);
        QCOMPARE(positionCommand(word, cells), command);
    }


    void saveSetAndMove()
    {
        saveAt(10, -5.5, 2);
        QCOMPARE(table()->rowCount(), 1);
        QCOMPARE(row(0), (QStringList{"10", "-5.5", "2", "Position 1"}));
        table()->setCurrentCell(0, 3);
        press("pushButtonSet");
        QCOMPARE(machine->sent, QStringList{"G92 X10 Y-5.5 Z2"});
        machine->sent.clear();
        press("pushButtonMove");
        QCOMPARE(machine->sent, (QStringList{"G90", "G00 X10 Y-5.5 Z2"}));

        machine->sent.clear();
        table()->item(0, 0)->setText("7");
        press("pushButtonMove");
        QCOMPARE(machine->sent, (QStringList{"G90", "G00 X7 Y-5.5 Z2"}));
    }

    void storedToSixDigits()
    {
        saveAt(123.4567, -0.00001, 1e5);
        QCOMPARE(row(0), (QStringList{"123.457", "-1e-05", "100000", "Position 1"}));
        table()->setCurrentCell(0, 0);
        press("pushButtonSet"); // "-1e-05" would read as -1 and a stray E word
        QCOMPARE(machine->sent, QStringList());
    }

    void unusableCellsSendNothing_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty X") << 0 << "";
        QTest::newRow("letters in Y") << 1 << "abc";
        QTest::newRow("a second word in Z") << 2 << "1 G91";
        QTest::newRow("a second line") << 0 << "1\nM3";
        QTest::newRow("NUL") << 1 << QString("1") + QChar(0);
        QTest::newRow("endless digits") << 2 << QString(1000, '9');
    }

    void unusableCellsSendNothing()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        saveAt(1, 2, 3);
        table()->item(0, column)->setText(text);
        table()->setCurrentCell(0, 0);
        press("pushButtonSet");
        press("pushButtonMove");
        QCOMPARE(machine->sent, QStringList());
        QCOMPARE(table()->item(0, column)->text(), text); // the operator's text stays to mend
    }

    void nothingSentWithoutACurrentRow()
    {
        press("pushButtonSet");
        press("pushButtonMove");
        saveAt(1, 2, 3);
        table()->setCurrentCell(-1, -1);
        press("pushButtonSet");
        press("pushButtonMove");
        QCOMPARE(machine->sent, QStringList());
    }

    void rowWithoutCellsSendsNothing()
    {
        table()->insertRow(0);
        table()->setCurrentCell(0, 0);
        press("pushButtonSet");
        press("pushButtonMove");
        QCOMPARE(machine->sent, QStringList());
    }

    void deleteRemovesTheCurrentRow()
    {
        saveAt(1, 1, 1);
        saveAt(2, 2, 2);
        saveAt(3, 3, 3);
        QCOMPARE(table()->item(2, 3)->text(), QStringLiteral("Position 3"));
        table()->setCurrentCell(1, 0);
        press("pushButtonDelete");
        QCOMPARE(table()->rowCount(), 2);
        QCOMPARE(row(0), (QStringList{"1", "1", "1", "Position 1"}));
        QCOMPARE(row(1), (QStringList{"3", "3", "3", "Position 3"}));
        table()->setCurrentCell(-1, -1);
        press("pushButtonDelete");
        QCOMPARE(table()->rowCount(), 2);
        QCOMPARE(machine->sent, QStringList());
    }

    void withoutParentNothingHappens()
    {
        PositionsDialog orphan;
        child<QPushButton>(&orphan, "pushButtonSave")->click();
        QCOMPARE(child<QTableWidget>(&orphan, "tableWidget")->rowCount(), 0);
    }

    void unreadableDisplayGivesAnUnusableRow()
    {
        saveAt(std::numeric_limits<double>::quiet_NaN(), 0, 0);
        table()->setCurrentCell(0, 0);
        press("pushButtonMove");
        QCOMPARE(machine->sent, QStringList());
    }

    void savedPositionIsReturnedTo()
    {
        SimProcess sim({"--instant"});
        QVERIFY(sim.start());
        QSettings store("Orlo", "Orlo-CNC");
        store.clear();
        store.setValue("ComSettings/PortName", sim.linkPath());
        store.setValue("ComSettings/AskStatus", 1);
        store.sync();
        MainWindow window;
        auto *workX = child<QLCDNumber>(&window, "lcdNumberWorkX");
        auto *status = child<QLabel>(&window, "labelGrblStatus");
        auto settle = [&](double x) {
            for (int i = 0; i < 100 && (status->text() != "Idle" || workX->value() != x); ++i) {
                tick(&window);
                QTest::qWait(50);
            }
            return workX->value() == x;
        };
        QVERIFY(settle(0));
        window.SendCommand("G0 X4 Y-3 Z-1.25");
        QVERIFY(settle(4));

        child<QAction>(&window, "actionPositions")->trigger();
        auto *positions = child<PositionsDialog>(&window, "PositionsDialog");
        QVERIFY(positions->isVisible());
        positions->hide();
        child<QPushButton>(&window, "pushButtonPositions")->click();
        QVERIFY(positions->isVisible());
        child<QPushButton>(positions, "pushButtonSave")->click();
        auto *saved = child<QTableWidget>(positions, "tableWidget");
        QCOMPARE(saved->item(0, 0)->text(), QStringLiteral("4"));
        QCOMPARE(saved->item(0, 2)->text(), QStringLiteral("-1.25"));

        window.SendCommand("G91 G0 X10 Y10 Z1");
        QVERIFY(settle(14));
        saved->setCurrentCell(0, 0);
        child<QPushButton>(positions, "pushButtonMove")->click();
        QVERIFY(settle(4));
        QCOMPARE(child<QLCDNumber>(&window, "lcdNumberWorkY")->value(), -3.0);
        QCOMPARE(child<QLCDNumber>(&window, "lcdNumberWorkZ")->value(), -1.25);
        const QStringList received = sim.loggedLines();
        QCOMPARE(received.mid(received.indexOf("G90")).filter(QRegularExpression("^G")),
                 (QStringList{"G90", "G00 X4 Y-3 Z-1.25"}));
    }
};

ORLO_TEST_MAIN(TestPositionsDialog)
#include "tst_PositionsDialog.moc"
