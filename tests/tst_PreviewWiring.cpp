#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"
#include "editor/CodeEditor.h"
#include "preview/OpenGLWidget.h"

#include <QCheckBox>
#include <QLCDNumber>
#include <QPushButton>

using namespace WindowProbe;

class TestPreviewWiring : public QObject
{
    Q_OBJECT

private:
    MainWindow *window = nullptr;
    CodeEditor *editor = nullptr;
    OpenGLWidget *preview = nullptr;

    double shownWidth() { return child<QLCDNumber>(window, "lcdNumberX")->value(); }
    double shownDepth() { return child<QLCDNumber>(window, "lcdNumberY")->value(); }

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

    void typingRedrawsThePreview()
    {
        QTRY_COMPARE(shownWidth(), 20.0);
        QTest::keyClicks(editor, "G1 X30 Y40");
        QTRY_COMPARE(shownWidth(), 50.0);
        QCOMPARE(shownDepth(), 60.0);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, "G0 X-20");
        QTRY_COMPARE(shownWidth(), 70.0);
    }

    void emptyingTheEditorKeepsTheDrawnPath()
    {
        editor->setPlainText("G1 X30 Y40");
        QTRY_COMPARE(shownWidth(), 50.0);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QCOMPARE(editor->toPlainText(), QString());
        preview->grabFramebuffer(); // one more repaint
        QCOMPARE(shownWidth(), 50.0);
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
            const QImage shown = preview->grabFramebuffer();
            box->click();
            QVERIFY2(preview->grabFramebuffer() != shown, name);
            box->click();
            QVERIFY2(preview->grabFramebuffer() == shown, name);
            box->click(); // the tool hides behind the origin's Z arrow: leave it off
        }
    }
};

ORLO_TEST_MAIN(TestPreviewWiring)
#include "tst_PreviewWiring.moc"
