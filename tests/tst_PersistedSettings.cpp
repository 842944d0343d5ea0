#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"

#include "link/SettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
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

    static QSettings *store() { return new QSettings("Orlo", "Orlo-CNC"); }

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

    void init() { QScopedPointer<QSettings>(store())->clear(); }

    // Shown as stored, or the default where the store holds what no setting can be; applied,
    // the same comes back on the next start. Without a device the tick keeps retrying.
    void storedLinkSettings_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("link");
        QTest::addColumn<bool>("askStatus");
        QTest::newRow("first run")
            << QStringList() << QStringList{"9600", "8", "None", "1", "None", "COM1"} << false;
        QTest::newRow("applied before")
            << QStringList{"AskStatus=2",         "Baudrate=57600", "Parity=3",
                           "StopBits=2",          "FlowControl=1",  "DataBits=7",
                           "PortName=/dev/ttyCNC"}
            << QStringList{"57600", "7", "Odd", "2", "RTS/CTS", "/dev/ttyCNC"} << true;
        QTest::newRow("other values")
            << QStringList{"AskStatus=1",          "Baudrate=250000", "Parity=2",
                           "StopBits=3",           "FlowControl=2",   "DataBits=5",
                           "PortName=/dev/ttyUSB1"}
            << QStringList{"250000", "5", "Even", "1.5", "XON/XOFF", "/dev/ttyUSB1"} << true;
        QTest::newRow("garbage")
            << QStringList{"Baudrate=abc",         "Parity=99",
                           "DataBits=99",          "StopBits=-4",
                           "FlowControl=\x01\x02", "PortName=/nonexistent/ttyNowhere"}
            << QStringList{"0", "8", "None", "1", "None", "/nonexistent/ttyNowhere"} << false;
    }

    void storedLinkSettings()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, link);
        QFETCH(bool, askStatus);
        {
            QScopedPointer<QSettings> settings(store());
            for (const QString &pair : stored)
                settings->setValue("ComSettings/" + pair.section('=', 0, 0), pair.section('=', 1));
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
                QCOMPARE(child<QLabel>(&window, "labelGrblStatus")->text(),
                         QStringLiteral("offline"));
                QCOMPARE(ledColor(&window), QColor(Qt::red));
                QCOMPARE(child<QPushButton>(&window, "pushButtonConnection")->text(), link.last());
            }
            child<QPushButton>(dialog, "applyButton")->click();
        }
        QCOMPARE(QScopedPointer<QSettings>(store())->value("ComSettings/AskStatus").toInt(),
                 int(askStatus));
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
        QScopedPointer<QSettings> settings(store());
        QCOMPARE(settings->value("ComSettings/PortName").toString(), "/nonexistent/ttyStored");
        QCOMPARE(settings->value("ComSettings/Baudrate").toInt(), 115200);
        MainWindow window;
        QCOMPARE(shown("serialPortInfoListBox"), QStringLiteral("/nonexistent/ttyStored"));
        QCOMPARE(shown("baudRateBox"), QStringLiteral("115200"));
    }

    void layoutAndHideBoxSurviveARestart()
    {
        for (int run = 0; run < 2; ++run) {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            auto *coordinates = child<QDockWidget>(&window, "dockWidgetMachineCoordinates");
            auto *hide = child<QCheckBox>(&window, "checkBoxHideStatusMessage");
            if (run == 0) {
                window.addDockWidget(Qt::BottomDockWidgetArea, coordinates);
                child<QDockWidget>(&window, "dockWidgetSpecialCommands")->close();
                hide->setChecked(true);
            } else {
                QCOMPARE(window.dockWidgetArea(coordinates), Qt::BottomDockWidgetArea);
                QVERIFY(!child<QDockWidget>(&window, "dockWidgetSpecialCommands")->isVisible());
                QVERIFY(hide->isChecked());
            }
        }
    }

    void openedProgramsAreOfferedAgain()
    {
        {
            MainWindow window;
            QCOMPARE(recentMenu(window), QStringList());
            QVERIFY(!child<QMenu>(&window, "menuRecentFiles")->isEnabled());
            auto *editor = child<QPlainTextEdit>(&window, "plainTextEditGCode");
            window.OpenFile(a);
            QTRY_COMPARE(editor->toPlainText(), "(a.nc)");
            window.OpenFile(programs.path()); // a folder: not read, not remembered
            QTest::qWait(200);
            window.OpenFile(b);
            QTRY_COMPARE(editor->toPlainText(), "(b.nc)");
        }
        QCOMPARE(QScopedPointer<QSettings>(store())->value("RecentFiles").toStringList(),
                 (QStringList{b, a}));
        MainWindow window;
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
        for (int i = 0; i < 100000; ++i)
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
        {
            QScopedPointer<QSettings> settings(store());
            settings->setValue("RecentFiles", files);
            settings->setValue("LastFolder", folder);
        }
        RecentFiles recent;
        QCOMPARE(recent.files(), offered);
        QCOMPARE(recent.folder(), startsIn.isEmpty() ? QDir::currentPath() : startsIn);

        recent.add(a);
        QScopedPointer<QSettings> settings(store());
        const QStringList stored = settings->value("RecentFiles").toStringList();
        QVERIFY(stored.size() <= RecentFiles::maxFiles);
        QCOMPARE(stored.first(), a);
    }
};

ORLO_TEST_MAIN(TestPersistedSettings)
#include "tst_PersistedSettings.moc"
