#include "RecordingMachine.h"
#include "SimProcess.h"
#include "Station.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"
#include "dialogs/GrblParameter.h"
#include "dialogs/GrblSettingsDialog.h"
#include "dialogs/PlainNumber.h"
#include "machine/ControllerCodes.h"

#include <QAction>
#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>

using namespace WindowProbe;
using Parameter = std::optional<GrblParameter>;
Q_DECLARE_METATYPE(Parameter)

namespace {

const QColor orange(255, 114, 10);

GrblParameter parameter(int index, double value, const QString &description)
{
    return {static_cast<quint8>(index), value, description};
}

QStringList rowTexts(const QTableWidget *table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << table->item(row, column)->text();
    return texts;
}

} // namespace

// The parameter editor: reading the controller's "$n=value (description)" lines, the table
// rebuilt once a burst, edits marked and applied; and the whole round against grblsim.
class TestGrblSettingsDialog : public QObject
{
    Q_OBJECT

private:
    RecordingMachine *machine = nullptr;
    GrblSettingsDialog *dialog = nullptr;

    QTableWidget *table() { return child<QTableWidget>(dialog, "tableWidgetParameter"); }
    QTableWidgetItem *valueCell(int row) { return table()->item(row, 1); }
    void apply() { child<QPushButton>(dialog, "pushButtonApply")->click(); }

    // Feeds the lines and waits for the one rebuild that follows them.
    void report(const QStringList &lines)
    {
        for (const QString &line : lines)
            dialog->ParseParameterLine(line);
        QTest::qWait(GrblSettingsDialog::refreshDelayMs + 100);
    }

private slots:
    void init()
    {
        machine = new RecordingMachine;
        dialog = new GrblSettingsDialog(machine);
    }

    void cleanup() { delete machine; }

    void parsesParameterLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<Parameter>("expected");
        const Parameter none;
        QTest::newRow("sample") << "$0=10 (step pulse, usec)"
                                << Parameter(parameter(0, 10, "step pulse, usec"));
        QTest::newRow("trailing zeros") << "$110=500.000 (x max rate, mm/min)"
                                        << Parameter(parameter(110, 500, "x max rate, mm/min"));
        QTest::newRow("small") << "$11=0.010 (junction deviation, mm)"
                               << Parameter(parameter(11, 0.01, "junction deviation, mm"));
        QTest::newRow("minus reads 0") << "$1=-25 (x)" << Parameter(parameter(1, 0, "x"));
        QTest::newRow("exponent cut off") << "$999=1e400 (x)" << none;
        QTest::newRow("exponent cut off, index in range")
            << "$24=1e400 (x)" << Parameter(parameter(24, 1, "x"));
        QTest::newRow("empty description") << "$3=4 ()" << Parameter(parameter(3, 4, ""));
        QTest::newRow("1.1's bare number")
            << "$0=10" << Parameter(parameter(0, 10, "Step pulse time, microseconds"));
        QTest::newRow("unclosed description")
            << "$132=200.000 (z"
            << Parameter(parameter(132, 200, "Z-axis maximum travel, millimeters"));
        QTest::newRow("a number 1.1 has no words for") << "$7=1" << Parameter(parameter(7, 1, ""));
        QTest::newRow("no equals sign") << "$0 10 (x)" << none;
        QTest::newRow("highest index") << "$255=1 (x)" << Parameter(parameter(255, 1, "x"));
        QTest::newRow("index above 255 would wrap") << "$300=5 (x)" << none;
        QTest::newRow("index beyond any integer") << "$99999999999999999999=5 (x)" << none;
        QTest::newRow("value beyond a double") << "$1=" + QString(400, '9') + " (x)" << none;
        QTest::newRow("odd description")
            << QString::fromUtf8("$2=0 (ä\x01 \"<b>\"\t;)")
            << Parameter(parameter(2, 0, QString::fromUtf8("ä\x01 \"<b>\"\t;")));
        QTest::newRow("NUL in description")
            << QString("$2=0 (a") + QChar(0) + "b)"
            << Parameter(parameter(2, 0, QString("a") + QChar(0) + "b"));
        QTest::newRow("first closing parenthesis ends it")
            << "$5=1 (a) b)" << Parameter(parameter(5, 1, "a"));
    }

    void parsesParameterLines()
    {
        QFETCH(QString, line);
        QFETCH(Parameter, expected);
        const Parameter parsed = parseParameterLine(line);
        QCOMPARE(parsed.has_value(), expected.has_value());
        if (!expected)
            return;
        QCOMPARE(int(parsed->index), int(expected->index));
        QCOMPARE(parsed->value, expected->value);
        QCOMPARE(parsed->description, expected->description);
    }

    void plainNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("plain");
        const QList<QPair<const char *, bool>> cases = {
            {"12", true},    {"12.50", true}, {"-5.5", true}, {"+3", true},     {".5", true},
            {"5.", true},    {" 7 ", true},   {"\t7", true},  {"", false},      {" ", false},
            {".", false},    {"-", false},    {"abc", false}, {"1e3", false},   {"inf", false},
            {"nan", false},  {"0x10", false}, {"1,5", false}, {"1.2.3", false}, {"1 G91", false},
            {"12\n", false}, {"12\r", false}, {"- 5", false}};
        for (const auto &[text, plain] : cases)
            QTest::newRow(QByteArray(text).toPercentEncoding().constData()) << text << plain;
        QTest::newRow("NUL") << QString("1") + QChar(0) << false;
        QTest::newRow("no-break space") << QString("1") + QChar(0xA0) << false;
        QTest::newRow("too long for a double") << QString(400, '9') << false;
    }

    void plainNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, plain);
        QCOMPARE(isPlainNumber(text), plain);
    }

    void sampleLineShownAfterTheDelay()
    {
        QElapsedTimer clock;
        clock.start();
        dialog->ParseParameterLine("$0=10 (step pulse, usec)");
        QTest::qWait(GrblSettingsDialog::refreshDelayMs - 150);
        QCOMPARE(table()->rowCount(), 0);
        QTRY_COMPARE(table()->rowCount(), 1);
        QVERIFY(clock.elapsed() >= GrblSettingsDialog::refreshDelayMs);
        QCOMPARE(rowTexts(table(), 0), (QStringList{"0", "10", "step pulse, usec"}));
        QStringList headers;
        for (int column = 0; column < 3; ++column)
            headers << table()->horizontalHeaderItem(column)->text();
        QCOMPARE(headers, (QStringList{"Index", "Value", "Description"}));
        QCOMPARE(table()->columnWidth(0), 35);
        QCOMPARE(table()->columnWidth(1), 100);
        QCOMPARE(table()->columnWidth(2), 300);
        QCOMPARE(table()->item(0, 0)->flags(), Qt::NoItemFlags);
        QCOMPARE(table()->item(0, 2)->flags(), Qt::NoItemFlags);
        QVERIFY(valueCell(0)->flags() & Qt::ItemIsEditable);
    }

    void burstGivesOneRebuild()
    {
        QSignalSpy inserted(table()->model(), &QAbstractItemModel::rowsInserted);
        for (int i = 0; i < 5; ++i) {
            dialog->ParseParameterLine(QStringLiteral("$%1=%1 (x)").arg(i));
            QTest::qWait(100);
        }
        QTest::qWait(GrblSettingsDialog::refreshDelayMs - 200);
        QCOMPARE(table()->rowCount(), 0);
        QTRY_COMPARE(table()->rowCount(), 5);
        QTest::qWait(100);
        QCOMPARE(inserted.count(), 5); // one rebuild inserts each row once
    }

    // 1.1 lists bare numbers: the table names them itself.
    void linesWithoutDescriptionAreNamed()
    {
        report({"$0=10", "$1=25 (step idle delay", "$2 (x)"});
        QCOMPARE(table()->rowCount(), 2);
        QCOMPARE(rowTexts(table(), 1), (QStringList{"1", "25", "Step idle delay, milliseconds"}));
    }

    void updatesInPlaceAndKeepsTheOrder()
    {
        report({"$1=25 (step idle delay, msec)", "$0=10 (step pulse, usec)", "$110=500.000 (x)",
                "$11=0.010 (y)", "$12=-1 (z)"});
        report({"$1=255 (step idle delay, msec)"});
        QCOMPARE(table()->rowCount(), 5);
        QCOMPARE(rowTexts(table(), 0), (QStringList{"1", "255", "step idle delay, msec"}));
        QCOMPARE(rowTexts(table(), 1), (QStringList{"0", "10", "step pulse, usec"}));
        QCOMPARE(rowTexts(table(), 2), (QStringList{"110", "500", "x"}));
        QCOMPARE(rowTexts(table(), 3), (QStringList{"11", "0.01", "y"}));
        QCOMPARE(rowTexts(table(), 4), (QStringList{"12", "0", "z"}));
        QCOMPARE(dialog->FindParameter(110), 2);
        QCOMPARE(dialog->FindParameter(7), -1);
    }

    void editsAreMarkedAndApplied()
    {
        report({"$0=10 (step pulse, usec)", "$1=25 (step idle delay, msec)"});
        apply();
        QCOMPARE(machine->sent, QStringList()); // nothing marked, nothing sent

        valueCell(0)->setText("12");
        QCOMPARE(valueCell(0)->background().color(), orange);
        apply();
        QCOMPARE(machine->sent, QStringList{"$0=12"});

        machine->sent.clear();
        valueCell(0)->setText("12.50");
        apply();
        QCOMPARE(machine->sent, QStringList{"$0=12.50"}); // as typed, not as read

        machine->sent.clear();
        valueCell(0)->setText("10"); // back to the stored value: the mark stays
        QCOMPARE(valueCell(0)->background().color(), orange);
        apply();
        QCOMPARE(machine->sent, QStringList{"$0=10"});
        QCOMPARE(dialog->FindParameter(0), 0);

        valueCell(1)->setText("abc");
        QCOMPARE(valueCell(1)->text(), QStringLiteral("25"));
        QVERIFY(valueCell(1)->background().color() != orange);
    }

    void rebuildClearsTheMarks()
    {
        report({"$0=10 (step pulse, usec)", "$1=25 (step idle delay, msec)"});
        valueCell(0)->setText("12");
        valueCell(1)->setText("30");
        report({"$0=12 (step pulse, usec)"});
        QCOMPARE(valueCell(0)->text(), QStringLiteral("12"));
        QCOMPARE(valueCell(1)->text(), QStringLiteral("25")); // the record kept its value
        apply();
        QCOMPARE(machine->sent, QStringList());
    }

    void unreadableEditsAreReverted_data()
    {
        QTest::addColumn<QString>("typed");
        for (const char *typed : {"", "abc", "1e3", "inf", "nan", "12\n$1=0", "5 G91", "0x10"})
            QTest::newRow(QByteArray(typed).toPercentEncoding().constData())
                << QString::fromLatin1(typed);
        QTest::newRow("NUL") << QString("5") + QChar(0);
        QTest::newRow("endless digits") << QString(100000, '9');
    }

    void unreadableEditsAreReverted()
    {
        QFETCH(QString, typed);
        report({"$0=10 (step pulse, usec)"});
        valueCell(0)->setText(typed);
        QCOMPARE(valueCell(0)->text(), QStringLiteral("10"));
        apply();
        QCOMPARE(machine->sent, QStringList());
    }

    // A value shown in exponent form cannot go back as it stands: the firmware reads no exponent.
    void markedValueInExponentFormIsNotSent()
    {
        report({"$100=1000000 (x, step/mm)"});
        QCOMPARE(valueCell(0)->text(), QStringLiteral("1e+06"));
        valueCell(0)->setText("2000000");
        valueCell(0)->setText("abc");
        QCOMPARE(valueCell(0)->text(), QStringLiteral("1e+06"));
        QCOMPARE(valueCell(0)->background().color(), orange);
        apply();
        QCOMPARE(machine->sent, QStringList());
    }

    void wrappingIndexLeavesOtherSettingsAlone()
    {
        report({"$44=1 (kept)", "$300=5 (x)", "$999=1e400 (x)", "$65536=2 (y)"});
        QCOMPARE(table()->rowCount(), 1);
        QCOMPARE(rowTexts(table(), 0), (QStringList{"44", "1", "kept"}));
    }

    void noParentSendsNothing()
    {
        GrblSettingsDialog orphan;
        orphan.ParseParameterLine("$0=10 (step pulse, usec)");
        QTest::qWait(GrblSettingsDialog::refreshDelayMs + 100);
        auto *orphanTable = child<QTableWidget>(&orphan, "tableWidgetParameter");
        orphanTable->item(0, 1)->setText("12");
        QCOMPARE(orphanTable->item(0, 1)->background().color(), orange);
        child<QPushButton>(&orphan, "pushButtonApply")->click(); // must not crash
        QCOMPARE(machine->sent, QStringList());
    }

    void stationReadsAndWritesTheControllersSettings_data()
    {
        QTest::addColumn<QString>("grbl");
        QTest::newRow("0.9: described by the controller") << "0.9";
        QTest::newRow("1.1: bare numbers, named here") << "1.1";
    }

    void stationReadsAndWritesTheControllersSettings()
    {
        QFETCH(QString, grbl);
        Station station({"--instant", "--grbl", grbl}, false);
        QVERIFY(station.start());
        auto *editor = child<GrblSettingsDialog>(station.window.get(), "GrblSettingsDialog");
        auto *settings = child<QTableWidget>(editor, "tableWidgetParameter");
        child<QAction>(station.window.get(), "actionGRBL_Config")->trigger();
        QVERIFY(editor->isVisible());
        QStringList listing;
        if (grbl == "0.9") {
            QFile factory(QFINDTESTDATA("data/settings-0.9j.txt"));
            QVERIFY(factory.open(QIODevice::ReadOnly | QIODevice::Text));
            listing = QString::fromLatin1(factory.readAll()).trimmed().split('\n');
        }
        QTRY_COMPARE_WITH_TIMEOUT(settings->rowCount(), grbl == "0.9" ? listing.size() : 34, 5000);
        for (int row = 0; row < settings->rowCount(); ++row) {
            const QStringList shown = rowTexts(settings, row);
            const QString expected = grbl == "0.9"
                                         ? parseParameterLine(listing.at(row))->description
                                         : ControllerCodes::settingDescription(shown[0].toInt());
            QVERIFY2(!expected.isEmpty() && shown[2] == expected, qPrintable(shown.join('|')));
        }

        const int maxRateX = editor->FindParameter(110);
        QCOMPARE(settings->item(maxRateX, 1)->text(), QStringLiteral("500"));
        settings->item(maxRateX, 1)->setText("750.5");
        child<QPushButton>(editor, "pushButtonApply")->click();
        QTRY_COMPARE(station.sim.countLogged("$110=750.5"), 1);
        editor->hide();
        child<QAction>(station.window.get(), "actionGRBL_Config")->trigger();
        // The rebuild brings fresh items: the mark goes, the controller's value stays.
        QTRY_VERIFY_WITH_TIMEOUT(settings->item(maxRateX, 1)->background().color() != orange, 5000);
        QCOMPARE(settings->item(maxRateX, 1)->text(), QStringLiteral("750.5"));
        QCOMPARE(station.sim.countLogged("$$"), 2);
    }
};

ORLO_TEST_MAIN(TestGrblSettingsDialog)
#include "tst_GrblSettingsDialog.moc"
