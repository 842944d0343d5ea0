// With a million-line program loaded, one typed character until the preview's new frame is on
// the screen, beside the same keystroke in the toolkit's own plain-text editor and beside what
// reading the whole text again would cost.
#include "BenchProgram.h"
#include "PaintWatch.h"

#include "app/MainWindow.h"
#include "editor/CodeEditor.h"
#include "preview/OpenGLWidget.h"
#include "preview/PathInterpreter.h"

#include <QApplication>
#include <QTest>
#include <QTextBlock>

#include <cstdio>

using namespace BenchProgram;

namespace {

// Behind the X of a "G0 X..." line, so that the digit moves a point of the path.
void putCursorAfterX(QPlainTextEdit *editor, int line)
{
    QTextCursor cursor(editor->document()->findBlockByNumber(line));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 4);
    editor->setTextCursor(cursor);
    editor->ensureCursorVisible();
    longestStallMs(300);
}

// Types one digit into the line's X word and waits for the watched paints; then takes it back.
double typeOne(QPlainTextEdit *editor, int line, std::initializer_list<PaintWatch *> watches)
{
    putCursorAfterX(editor, line);
    resetWatches(watches);
    QElapsedTimer timer;
    timer.start();
    QTest::keyClick(editor, Qt::Key_5);
    const double ms = untilPainted(timer, watches);
    QTest::keyClick(editor, Qt::Key_Backspace);
    longestStallMs(300);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QString text = millionLines();
    const int lines[] = {10, 500'000, 999'990}; // "G0 X..." lines

    QPlainTextEdit bare;
    bare.resize(400, 300);
    bare.show();
    if (!QTest::qWaitForWindowExposed(&bare))
        qFatal("no window");
    bare.setPlainText(text);
    PaintWatch barePainted(bare.viewport());
    std::printf("baseline, bare plain-text editor, keystroke until painted:");
    for (int line : lines)
        std::printf("  line %d: %.1f ms", line + 1, typeOne(&bare, line, {&barePainted}));
    std::printf("\n");
    bare.hide();

    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("no window");
    auto *editor = window.findChild<CodeEditor *>("plainTextEditGCode");
    auto *preview = window.findChild<OpenGLWidget *>("GLWidget");
    PaintWatch editorPainted(editor->viewport()), previewDrawn(preview);
    QElapsedTimer loading;
    loading.start();
    editor->setPlainText(text);
    untilPainted(loading, {&editorPainted, &previewDrawn});
    longestStallMs(500);
    std::printf("station, keystroke until the editor and the preview's new frame are on screen:");
    double worst = 0;
    for (int line : lines) {
        const double ms = typeOne(editor, line, {&editorPainted, &previewDrawn});
        worst = std::max(worst, ms);
        std::printf("  line %d: %.1f ms", line + 1, ms);
    }
    std::printf("\n  slowest: %.1f ms\n", worst);

    QElapsedTimer timer;
    timer.start();
    QVector<PathPoint> path;
    PathInterpreter::interpretText(editor->document()->toPlainText(), path);
    std::printf("baseline, reading the whole text again per keystroke (toPlainText and "
                "interpreter, no repaint): %.1f ms\n",
                msSince(timer));
    return 0;
}
