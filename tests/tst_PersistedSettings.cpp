#include "PtyPeer.h"
#include "StationStore.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>

#include <termios.h>

using namespace WindowProbe;

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

private slots:
    void initTestCase()
    {
        a = programs.filePath("a.nc");
        b = programs.filePath("b.nc");
        for (const QString &path : {a, b}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(("(" + QFileInfo(path).fileName() + ")").toUtf8());
        }
    }

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
        QTest::newRow("bytes") << QVariant(QByteArray("\xff\0\x01", 3))
                               << QVariant(QByteArray("\xfe")) << QStringList() << "";
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
            settings->setValue("ComSettings/DataBits", 99); // no enum value: never a DataBits
            settings->setValue("ComSettings/StopBits", -4);
            settings->setValue("ComSettings/FlowControl", "\x01\x02");
            settings->setValue("ComSettings/PortName", "/nonexistent/ttyNowhere");
        }
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(shown("baudRateBox"), QStringLiteral("0"));
        QCOMPARE(shown("parityBox"), QStringLiteral("None"));
        QCOMPARE(shown("dataBitsBox"), QStringLiteral("8"));
        QCOMPARE(shown("stopBitsBox"), QStringLiteral("1"));
        QCOMPARE(shown("flowControlBox"), QStringLiteral("None"));
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
