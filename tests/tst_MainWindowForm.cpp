#include "TestMain.h"

#include "app/HLed.h"
#include "app/MainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLCDNumber>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

class TestMainWindowForm : public QObject
{
    Q_OBJECT

private:
    MainWindow *window = nullptr;

    template <typename T> T *child(const QString &name)
    {
        T *widget = window->findChild<T *>(name);
        if (!widget)
            qFatal("missing %s", qPrintable(name));
        return widget;
    }

private slots:
    void init()
    {
        window = new MainWindow;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void cleanup() { delete window; }

    void frame()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Orlo_CNC_Control V1.23"));
        QCOMPARE(window->size(), QSize(1166, 806));
        QVERIFY(child<HLed>("ConnectionLED")->minimumSize() == QSize(20, 20));
        QVERIFY(child<HLed>("ConnectionLED")->maximumSize() == QSize(30, 30));
        QCOMPARE(child<HLed>("ConnectionLED")->color(), QColor(Qt::red));
        QCOMPARE(child<QLabel>("labelGrblStatus")->text(), QString());
        QCOMPARE(child<QProgressBar>("progressBar")->value(), 0);
    }




    void icons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("resource");
        const QList<QPair<const char *, const char *>> icons = {
            {"pushButtonPlusY", "YP"},
            {"pushButtonMinusX", "XM"},
            {"pushButtonPlusX", "XP"},
            {"pushButtonMinusY", "YM"},
            {"pushButtonSpindle", "Spindle"},
            {"pushButtonOpenProbeDialog", "Probe"},
            {"pushButtonCoolant", "Coolant"},
            {"pushButtonHomingCycleCmd", "Home"},
            {"pushButtonPlusZ", "ZP"},
            {"pushButtonMinusZ", "ZM"},
            {"pushButtonPositions", "Positionen"}};
        for (const auto &[name, file] : icons)
            QTest::newRow(name) << QString(name) << QString(":/Gui/img/%1.png").arg(file);
    }

    void icons()
    {
        QFETCH(QString, name);
        QFETCH(QString, resource);
        const QImage image(resource);
        QCOMPARE(image.size(), QSize(50, 50));
        const QImage shown = child<QAbstractButton>(name)->icon().pixmap(50, 50).toImage();
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        QCOMPARE(child<QAbstractButton>(name)->iconSize(), QSize(50, 50));
    }





    void menus()
    {
        QMenu *windows = child<QMenu>("menuWindows");
        QCOMPARE(windows->title(), QStringLiteral("Windows"));
        QStringList texts;
        for (QAction *action : windows->actions())
            texts << action->objectName() + '=' + action->text();
        QCOMPARE(
            texts,
            (QStringList{"actionCom_Port_Settings=Com Port Settings",
                         "actionMachine_Coordinates=Machine Coordinates",
                         "actionWork_Coordinates=Work Coordinates",
                         "actionG_Code_Editor=G-Code Editor", "action3D_Preview=3D-Preview",
                         "actionGRBL_Config=GRBL Config", "actionHolecutter_Tool=Holecutter Tool",
                         "actionPositions=Positions", "actionGamepad_Config=Gamepad Config",
                         "actionSpecial_Commands=Special Commands"}));
        QMenu *extras = child<QMenu>("menuInfo");
        QCOMPARE(extras->title(), QStringLiteral("Extras"));
        QCOMPARE(extras->actions().size(), 1);
        QCOMPARE(extras->actions().first()->text(), QStringLiteral("Info"));
    }

    void actionsShowClosedDocks_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("dock");
        QTest::newRow("machine") << "actionMachine_Coordinates"
                                 << "dockWidgetMachineCoordinates";
        QTest::newRow("work") << "actionWork_Coordinates"
                              << "dockWidgetWorkCoordniates";
        QTest::newRow("editor") << "actionG_Code_Editor"
                                << "dockWidgetGCodeEditor";
        QTest::newRow("preview") << "action3D_Preview"
                                 << "dockWidget3DPeview";
        QTest::newRow("special") << "actionSpecial_Commands"
                                 << "dockWidgetSpecialCommands";
    }

    void actionsShowClosedDocks()
    {
        QFETCH(QString, action);
        QFETCH(QString, dock);
        child<QDockWidget>(dock)->close();
        QVERIFY(!child<QDockWidget>(dock)->isVisible());
        child<QAction>(action)->trigger();
        QVERIFY(child<QDockWidget>(dock)->isVisible());
    }

    void portSettingsOpenFromButtonAndMenu()
    {
        QWidget *settings = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "SettingsDialog")
                settings = top;
        }
        QVERIFY(settings);
        child<QPushButton>("pushButtonConnection")->click();
        QVERIFY(settings->isVisible());
        settings->hide();
        child<QAction>("actionCom_Port_Settings")->trigger();
        QVERIFY(settings->isVisible());
        settings->hide();
    }

    void infoBoxIsCentredAndCloses_data()
    {
        QTest::addColumn<QPoint>("windowPosition");
        QTest::addColumn<bool>("withEscape");
        QTest::newRow("OK, top left") << QPoint(0, 0) << false;
        QTest::newRow("Escape, moved") << QPoint(210, 137) << true;
    }

    void infoBoxIsCentredAndCloses()
    {
        QFETCH(QPoint, windowPosition);
        QFETCH(bool, withEscape);
        window->move(windowPosition);
        QTest::qWait(50);
        QRect seen;
        QString text;
        QString title;
        bool closed = false;
        QTimer::singleShot(100, [&] {
            auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = box->frameGeometry();
            title = box->windowTitle();
            text = box->findChild<QWidget *>("textBrowser")->property("plainText").toString();
            QVERIFY(!(box->windowFlags() & Qt::WindowContextHelpButtonHint));
            if (withEscape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->findChild<QPushButton *>()->click();
            closed = true;
        });
        child<QAction>("actionInfo")->trigger();
        QVERIFY(closed);
        QCOMPARE(title, QStringLiteral("Info"));
        QCOMPARE(seen.height(), 150);
        const QPoint centre = window->frameGeometry().center();
        QCOMPARE(seen.topLeft(), QPoint(centre.x() - seen.width() / 2, centre.y() - 150 / 2));
        QVERIFY(text.contains("Orlo_CNC_Control"));
        QVERIFY(text.contains("V1.23"));
        QVERIFY(text.contains(QString::fromLatin1(qVersion())));
        QVERIFY(!QApplication::activeModalWidget());
    }
};

ORLO_TEST_MAIN(TestMainWindowForm)
#include "tst_MainWindowForm.moc"
