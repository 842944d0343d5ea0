#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"

#include "link/SettingsDialog.h"
#include "link/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>

#include <termios.h>

using namespace WindowProbe;

// The link's settings dialog, and what the station keeps in its store between runs: the link,
// the window's layout and the recent programs, whatever the store holds.
class TestPersistedSettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir programs; // a.nc and b.nc
    QString a, b;

    static QVariant inStore(const QString &key) { return QSettings("Orlo", "Orlo-CNC").value(key); }
    static void store(const QString &key, const QVariant &value)
    {
        QSettings("Orlo", "Orlo-CNC").setValue(key, value);
    }

    static QStringList recentMenu(MainWindow &window)
    {
        QMetaObject::invokeMethod(child<QMenu>(&window, "menuFile"), "aboutToShow");
        QStringList texts;
        for (QAction *action : child<QMenu>(&window, "menuRecentFiles")->actions())
            texts << action->text();
        return texts;
    }

    static QString shown(const char *box)
    {
        return child<QComboBox>(topLevel("SettingsDialog"), box)->currentText();
    }

    static QStringList shownLink()
    {
        QStringList texts;
        for (const char *box : {"baudRateBox", "dataBitsBox", "parityBox", "stopBitsBox",
                                "flowControlBox", "serialPortInfoListBox"})
            texts << shown(box);
        return texts;
    }

private slots:
    void initTestCase()
    {
        a = programs.filePath("a.nc");
        b = programs.filePath("b.nc");
        for (const QString &path : {a, b}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            // A NUL ends what is read: past it lies no program text.
            file.write(("(" + QFileInfo(path).fileName() + ")").toUtf8() + '\0' + "G0 X666");
        }
    }

    void init() { QSettings("Orlo", "Orlo-CNC").clear(); }

    // Shown as stored, or the default where the store holds what no setting can be; applied,
    // the same comes back on the next start. Without a device the tick keeps retrying.
    void storedLinkSettings_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("link");
        QTest::addColumn<bool>("askStatus");
        const auto row = [](const char *name, const QString &stored, const char *link, bool ask) {
            QTest::newRow(name) << stored.split(' ', Qt::SkipEmptyParts) << QString(link).split('|')
                                << ask;
        };
        row("first run", "", "9600|8|None|1|None|COM1", false);
        row("applied before",
            "AskStatus=2 Baudrate=57600 Parity=3 StopBits=2 FlowControl=1 DataBits=7 "
            "PortName=/dev/ttyCNC",
            "57600|7|Odd|2|RTS/CTS|/dev/ttyCNC", true);
        row("other values",
            "AskStatus=1 Baudrate=250000 Parity=2 StopBits=3 FlowControl=2 DataBits=5 "
            "PortName=/dev/ttyUSB1",
            "250000|5|Even|1.5|XON/XOFF|/dev/ttyUSB1", true);
        row("garbage",
            "Baudrate=abc Parity=99 DataBits=99 StopBits=-4 FlowControl=\x01\x02 "
            "PortName=/nonexistent/ttyNowhere",
            "0|8|None|1|None|/nonexistent/ttyNowhere", false);
        row("a name beyond ASCII", "PortName=/nonexistent/ttyFräse-µ",
            "9600|8|None|1|None|/nonexistent/ttyFräse-µ", false);
    }

    void storedLinkSettings()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, link);
        QFETCH(bool, askStatus);
        for (const QString &pair : stored)
            store("ComSettings/" + pair.section('=', 0, 0), pair.section('=', 1));
        {
            // Whatever the store holds, only a value the port can take is read from it.
            QSettings raw("Orlo", "Orlo-CNC");
            const Settings read = SettingsStore::readPortSettings(raw);
            SettingsDialog dialog;
            const QPair<const char *, int> enums[] = {{"parityBox", read.parity},
                                                      {"dataBitsBox", read.dataBits},
                                                      {"stopBitsBox", read.stopBits},
                                                      {"flowControlBox", read.flowControl}};
            for (const auto &[box, value] : enums)
                QVERIFY2(child<QComboBox>(&dialog, box)->findData(value) >= 0, box);
        }
        {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(shownLink(), link);
            auto *dialog = topLevel("SettingsDialog");
            QCOMPARE(child<QCheckBox>(dialog, "askStatusCheckBox")->isChecked(), askStatus);
            for (int i = 0; i < 2; ++i) {
                tick(&window);
                QCOMPARE(child<QLabel>(&window, "labelGrblStatus")->text(), "offline");
                QCOMPARE(ledColor(&window), QColor(Qt::red));
                QCOMPARE(child<QPushButton>(&window, "pushButtonConnection")->text(), link.last());
            }
            child<QPushButton>(dialog, "applyButton")->click();
        }
        QCOMPARE(inStore("ComSettings/AskStatus").toInt(), int(askStatus));
        MainWindow window;
        QCOMPARE(shownLink(), link);
    }

    // A rate the box does not list is typed, as digits, up to 4,000,000.
    void customBaudRate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("rate");
        QTest::newRow("digits among letters") << "25x0a000" << 250000;
        QTest::newRow("beyond the highest") << "40000009" << 4000000;
        QTest::newRow("ten times the highest") << "40000000" << 4000000;
        QTest::newRow("nothing") << "" << 0;
    }

    void customBaudRate()
    {
        QFETCH(QString, typed);
        QFETCH(int, rate);
        SettingsDialog dialog;
        auto *baud = child<QComboBox>(&dialog, "baudRateBox");
        dialog.setSettings(Settings{"COM1", -5});
        QCOMPARE(baud->currentIndex(), 4);
        baud->setCurrentIndex(0);
        QVERIFY(!baud->isEditable());
        baud->setCurrentIndex(4);
        QCOMPARE(baud->currentText(), QString());
        QTest::keyClicks(baud->lineEdit(), typed);
        child<QPushButton>(&dialog, "applyButton")->click();
        QCOMPARE(dialog.settings().baudRate, rate);
        QCOMPARE(baud->count(), 5); // a typed rate never becomes an entry
    }

    // A typed path, confirmed with Return (which files it as an entry of its own) or not, is
    // what Connect commits; the widgets commit on Connect only, and once.
    void typedPortIsKept()
    {
        SettingsDialog dialog;
        dialog.show();
        auto *ports = child<QComboBox>(&dialog, "serialPortInfoListBox");
        QSignalSpy changed(&dialog, &SettingsDialog::settingsChanged);
        for (const bool confirmed : {false, true}) {
            ports->setCurrentIndex(ports->findText("Custom"));
            ports->lineEdit()->clear();
            const QString path = confirmed ? "/dev/serial/by-id/usb-b" : "/tmp/ttyGRBL";
            QTest::keyClicks(ports->lineEdit(), path);
            if (confirmed)
                QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
            child<QCheckBox>(&dialog, "askStatusCheckBox")->setChecked(confirmed);
            QVERIFY(dialog.settings().name != path);
            child<QPushButton>(&dialog, "applyButton")->click();
            QCOMPARE(dialog.settings().name, path);
            QCOMPARE(dialog.settings().askStatus, confirmed);
            QVERIFY(!dialog.isVisible());
        }
        QCOMPARE(changed.count(), 2);
    }

    // The command line's --port and --baud: connected with them, while the store keeps what the
    // operator last applied, for this run's end and the next run.
    void portForOneRunLeavesTheStoreAlone()
    {
        PtyPeer peer;
        seedStore("/nonexistent/ttyStored", false);
        {
            MainWindow window;
            window.UsePortForThisRun(peer.devicePath(), 57600);
            tick(&window);
            tick(&window);
            QCOMPARE(ledColor(&window), QColor(Qt::green));
            QCOMPARE(peer.lineSpeed(), unsigned(B57600));
            QCOMPARE(shown("baudRateBox"), QStringLiteral("57600"));
        }
        QCOMPARE(inStore("ComSettings/PortName").toString(), "/nonexistent/ttyStored");
        QCOMPARE(inStore("ComSettings/Baudrate").toInt(), 115200);
        MainWindow window;
        QCOMPARE(shown("serialPortInfoListBox"), QStringLiteral("/nonexistent/ttyStored"));
        QCOMPARE(shown("baudRateBox"), QStringLiteral("115200"));
    }

    // A restart finds the docks and the hide box as they were left, and the programs opened
    // (not a folder) offered again, the newest first, while they are there.
    void aRestartKeepsLayoutAndPrograms()
    {
        {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.addDockWidget(Qt::BottomDockWidgetArea,
                                 child<QDockWidget>(&window, "dockWidgetMachineCoordinates"));
            child<QDockWidget>(&window, "dockWidgetSpecialCommands")->close();
            child<QCheckBox>(&window, "checkBoxHideStatusMessage")->setChecked(true);
            QCOMPARE(recentMenu(window), QStringList());
            QVERIFY(!child<QMenu>(&window, "menuRecentFiles")->isEnabled());
            auto *editor = child<QPlainTextEdit>(&window, "plainTextEditGCode");
            window.OpenFile(a);
            QTRY_COMPARE(editor->toPlainText(), "(a.nc)");
            window.OpenFile(programs.path());
            QTest::qWait(200);
            window.OpenFile(b);
            QTRY_COMPARE(editor->toPlainText(), "(b.nc)");
        }
        QCOMPARE(inStore("RecentFiles").toStringList(), (QStringList{b, a}));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.dockWidgetArea(child<QDockWidget>(&window, "dockWidgetMachineCoordinates")),
                 Qt::BottomDockWidgetArea);
        QVERIFY(!child<QDockWidget>(&window, "dockWidgetSpecialCommands")->isVisible());
        QVERIFY(child<QCheckBox>(&window, "checkBoxHideStatusMessage")->isChecked());
        QCOMPARE(recentMenu(window), (QStringList{b, a}));
        QVERIFY(child<QMenu>(&window, "menuRecentFiles")->isEnabled());
        child<QMenu>(&window, "menuRecentFiles")->actions().at(1)->trigger();
        QTRY_COMPARE(child<QPlainTextEdit>(&window, "plainTextEditGCode")->toPlainText(), "(a.nc)");
        QCOMPARE(recentMenu(window), (QStringList{a, b}));

        QVERIFY(QFile::rename(b, b + ".moved"));
        QCOMPARE(recentMenu(window), QStringList{a});
        QVERIFY(QFile::rename(b + ".moved", b));
    }

    void recentFilesSurviveGarbage_data()
    {
        QTest::addColumn<QVariant>("files");
        QTest::addColumn<QVariant>("folder");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("startsIn"); // "": the current folder
        QStringList huge;
        for (int i = 0; i < 3000; ++i) // far beyond the eight kept; the store's writer is slow
            huge << QString("/nonexistent/%1.nc").arg(i);
        huge << a;
        const QString missing = programs.filePath("missing.nc");

        QTest::newRow("nothing") << QVariant() << QVariant() << QStringList() << "";
        QTest::newRow("numbers") << QVariant(42) << QVariant(7) << QStringList() << "";
        QTest::newRow("one path, not a list")
            << QVariant(a) << QVariant(programs.path()) << QStringList{a} << programs.path();
        QTest::newRow("relative, missing, repeated")
            << QVariant(QStringList{"a.nc", missing, b, b, a}) << QVariant("programs")
            << QStringList{b, a} << "";
        QTest::newRow("folder is a file") << QVariant() << QVariant(a) << QStringList() << "";
        QTest::newRow("huge list") << QVariant(huge) << QVariant() << QStringList() << "";
    }

    void recentFilesSurviveGarbage()
    {
        QFETCH(QVariant, files);
        QFETCH(QVariant, folder);
        QFETCH(QStringList, offered);
        QFETCH(QString, startsIn);
        store("RecentFiles", files);
        store("LastFolder", folder);
        RecentFiles recent;
        QCOMPARE(recent.files(), offered);
        QCOMPARE(recent.folder(), startsIn.isEmpty() ? QDir::currentPath() : startsIn);

        recent.add(a);
        const QStringList kept = inStore("RecentFiles").toStringList();
        QVERIFY(kept.size() <= RecentFiles::maxFiles);
        QCOMPARE(kept.first(), a);
    }
};

ORLO_TEST_MAIN(TestPersistedSettings)
#include "tst_PersistedSettings.moc"
