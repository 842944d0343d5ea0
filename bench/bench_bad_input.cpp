// Absurd files dropped onto the station: each must load, or be refused, within seconds and
// without eating memory, and leave the station responsive. Prints what each one cost.
#include "BenchProgram.h"
#include "PaintWatch.h"

#include "app/MainWindow.h"
#include "editor/CodeEditor.h"
#include "preview/OpenGLWidget.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QLCDNumber>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cstdio>

using namespace BenchProgram;

namespace {

long currentRssMb()
{
    return statusKb("VmRSS:") / 1024;
}

QByteArray randomBytes(qint64 size, bool withNul)
{
    QByteArray bytes(int(size), Qt::Uninitialized);
    QRandomGenerator random(1);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), int(size / 4));
    if (!withNul)
        bytes.replace('\0', '\1');
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    const OwnSettingsStore store;
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("no window");
    auto *editor = window.findChild<CodeEditor *>("plainTextEditGCode");
    auto *preview = window.findChild<OpenGLWidget *>("GLWidget");
    auto *width = window.findChild<QLCDNumber *>("lcdNumberX");
    PaintWatch editorPainted(editor->viewport()), previewDrawn(preview);
    QTemporaryDir folder;

    const QList<QPair<const char *, QByteArray>> inputs = {
        {"50 MB of random bytes", randomBytes(50'000'000, true)},
        {"50 MB of random bytes without NUL", randomBytes(50'000'000, false)},
        {"one line of 10 million characters", QByteArray("G1X10Y-2.5 ").repeated(909'091)},
        {"an arc of radius 1e30", "G1 X5\nG2 X0 Y0 I1" + QByteArray(30, '0') + "\n"},
        {"a million lines of G2", QByteArray("G2\n").repeated(1'000'000)},
        {"70 MB of program text", QByteArray("G1 X1 Y2\n").repeated(70'000'000 / 9)},
    };
    for (const auto &[name, content] : inputs) {
        QFile file(folder.filePath("input.nc"));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write");
        file.close();
        editor->setPlainText("G0 X1");
        longestStallMs(300);
        const long before = currentRssMb();
        resetWatches({&editorPainted, &previewDrawn});
        QSignalSpy handled(editor, &CodeEditor::dropHandled);
        QElapsedTimer timer;
        timer.start();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file.fileName())});
        QDragEnterEvent enter({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &enter);
        QDropEvent drop({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &drop);
        handled.wait(120000);
        const bool loaded = !handled.isEmpty() && handled.first().first().toBool();
        const double ms =
            loaded ? untilPainted(timer, {&editorPainted, &previewDrawn}) : msSince(timer);
        std::printf("%-36s %s in %6.0f ms, %7d lines, memory +%ld MB (peak so far %ld MB), "
                    "envelope width %g, longest stall afterwards %.0f ms\n",
                    name, loaded ? "loaded " : "refused", ms, editor->blockCount(),
                    currentRssMb() - before, peakRssMb(), width->value(), longestStallMs(1500));
    }
    return 0;
}
