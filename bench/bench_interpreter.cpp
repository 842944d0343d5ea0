// The interpreter alone on a million-line program, beside the plain reference reading of the
// same rules.
#include "BenchProgram.h"
#include "ProgramReference.h"

#include "preview/DocumentPathReader.h"
#include "preview/PathInterpreter.h"

#include <QApplication>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>
#include <cstring>

using namespace BenchProgram;

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const QString text = millionLines();
    std::printf("program: %d lines, %.1f MB of text\n", int(text.count('\n')),
                text.toUtf8().size() / 1e6);

    QVector<double> runs;
    QVector<PathPoint> path;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        PathInterpreter::interpretText(text, path);
        runs.append(msSince(timer));
    }
    std::sort(runs.begin(), runs.end());
    const double median = runs[2];
    QElapsedTimer timer;
    timer.start();
    const QVector<PathPoint> oracle = ProgramReference::interpret(text);
    const double oracleMs = msSince(timer);
    const bool same =
        oracle.size() == path.size() && std::memcmp(oracle.constData(), path.constData(),
                                                    size_t(path.size()) * sizeof(PathPoint)) == 0;
    std::printf("interpreter (hand-written scanner):   %8.1f ms  (median of 5, slowest %.1f ms), "
                "%d points\n",
                median, runs.last(), int(path.size()));
    std::printf("baseline (plain reference reader):    %8.1f ms  -> %.1f times faster, points %s\n",
                oracleMs, oracleMs / median, same ? "identical" : "DIFFERENT");

    // The editor's way: the document's blocks read once, then one typed character.
    QTextDocument document;
    document.setDocumentLayout(new QPlainTextDocumentLayout(&document)); // as in the editor
    document.setPlainText(text);
    DocumentPathReader reader;
    timer.restart();
    reader.setDocument(&document);
    QVector<PathPoint> edited;
    reader.updatePath(edited);
    std::printf("document read block by block:         %8.1f ms\n", msSince(timer));
    QTextCursor cursor(document.findBlockByNumber(500'001));
    cursor.movePosition(QTextCursor::EndOfWord);
    timer.restart();
    cursor.insertText("5");
    reader.updatePath(edited);
    const double typedMs = msSince(timer);
    timer.restart();
    PathInterpreter::interpretText(document.toPlainText(), path);
    std::printf("one typed character, edited block:    %8.1f ms  (re-reading the whole text: "
                "%.1f ms), points %s\n",
                typedMs, msSince(timer),
                edited.size() == path.size() &&
                        std::memcmp(edited.constData(), path.constData(),
                                    size_t(path.size()) * sizeof(PathPoint)) == 0
                    ? "identical"
                    : "DIFFERENT");
    std::printf("peak memory: %ld MB\n", peakRssMb());
    return 0;
}
