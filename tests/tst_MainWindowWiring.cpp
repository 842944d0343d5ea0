#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"
#include "editor/CodeEditor.h"
#include "preview/OpenGLWidget.h"

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QLCDNumber>
#include <QPushButton>

using namespace WindowProbe;

// The main window's parts reach each other: the editor the preview, the actions the docks and
// dialogs.
class TestMainWindowWiring : public QObject
{
    Q_OBJECT

private:
    MainWindow *window = nullptr;
    CodeEditor *editor = nullptr;
    OpenGLWidget *preview = nullptr;

    double shown(const char *display) { return child<QLCDNumber>(window, display)->value(); }

private slots:
    void init()
    {
        window = new MainWindow;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        editor = child<CodeEditor>(window, "plainTextEditGCode");
        preview = child<OpenGLWidget>(window, "GLWidget");
    }

    void cleanup() { delete window; }

    // Emptying the editor keeps the drawn path.
    void typingRedrawsThePreview()
    {
        QTRY_COMPARE(shown("lcdNumberX"), 20.0);
        QTest::keyClicks(editor, "G1 X30 Y40");
        QTRY_COMPARE(shown("lcdNumberX"), 50.0);
        QCOMPARE(shown("lcdNumberY"), 60.0);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, "G0 X-20");
        QTRY_COMPARE(shown("lcdNumberX"), 70.0);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QCOMPARE(editor->toPlainText(), QString());
        preview->grabFramebuffer(); // one more repaint
        QCOMPARE(shown("lcdNumberX"), 70.0);
    }

    void viewFromAboveFitsTheEnvelope()
    {
        editor->setPlainText("G1 X100 Y50");
        preview->grabFramebuffer();
        ViewControl expected = preview->view();
        QVERIFY(expected.lookFromAbove(preview->envelope()));
        child<QPushButton>(window, "pushButtonLookFromAbove")->click();
        QCOMPARE(preview->view().zoom, expected.zoom);
        QCOMPARE(preview->view().xTrans, -500);
    }

    void checkBoxesShowAndHide()
    {
        child<QPushButton>(window, "pushButtonLookFromAbove")->click();
        for (const char *name : {"checkBoxOrigin", "checkBoxBounding", "checkBoxTool"}) {
            QCheckBox *box = child<QCheckBox>(window, name);
            const QImage before = preview->grabFramebuffer();
            box->click();
            QVERIFY2(preview->grabFramebuffer() != before, name);
            box->click();
            QVERIFY2(preview->grabFramebuffer() == before, name);
            box->click(); // the tool hides behind the origin's Z arrow: leave it off
        }
    }

    void actionsShowTheirWindows_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("shown");
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
        QTest::newRow("port settings") << "actionCom_Port_Settings"
                                       << "SettingsDialog";
        QTest::newRow("port settings by button") << "pushButtonConnection"
                                                 << "SettingsDialog";
        QTest::newRow("parameters") << "actionGRBL_Config"
                                    << "GrblSettingsDialog";
        QTest::newRow("probing") << "pushButtonOpenProbeDialog"
                                 << "ProbingDialog";
        QTest::newRow("positions") << "actionPositions"
                                   << "PositionsDialog";
        QTest::newRow("positions by button") << "pushButtonPositions"
                                             << "PositionsDialog";
        QTest::newRow("hole cutter") << "actionHolecutter_Tool"
                                     << "HelicalHoleCutter";
        QTest::newRow("gamepad") << "actionGamepad_Config"
                                 << "WindowsGamepad";
    }

    void actionsShowTheirWindows()
    {
        QFETCH(QString, action);
        QFETCH(QString, shown);
        QWidget *target = window->findChild<QWidget *>(shown);
        if (!target)
            target = topLevel(qPrintable(shown));
        target->close();
        if (auto *button = window->findChild<QPushButton *>(action))
            button->click();
        else
            child<QAction>(window, qPrintable(action))->trigger();
        QVERIFY(target->isVisible());
        target->hide();
    }

    // Centred on the window wherever it stands; OK and Escape close it.
    void infoBoxIsCentredAndCloses()
    {
        for (const QPoint position : {QPoint(0, 0), QPoint(210, 137)}) {
            window->move(position);
            QTest::qWait(50);
            QRect seen;
            QTimer::singleShot(100, [&] {
                QWidget *box = QApplication::activeModalWidget();
                if (!box)
                    return;
                seen = box->frameGeometry();
                QVERIFY(box->findChild<QWidget *>("textBrowser")
                            ->property("plainText")
                            .toString()
                            .contains(QString::fromLatin1(qVersion())));
                if (position.isNull())
                    box->findChild<QPushButton *>()->click();
                else
                    QTest::keyClick(box, Qt::Key_Escape);
            });
            child<QAction>(window, "actionInfo")->trigger();
            QVERIFY(!QApplication::activeModalWidget());
            const QPoint centre = window->frameGeometry().center();
            QCOMPARE(seen,
                     QRect(centre.x() - seen.width() / 2, centre.y() - 75, seen.width(), 150));
        }
    }
};

ORLO_TEST_MAIN(TestMainWindowWiring)
#include "tst_MainWindowWiring.moc"
