#include "PtyPeer.h"
#include "StationStore.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>

#include <termios.h>

using namespace WindowProbe;

class TestPersistedSettings : public QObject
{
    Q_OBJECT

private:
    static QSettings *store() { return new QSettings("Orlo", "Orlo-CNC"); }

    static QString shown(const char *box)
    {
        return child<QComboBox>(topLevel("SettingsDialog"), box)->currentText();
    }

private slots:
    void init()
    {
        QScopedPointer<QSettings> settings(store());
        settings->clear();
    }

    void storeLivesInTheTestsOwnFolder()
    {
        QScopedPointer<QSettings> settings(store());
        QVERIFY(
            settings->fileName().startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
    }

    void firstRunGivesTheDefaults()
    {
        MainWindow window;
        QCOMPARE(shown("baudRateBox"), QStringLiteral("9600"));
        QCOMPARE(shown("dataBitsBox"), QStringLiteral("8"));
        QCOMPARE(shown("parityBox"), QStringLiteral("None"));
        QCOMPARE(shown("stopBitsBox"), QStringLiteral("1"));
        QCOMPARE(shown("flowControlBox"), QStringLiteral("None"));
        QCOMPARE(shown("serialPortInfoListBox"), QStringLiteral("COM1"));
        QVERIFY(!child<QCheckBox>(topLevel("SettingsDialog"), "askStatusCheckBox")->isChecked());
        QVERIFY(!child<QCheckBox>(&window, "checkBoxHideStatusMessage")->isChecked());
        QCOMPARE(window.dockWidgetArea(child<QDockWidget>(&window, "dockWidgetJogging")),
                 Qt::TopDockWidgetArea);
    }

    void appliedSettingsAreStoredAndAskStatusIsNormalised()
    {
        {
            QScopedPointer<QSettings> settings(store());
            settings->setValue("ComSettings/AskStatus", 2);
            settings->setValue("ComSettings/Baudrate", 57600);
            settings->setValue("ComSettings/Parity", 3);
            settings->setValue("ComSettings/StopBits", 2);
            settings->setValue("ComSettings/FlowControl", 1);
            settings->setValue("ComSettings/DataBits", 7);
            settings->setValue("ComSettings/PortName", "/dev/ttyCNC");
        }
        MainWindow window;
        QWidget *dialog = topLevel("SettingsDialog");
        QVERIFY(child<QCheckBox>(dialog, "askStatusCheckBox")->isChecked());
        QCOMPARE(shown("baudRateBox"), QStringLiteral("57600"));
        QCOMPARE(shown("parityBox"), QStringLiteral("Odd"));
        child<QPushButton>(dialog, "applyButton")->click();

        QScopedPointer<QSettings> settings(store());
        QCOMPARE(settings->value("ComSettings/AskStatus").toInt(), 1);
        QCOMPARE(settings->value("ComSettings/Baudrate").toInt(), 57600);
        QCOMPARE(settings->value("ComSettings/Parity").toInt(), 3);
        QCOMPARE(settings->value("ComSettings/DataBits").toInt(), 7);
        QCOMPARE(settings->value("ComSettings/StopBits").toInt(), 2);
        QCOMPARE(settings->value("ComSettings/FlowControl").toInt(), 1);
        QCOMPARE(settings->value("ComSettings/PortName").toString(), QStringLiteral("/dev/ttyCNC"));
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
        {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.addDockWidget(Qt::BottomDockWidgetArea,
                                 child<QDockWidget>(&window, "dockWidgetMachineCoordinates"));
            child<QDockWidget>(&window, "dockWidgetSpecialCommands")->close();
            child<QCheckBox>(&window, "checkBoxHideStatusMessage")->setChecked(true);
        }
        {
            MainWindow window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(
                window.dockWidgetArea(child<QDockWidget>(&window, "dockWidgetMachineCoordinates")),
                Qt::BottomDockWidgetArea);
            QVERIFY(!child<QDockWidget>(&window, "dockWidgetSpecialCommands")->isVisible());
            QVERIFY(child<QCheckBox>(&window, "checkBoxHideStatusMessage")->isChecked());
            child<QCheckBox>(&window, "checkBoxHideStatusMessage")->setChecked(false);
        }
        MainWindow window;
        QVERIFY(!child<QCheckBox>(&window, "checkBoxHideStatusMessage")->isChecked());
    }

    void garbageInTheStoreStartsQuietly()
    {
        {
            QScopedPointer<QSettings> settings(store());
            QByteArray junk(4096, '\0');
            for (char &byte : junk)
                byte = char(QRandomGenerator::global()->bounded(256));
            settings->setValue("DOCK_LOCATIONS", junk);
            settings->setValue("HideStatusMsg", "maybe");
            settings->setValue("ComSettings/Baudrate", "abc");
            settings->setValue("ComSettings/Parity", 99);
            settings->setValue("ComSettings/DataBits", "\x01\x02");
            settings->setValue("ComSettings/StopBits", -4);
            settings->setValue("ComSettings/PortName", "/nonexistent/ttyNowhere");
        }
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(shown("baudRateBox"), QStringLiteral("0"));
        QCOMPARE(shown("parityBox"), QStringLiteral("None"));
        QCOMPARE(shown("dataBitsBox"), QStringLiteral("8"));
        QCOMPARE(shown("stopBitsBox"), QStringLiteral("1"));
        for (int i = 0; i < 3; ++i) {
            tick(&window);
            QCOMPARE(child<QLabel>(&window, "labelGrblStatus")->text(), QStringLiteral("offline"));
            QCOMPARE(ledColor(&window), QColor(Qt::red));
            QCOMPARE(child<QPushButton>(&window, "pushButtonConnection")->text(),
                     QStringLiteral("/nonexistent/ttyNowhere"));
        }
    }
};

ORLO_TEST_MAIN(TestPersistedSettings)
#include "tst_PersistedSettings.moc"
