// With a million-line program loaded, one typed character until the preview's new frame and the
// envelope displays are on the screen, beside the same keystroke in the toolkit's own plain-text
// editor and beside what reading the whole text again would cost. Two kinds of keystroke: a
// digit that moves a point inside the envelope, and one that widens the envelope ("G1 X500" at
// the very end of the program becomes "G1 X5000").
#include "BenchProgram.h"
#include "PaintWatch.h"

#include "app/MainWindow.h"
#include "editor/CodeEditor.h"
#include "preview/OpenGLWidget.h"
#include "preview/PathInterpreter.h"

#include <QApplication>
#include <QLCDNumber>
#include <QTest>
#include <QTextBlock>

#include <cstdio>
#include <functional>

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

void putCursorAtEnd(QPlainTextEdit *editor)
{
    editor->moveCursor(QTextCursor::End);
    editor->ensureCursorVisible();
    longestStallMs(300);
}

// Types one key and waits for the watched paints and for done(); then takes the key back.
double typeOne(
    QPlainTextEdit *editor, Qt::Key key, std::initializer_list<PaintWatch *> watches,
    const std::function<bool()> &done = [] { return true; })
{
    resetWatches(watches);
    QElapsedTimer timer;
    timer.start();
    QTest::keyClick(editor, key);
    untilPainted(timer, watches);
    while (!done() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = msSince(timer);
    QTest::keyClick(editor, Qt::Key_Backspace);
    longestStallMs(300);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    const OwnSettingsStore store;
    QApplication application(argc, argv);
    const QString text = millionLines() + "G1 X500"; // no line break after the last line
    const int lines[] = {10, 500'000, 999'990};      // "G0 X..." lines

    QPlainTextEdit bare;
    bare.resize(400, 300);
    bare.show();
    if (!QTest::qWaitForWindowExposed(&bare))
        qFatal("no window");
    bare.setPlainText(text);
    PaintWatch barePainted(bare.viewport());
    std::printf("baseline, bare plain-text editor, keystroke until painted:");
    for (int line : lines) {
        putCursorAfterX(&bare, line);
        std::printf("  line %d: %.1f ms", line + 1, typeOne(&bare, Qt::Key_5, {&barePainted}));
    }
    putCursorAtEnd(&bare);
    std::printf("  last line: %.1f ms\n", typeOne(&bare, Qt::Key_0, {&barePainted}));
    bare.hide();

    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("no window");
    auto *editor = window.findChild<CodeEditor *>("plainTextEditGCode");
    auto *preview = window.findChild<OpenGLWidget *>("GLWidget");
    auto *widthShown = window.findChild<QLCDNumber *>("lcdNumberX");
    PaintWatch editorPainted(editor->viewport()), previewDrawn(preview), widthPainted(widthShown);
    QElapsedTimer loading;
    loading.start();
    editor->setPlainText(text);
    untilPainted(loading, {&editorPainted, &previewDrawn});
    preview->lookFromAbove(); // the operator looks at the program
    longestStallMs(500);
    std::printf("station, keystroke until the editor and the preview's new frame are on screen:\n");
    std::printf("  inside the envelope:");
    double worst = 0;
    for (int line : lines) {
        putCursorAfterX(editor, line);
        const double ms = typeOne(editor, Qt::Key_5, {&editorPainted, &previewDrawn});
        worst = std::max(worst, ms);
        std::printf("  line %d: %.1f ms", line + 1, ms);
    }
    putCursorAtEnd(editor);
    const Envelope before = preview->envelope();
    const double widened = std::max(double(before.xMax), 5010.0) - double(before.xMin);
    const double ms = typeOne(editor, Qt::Key_0, {&editorPainted, &previewDrawn, &widthPainted},
                              [&] { return qAbs(widthShown->value() - widened) < 0.5; });
    worst = std::max(worst, ms);
    std::printf("\n  widening the envelope (width %.0f shown): %.1f ms (last line)\n", widened, ms);
    std::printf("  slowest: %.1f ms\n", worst);

    QElapsedTimer timer;
    timer.start();
    QVector<PathPoint> path;
    PathInterpreter::interpretText(editor->document()->toPlainText(), path);
    std::printf("baseline, reading the whole text again per keystroke (toPlainText and "
                "interpreter, no repaint): %.1f ms\n",
                msSince(timer));
    return 0;
}
