// Opening a million-line program until the editor shows it coloured and the preview has drawn
// it, beside the toolkit's own plain-text editor taking the same text; and the memory the loaded
// program takes in each, every one measured in a process of its own.
#include "BenchProgram.h"
#include "PaintWatch.h"

#include "app/MainWindow.h"
#include "editor/CodeEditor.h"
#include "editor/GCodeSyntaxHighlighter.h"
#include "preview/OpenGLWidget.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QUrl>

#include <cstdio>
#include <malloc.h>

using namespace BenchProgram;

namespace {

bool visibleBlocksHighlighted(CodeEditor *editor)
{
    const QRect view = editor->viewport()->rect();
    for (QTextBlock block = editor->cursorForPosition(view.topLeft()).block();
         block.isValid() &&
         block.blockNumber() <= editor->cursorForPosition(view.bottomLeft()).blockNumber();
         block = block.next()) {
        if (!GCodeSyntaxHighlighter::isHighlighted(block) || block.layout()->formats().isEmpty())
            return false;
    }
    return true;
}

double bareOpen(const QString &text, QSize size, double *callMs)
{
    QPlainTextEdit bare;
    bare.resize(size);
    bare.show();
    if (!QTest::qWaitForWindowExposed(&bare))
        qFatal("no window");
    PaintWatch painted(bare.viewport());
    QElapsedTimer timer;
    timer.start();
    bare.setPlainText(text);
    *callMs = msSince(timer);
    return untilPainted(timer, {&painted});
}

void drop(QWidget *target, const QString &path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
}

long residentKb()
{
    return statusKb("VmRSS:");
}

// Loads the program into a bare editor or the station and prints the resident memory before
// and after, with the program's text itself given back.
int measureMemory(const QString &which)
{
    QPlainTextEdit bare;
    MainWindow window;
    QWidget *shown = which == "bare" ? static_cast<QWidget *>(&bare) : &window;
    shown->show();
    if (!QTest::qWaitForWindowExposed(shown))
        qFatal("no window");
    auto *editor =
        which == "bare" ? &bare : window.findChild<QPlainTextEdit *>("plainTextEditGCode");
    auto *preview = window.findChild<OpenGLWidget *>("GLWidget");
    longestStallMs(300);
    malloc_trim(0);
    const long before = residentKb();
    {
        const QString text = millionLines();
        PaintWatch painted(editor->viewport()), drawn(preview);
        QElapsedTimer timer;
        timer.start();
        editor->setPlainText(text);
        if (which == "bare")
            untilPainted(timer, {&painted});
        else
            untilPainted(timer, {&painted, &drawn});
    }
    longestStallMs(1000);
    malloc_trim(0);
    const long after = residentKb();
    std::printf("%ld %ld\n", before, after);
    return 0;
}

// Each in a process of its own, so that neither inherits the other's heap.
void reportMemory()
{
    long delta[2] = {};
    const char *const kinds[] = {"bare", "station"};
    for (int n = 0; n < 2; ++n) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--memory", kinds[n]});
        child.waitForFinished(300000);
        long before = 0, after = 0;
        std::sscanf(child.readAllStandardOutput().constData(), "%ld %ld", &before, &after);
        delta[n] = after - before;
        std::printf("resident memory, %-7s: %6.1f MB before loading, %6.1f MB loaded: %6.1f MB "
                    "for the program\n",
                    kinds[n], before / 1024.0, after / 1024.0, delta[n] / 1024.0);
    }
    std::printf("the station's memory for the program: %.2f times the bare editor's\n",
                double(delta[1]) / double(delta[0]));
}

} // namespace

int main(int argc, char **argv)
{
    const OwnSettingsStore store;
    QApplication application(argc, argv);
    if (const int at = application.arguments().indexOf("--memory"); at > 0)
        return measureMemory(application.arguments().value(at + 1));
    reportMemory();
    const QString text = millionLines();
    std::printf("program: %d lines, %.1f MB\n", int(text.count('\n')), text.toUtf8().size() / 1e6);

    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("no window");
    auto *editor = window.findChild<CodeEditor *>("plainTextEditGCode");
    auto *preview = window.findChild<OpenGLWidget *>("GLWidget");
    PaintWatch editorPainted(editor->viewport()), previewDrawn(preview);

    // Alternating, three times: the machine may be shared, and the median tells more.
    QVector<double> ratios;
    for (int round = 1; round <= 3; ++round) {
        double bareCall = 0;
        const double bare = bareOpen(text, editor->viewport()->size(), &bareCall);

        editor->clear();
        QCoreApplication::processEvents();
        resetWatches({&editorPainted, &previewDrawn});
        QElapsedTimer timer;
        timer.start();
        editor->setPlainText(text); // what "Open File" does
        const double call = msSince(timer);
        const double shown = untilPainted(timer, {&editorPainted, &previewDrawn});
        ratios.append(shown / bareCall);
        std::printf("round %d: baseline, bare plain-text editor: setPlainText %5.0f ms, until "
                    "painted %5.0f ms\n",
                    round, bareCall, bare);
        std::printf("         station: setPlainText %5.0f ms, until coloured and drawn %5.0f ms "
                    "(visible lines coloured: %s, envelope %.0f x %.0f)\n",
                    call, shown, visibleBlocksHighlighted(editor) ? "yes" : "NO",
                    double(preview->envelope().width()), double(preview->envelope().depth()));
        std::printf("         ratio to the bare setPlainText %.2f, to the bare editor painted "
                    "%.2f\n",
                    shown / bareCall, shown / bare);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("median ratio to the bare setPlainText: %.2f\n", ratios[1]);

    std::printf("after loading, longest stall of the event loop over 2 s: %.1f ms\n",
                longestStallMs(2000));
    resetWatches({&editorPainted});
    QElapsedTimer timer;
    timer.start();
    editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum() / 2);
    const double jumped = untilPainted(timer, {&editorPainted});
    std::printf("jump to the middle until painted: %.1f ms (visible lines coloured: %s)\n", jumped,
                visibleBlocksHighlighted(editor) ? "yes" : "NO");

    QTemporaryDir folder;
    QFile file(folder.filePath("million.nc"));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        qFatal("cannot write");
    file.close();
    editor->clear();
    QCoreApplication::processEvents();
    QSignalSpy loaded(editor, &CodeEditor::dropHandled);
    resetWatches({&editorPainted, &previewDrawn});
    timer.restart();
    drop(editor->viewport(), file.fileName());
    loaded.wait(60000);
    std::printf("dropping the file until coloured and drawn: %.0f ms\n",
                untilPainted(timer, {&editorPainted, &previewDrawn}));
    std::printf("peak memory: %ld MB\n", peakRssMb());
    return 0;
}
