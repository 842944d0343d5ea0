#include "PtyPeer.h"
#include "Station.h"
#include "TestMain.h"

#include "app/MacrosDock.h"
#include "link/SettingsDialog.h"
#include "link/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
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
    // the same comes back on the next start.
    void storedLinkSettings_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("link");
        QTest::addColumn<bool>("askStatus");
        QTest::addColumn<bool>("zeroInSystem");
        const auto row = [](const char *name, const QString &stored, const char *link, bool ask,
                            bool zeroInSystem) {
            QTest::newRow(name) << stored.split(' ', Qt::SkipEmptyParts) << QString(link).split('|')
                                << ask << zeroInSystem;
        };
        row("first run", "", "9600|8|None|1|None|COM1", false, false);
        row("applied before",
            "AskStatus=2 Baudrate=57600 Parity=3 StopBits=2 FlowControl=1 DataBits=7 "
            "PortName=/dev/ttyCNC ZeroInActiveSystem=1",
            "57600|7|Odd|2|RTS/CTS|/dev/ttyCNC", true, true);
        row("garbage",
            "Baudrate=abc Parity=99 DataBits=99 StopBits=-4 FlowControl=\x01\x02 "
            "PortName=/nonexistent/ttyNowhere ZeroInActiveSystem=yes",
            "0|8|None|1|None|/nonexistent/ttyNowhere", false, false);
        row("a name beyond ASCII", "PortName=/nonexistent/ttyFräse-µ",
            "9600|8|None|1|None|/nonexistent/ttyFräse-µ", false, false);
    }

    void storedLinkSettings()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, link);
        QFETCH(bool, askStatus);
        QFETCH(bool, zeroInSystem);
        for (const QString &pair : stored)
            store("ComSettings/" + pair.section('=', 0, 0), pair.section('=', 1));
        {
            // Whatever the store holds, only a value the port can take is read from it.
            QSettings raw("Orlo", "Orlo-CNC");
            const Settings read = SettingsStore::readPortSettings(raw);
            SettingsDialog dialog;
            QVERIFY(child<QComboBox>(&dialog, "parityBox")->findData(read.parity) >= 0);
            QVERIFY(child<QComboBox>(&dialog, "dataBitsBox")->findData(read.dataBits) >= 0);
            QVERIFY(child<QComboBox>(&dialog, "stopBitsBox")->findData(read.stopBits) >= 0);
            QVERIFY(child<QComboBox>(&dialog, "flowControlBox")->findData(read.flowControl) >= 0);
        }
        {
            MainWindow window;
            QCOMPARE(shownLink(), link);
            auto *dialog = topLevel("SettingsDialog");
            QCOMPARE(child<QCheckBox>(dialog, "askStatusCheckBox")->isChecked(), askStatus);
            QCOMPARE(child<QCheckBox>(dialog, "zeroInActiveSystemCheckBox")->isChecked(),
                     zeroInSystem);
            child<QPushButton>(dialog, "applyButton")->click();
        }
        QCOMPARE(inStore("ComSettings/AskStatus").toInt(), int(askStatus));
        QCOMPARE(inStore("ComSettings/ZeroInActiveSystem").toInt(), int(zeroInSystem));
        MainWindow window;
        QCOMPARE(shownLink(), link);
    }

    // A rate the box does not list is typed, as digits, up to 4,000,000.
    void customBaudRate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("rate");
        QTest::newRow("digits among letters") << "25x0a000" << 250000;
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
        MainWindow window;
        QCOMPARE(shown("serialPortInfoListBox"), QStringLiteral("/nonexistent/ttyStored"));
        QCOMPARE(shown("baudRateBox"), QStringLiteral("115200"));
    }

    // A restart finds the docks and the hide box as they were left, and the programs opened
    // (not a folder) offered again, the newest first.
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

        QTest::newRow("a number, a file for a folder")
            << QVariant(42) << QVariant(a) << QStringList() << "";
        QTest::newRow("one path, not a list")
            << QVariant(a) << QVariant(programs.path()) << QStringList{a} << programs.path();
        QTest::newRow("relative, missing, repeated")
            << QVariant(QStringList{"a.nc", missing, b, b, a}) << QVariant("programs")
            << QStringList{b, a} << "";
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

    // The buttons follow the list as the operator adds, edits and moves macros, each change
    // stored at once; the editor takes no macro without a name or beyond the limits.
    void macrosKeptAsEdited()
    {
        const auto edit = [](MacrosDock &dock, int index, const QString &name,
                             const QString &lines) {
            dock.editMacro(index);
            auto *editor = child<QDialog>(&dock, "MacroEditor");
            child<QLineEdit>(editor, "lineEditMacroName")->setText(name);
            child<QPlainTextEdit>(editor, "plainTextEditMacroLines")->setPlainText(lines);
            auto *ok = child<QDialogButtonBox>(editor, "buttonBox")->button(QDialogButtonBox::Ok);
            const bool taken = ok->isEnabled();
            taken ? ok->click() : editor->reject();
            return taken;
        };
        const auto buttons = [](MacrosDock &dock) {
            QStringList texts;
            for (int i = 1;
                 auto *button = dock.findChild<QPushButton *>(QString("pushButtonMacro%1").arg(i));
                 ++i)
                texts << button->text();
            return texts;
        };
        {
            MacrosDock dock;
            QVERIFY(edit(dock, -1, "Park", "G53 G0 Z0\nG53 G0 X-5"));
            QVERIFY(edit(dock, -1, "Probe", "G38.2 Z-10 F50"));
            QVERIFY(!edit(dock, -1, " ", "G0"));
            QVERIFY(!edit(dock, -1, "Long", QString(Macro::maxLineLength + 1, 'X')));
            dock.moveMacro(1, -1);
            dock.moveMacro(1, 1); // nowhere to go
            QVERIFY(edit(dock, 1, "Park here", "G53 G0 Z0"));
            QVERIFY(edit(dock, 0, "Probe Z", "G38.2 Z-10 F50"));
            QCOMPARE(buttons(dock), (QStringList{"Probe Z", "Park here"}));
            // Removed from the button's menu: Enter keeps it, Yes removes it.
            for (const bool yes : {false, true}) {
                auto *button = dock.findChild<QPushButton *>("pushButtonMacro1");
                emit button->customContextMenuRequested({});
                dock.findChild<QMenu *>()->actions().constLast()->trigger();
                auto *box = child<QMessageBox>(&dock, "removeMacroBox");
                yes ? box->button(QMessageBox::Yes)->click() : QTest::keyClick(box, Qt::Key_Return);
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // menu, box
                QCOMPARE(buttons(dock).size(), yes ? 1 : 2);
            }
        }
        MacrosDock dock;
        QCOMPARE(buttons(dock), QStringList{"Park here"});
        QCOMPARE(dock.macros().first().lines, QStringList{"G53 G0 Z0"});
    }

    // Stored macros ("Macros/" left out of the keys) read as "name: line|line": controls go, a
    // break splits a line, one beyond the limits is left out whole, a hundred at most are read.
    void storedMacrosSurviveGarbage_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QStringList>("read");
        QVariantMap many{{"size", 1000000000}};
        QStringList first;
        for (int i = 1; i <= 150; ++i) {
            many[QString("%1/Name").arg(i)] = QString("M%1").arg(i);
            many[QString("%1/Lines").arg(i)] = QStringList{"G0 X1", "G0 X2"};
            if (i <= Macro::maxCount)
                first << QString("M%1: G0 X1|G0 X2").arg(i);
        }
        QTest::newRow("absurd size") << many << first;
        QTest::newRow("controls and breaks")
            << QVariantMap{{"size", 2},
                           {"1/Name", QString::fromLatin1(" Pa\0r\x18k\n", 8)},
                           {"1/Lines", QString::fromLatin1("G0 X1\r\nG0\x18 X2\rM5\x7f\t")},
                           {"2/Name", "One line"},
                           {"2/Lines", "G0 X1 (a, b)"}}
            << QStringList{"Park: G0 X1|G0 X2|M5\t", "One line: G0 X1 (a, b)"};
        QTest::newRow("beyond the limits, or no list")
            << QVariantMap{{"size", "4"},
                           {"1/Name", "Too many"},
                           {"1/Lines", QString("G0\n").repeated(Macro::maxLines)},
                           {"2/Name", "Too long"},
                           {"2/Lines", QString(Macro::maxLineLength + 1, 'X')},
                           {"3/Name", "\x01"},
                           {"3/Lines", "G0 X1"},
                           {"4/Name", "Number"},
                           {"4/Lines", 42}}
            << QStringList();
        QTest::newRow("no size") << QVariantMap{{"1/Name", "A"}, {"1/Lines", "G0"}}
                                 << QStringList();
    }

    void storedMacrosSurviveGarbage()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QStringList, read);
        for (auto entry = stored.cbegin(); entry != stored.cend(); ++entry)
            store("Macros/" + entry.key(), entry.value());
        QSettings raw("Orlo", "Orlo-CNC");
        const auto texts = [](const QVector<Macro> &macros) {
            QStringList shown;
            for (const Macro &macro : macros)
                shown << macro.name + ": " + macro.lines.join('|');
            return shown;
        };
        QCOMPARE(texts(SettingsStore::readMacros(raw)), read);
    }
};

ORLO_TEST_MAIN(TestPersistedSettings)
#include "tst_PersistedSettings.moc"
