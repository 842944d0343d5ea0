#include "ImmediatePathWidget.h"
#include "ProgramReference.h"
#include "RandomWords.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/KeyboardJog.h"
#include "app/LedGeometry.h"
#include "app/MainWindow.h"
#include "app/TerminalPane.h"
#include "editor/CodeEditor.h"
#include "editor/GCodeSyntaxHighlighter.h"
#include "editor/ProgramFile.h"
#include "preview/DocumentPathReader.h"
#include "preview/OpenGLWidget.h"
#include "preview/PathInterpreter.h"
#include "preview/RunTimeEstimate.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLCDNumber>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstring>
#include <memory>

using namespace WindowProbe;
using LedGeometry::Spot;
using Path = QVector<PathPoint>;
Q_DECLARE_METATYPE(Spot)
Q_DECLARE_METATYPE(Path)

char *toString(const ViewControl &v)
{
    return qstrdup(qPrintable(QString::asprintf("rot %d %d %d, pan %d %d, zoom %d", v.xRot, v.yRot,
                                                v.zRot, v.xTrans, v.yTrans, v.zoom)));
}

namespace {

// The highlighter's rules as pattern searches, each over the ones before: the scanner's yardstick.
QVector<QTextCharFormat> formatsOfTheRules(const QString &text)
{
    static const QVector<QRegularExpression> rules = [] {
        QVector<QRegularExpression> list;
        for (const char *letter : {"nN", "mM", "gG"})
            list << QRegularExpression(QString("[%1][0-9]*").arg(letter));
        for (const char *letter : {"xX", "yY", "zZ", "iI", "jJ", "kK", "rR", "sS", "fF"})
            list << QRegularExpression(QString("[%1]-?[0-9]*\\.?[0-9]*").arg(letter));
        return list << QRegularExpression("[(][^)]*[)]");
    }();
    QVector<QTextCharFormat> found(text.size());
    for (int rule = 0; rule < rules.size(); ++rule) {
        QRegularExpressionMatchIterator matches = rules[rule].globalMatch(text);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            std::fill(found.begin() + match.capturedStart(), found.begin() + match.capturedEnd(),
                      GCodeSyntaxHighlighter::ruleFormat(HighlightRule(rule)));
        }
    }
    return found;
}

// The formats the toolkit stores in the layout, which is what gets painted, one a character.
QVector<QTextCharFormat> painted(const QTextBlock &block)
{
    QVector<QTextCharFormat> formats(block.length() - 1);
    for (const QTextLayout::FormatRange &range : block.layout()->formats())
        std::fill(formats.begin() + range.start, formats.begin() + range.start + range.length,
                  range.format);
    return formats;
}

QString lineWithRandomLetters(QRandomGenerator &random)
{
    static const QString extras = QStringLiteral("nNmMkKrRsSfF()(-.0123456789 ");
    QString line = RandomWords::controllerLine(random);
    for (int n = random.bounded(6); n > 0; --n)
        line.insert(random.bounded(int(line.size()) + 1),
                    extras[random.bounded(int(extras.size()))]);
    return line;
}

Path interpreted(const QString &text)
{
    Path path;
    PathInterpreter::interpretText(text, path);
    return path;
}

// To the last bit of the floats, so that a difference names the first point that differs.
QStringList points(const Path &path)
{
    QStringList texts;
    for (const PathPoint &p : path)
        texts << QString::asprintf("%.9g %.9g %.9g %g", p.x, p.y, p.z, p.moveType);
    return texts;
}

// A colour counts when its channels stand clearly apart from the grey background (85, 85, 85):
// those named in "rgb" high, the others low.
bool looks(const QColor &pixel, const char *high)
{
    const int values[] = {pixel.red(), pixel.green(), pixel.blue()};
    for (int n = 0; n < 3; ++n)
        if (std::strchr(high, "rgb"[n]) ? values[n] <= 120 : values[n] >= 60)
            return false;
    return true;
}

bool onPath(const QColor &c)
{
    return looks(c, "r") || looks(c, "g");
}

// Whether any pixel within one of the point looks that colour, or lies on the path.
bool near(const QImage &image, QPoint at, const char *colour = nullptr)
{
    for (int n = 0; n < 9; ++n) {
        const QColor pixel = image.pixelColor(at.x() + n % 3 - 1, at.y() + n / 3 - 1);
        if (colour ? looks(pixel, colour) : onPath(pixel))
            return true;
    }
    return false;
}

constexpr int side = 400;

} // namespace

// The main window's wiring, the editor, the preview, the terminal pane and the connection lamp.
class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    Path path;
    QLCDNumber envelopeX, envelopeY, envelopeZ, toolX, toolY, toolZ;
    // Each test's own; the window only for the tests that open it.
    std::unique_ptr<CodeEditor> editor;
    std::unique_ptr<OpenGLWidget> preview;
    std::unique_ptr<QPlainTextEdit> edit;
    std::unique_ptr<TerminalPane> pane;
    std::unique_ptr<MainWindow> window;
    CodeEditor *windowEditor = nullptr;
    OpenGLWidget *windowPreview = nullptr;

    QImage frame() { return preview->grabFramebuffer(); }

    // Draws the path anew and looks from above: the view then follows the measured envelope.
    QImage fittedFrame(bool tool = false)
    {
        preview->updateGL();
        preview->setShowOrigin(false);
        preview->setShowEnvelope(false);
        preview->setShowTool(tool);
        frame();
        preview->lookFromAbove();
        return frame();
    }

    // Where a point of the plane Z = 0 shows in a view from above, in the frame's pixels.
    QPoint pixelOf(float x, float y) const
    {
        const ViewControl &view = preview->view();
        const double ratio = preview->devicePixelRatioF();
        const double perUnit = ratio * view.scale() / 1000.0; // 400000 over 400 widget pixels
        return QPoint(int(ratio * side / 2 + (x + view.xTrans * 0.1) * perUnit),
                      int(ratio * side / 2 - (y + view.yTrans * 0.1) * perUnit));
    }

    // A stretch (or everything) removed, an undo, or lines, a separator or a word inserted.
    static void applyRandomEdit(QTextDocument &document, QRandomGenerator &random)
    {
        QTextCursor cursor(&document);
        const int length = document.characterCount() - 1;
        cursor.setPosition(random.bounded(length + 1));
        const int kind = random.bounded(6);
        if (kind == 0) {
            cursor.setPosition(std::min(length, cursor.position() + random.bounded(200)),
                               QTextCursor::KeepAnchor);
            if (random.bounded(20) == 0)
                cursor.select(QTextCursor::Document);
            cursor.removeSelectedText();
        } else if (kind == 3) {
            document.undo();
        } else {
            cursor.insertText(
                kind == 1           ? RandomWords::controllerProgram(random, random.bounded(1, 20))
                : kind == 2         ? QChar(0x2028) + QString("G1 X%1").arg(random.bounded(100))
                : random.bounded(2) ? RandomWords::fault(random)
                                    : RandomWords::commandWord(random));
        }
    }

    static bool shownAt(QWidget *widget, int width, int height)
    {
        widget->resize(width, height);
        widget->show();
        return QTest::qWaitForWindowExposed(widget);
    }

    double shown(const char *display) { return child<QLCDNumber>(window.get(), display)->value(); }

    void openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        windowEditor = child<CodeEditor>(window.get(), "plainTextEditGCode");
        windowPreview = child<OpenGLWidget>(window.get(), "GLWidget");
    }

    void drop(QMimeData &data)
    {
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor->viewport(), &event);
    }

    void append(const QString &prefix, int from, int to)
    {
        for (int i = from; i < to; ++i)
            pane->append(prefix + QString::number(i), Qt::red);
    }

private slots:
    void init()
    {
        path.clear();
        preview = std::make_unique<OpenGLWidget>();
        preview->setToolPath(&path);
        preview->setEnvelopeDisplays(&envelopeX, &envelopeY, &envelopeZ);
        preview->setToolDisplays(&toolX, &toolY, &toolZ);
        for (QLCDNumber *display : {&toolX, &toolY, &toolZ})
            display->display(0);
        QVERIFY(shownAt(preview.get(), side, side));
        pane = std::make_unique<TerminalPane>();
        edit = std::make_unique<QPlainTextEdit>();
        pane->attach(edit.get());
        editor = std::make_unique<CodeEditor>();
        QVERIFY(shownAt(editor.get(), 400, 300));
    }

    void cleanup() { window.reset(); }

    // The keys jog where the operator looks at the machine, once per real press. A step is
    // "press", "shift" (with Shift), "repeat" (the keyboard's own release and press) or
    // "release" of a key at a widget, "focus" moving to a widget, or "held" asking the key.
    void keyboardJog_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("heard");
        const auto row = [](const char *name, const char *steps, const char *heard) {
            QTest::newRow(name) << QString(steps) << QString(heard);
        };
        row("a tap", "press Right button|release Right button", "pressed 0|released");
        row("repeats are one press", "press PgUp button|repeat PgUp button|release PgUp button",
            "pressed 4|released");
        row("the key pressed last leads",
            "press Right button|press Up button|held|release Up button|held",
            "pressed 0|pressed 2|held 2|released|held 0");
        row("Shift", "shift Down button|release Down button", "");
        row("a field of the surface", "press Down spin|release Down spin", "");
        row("outside the surface", "press Left outside|release Left outside", "");
        row("the focus leaving", "press Left button|focus outside|held",
            "pressed 1|released|held -1");
    }

    void keyboardJog()
    {
        QFETCH(QString, steps);
        QFETCH(QString, heard);
        QWidget window;
        auto *surface = new QWidget(&window);
        const QMap<QString, QWidget *> at{{"button", new QPushButton(surface)},
                                          {"spin", new QDoubleSpinBox(surface)},
                                          {"outside", new QLineEdit(&window)}};
        KeyboardJog keys;
        keys.addSurface(surface);
        QStringList log;
        connect(&keys, &KeyboardJog::pressed,
                [&log](int b) { log << QString("pressed %1").arg(b); });
        connect(&keys, &KeyboardJog::released, [&log] { log << "released"; });
        QVERIFY(shownAt(&window, 200, 120));
        QApplication::setActiveWindow(&window);
        for (const QString &step : steps.split('|')) {
            const QStringList words = step.split(' ');
            if (words[0] == "held") {
                log << QString("held %1").arg(keys.held() ? int(*keys.held()) : -1);
                continue;
            }
            QWidget *widget = at.value(words.last());
            widget->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), widget);
            const bool repeat = words[0] == "repeat";
            const auto send = [&](QEvent::Type type) {
                QKeyEvent key(type, keyNamed(words[1]),
                              words[0] == "shift" ? Qt::ShiftModifier : Qt::NoModifier, QString(),
                              repeat);
                QApplication::sendEvent(widget, &key);
            };
            if (words[0] == "release" || repeat)
                send(QEvent::KeyRelease);
            if (words[0] == "press" || words[0] == "shift" || repeat)
                send(QEvent::KeyPress);
        }
        QCOMPARE(log.join('|'), heard);
    }

    void typingRedrawsThePreview()
    {
        openWindow();
        QTRY_COMPARE(shown("lcdNumberX"), 20.0);
        QTest::keyClicks(windowEditor, "G1 X30 Y40");
        QTRY_COMPARE(shown("lcdNumberX"), 50.0);
        QCOMPARE(shown("lcdNumberY"), 60.0);
        QTest::keyClick(windowEditor, Qt::Key_Return);
        QTest::keyClicks(windowEditor, "G0 X-20");
        QTRY_COMPARE(shown("lcdNumberX"), 70.0);
        // A kept map draws the program it levels; cleared, the operator's again.
        auto *save = child<QAction>(window.get(), "actionSave_Levelled_Program");
        windowEditor->setPlainText("G0 X0 Y0 Z0\nG1 X10 F100"); // where it starts is known
        QTRY_COMPARE(shown("lcdNumberX"), 30.0);
        QCOMPARE(shown("lcdNumberZ"), 0.0);
        const HeightMap map({0, 0, 10, 10, 2, 2}, {0, -2, 0, -2});
        window->setHeightMap(map);
        QTRY_COMPARE(shown("lcdNumberZ"), 2.0);
        QVERIFY(save->isEnabled());
        // Saved is the program the map makes, not the operator's in the editor.
        QTimer::singleShot(300, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto *name = child<QLineEdit>(dialog, "fileNameEdit");
            name->setText(folder.filePath("levelled.nc"));
            QTest::keyClick(name, Qt::Key_Return); // as the operator does
        });
        save->trigger();
        QFile saved(folder.filePath("levelled.nc"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString(saved.readAll()),
                 LevelledProgram::level(windowEditor->toPlainText(), map).text + "\n");
        window->setHeightMap({});
        QTRY_COMPARE(shown("lcdNumberZ"), 0.0);
        QVERIFY(!save->isEnabled());
    }

    // The view from above fits the envelope; each box changes the picture and back.
    void viewFromAboveAndCheckBoxes()
    {
        openWindow();
        windowEditor->setPlainText("G1 X100 Y50");
        windowPreview->grabFramebuffer();
        child<QPushButton>(window.get(), "pushButtonLookFromAbove")->click();
        QCOMPARE(windowPreview->view().xTrans, -500); // centred on X 0 to 100
        for (const char *name : {"checkBoxOrigin", "checkBoxBounding", "checkBoxTool"}) {
            QCheckBox *box = child<QCheckBox>(window.get(), name);
            const QImage before = windowPreview->grabFramebuffer();
            box->click();
            QVERIFY2(windowPreview->grabFramebuffer() != before, name);
            box->click();
            QVERIFY2(windowPreview->grabFramebuffer() == before, name);
            box->click(); // the tool hides behind the origin's Z arrow: leave it off
        }
    }

    // An action or a button, and the dock or dialog it shows.
    void actionsShowTheirWindows()
    {
        openWindow();
        for (const QString row :
             {"actionMachine_Coordinates dockWidgetMachineCoordinates",
              "actionMacros dockWidgetMacros", "pushButtonConnection SettingsDialog",
              "actionGRBL_Config GrblSettingsDialog", "pushButtonOpenProbeDialog ProbingDialog",
              "pushButtonPositions PositionsDialog", "actionHolecutter_Tool HelicalHoleCutter",
              "actionHeight_Map HeightMapDialog", "actionGamepad_Config WindowsGamepad"}) {
            const QStringList names = row.split(' ');
            QWidget *target = window->findChild<QWidget *>(names[1]);
            if (!target)
                target = topLevel(qPrintable(names[1]));
            target->close();
            if (auto *button = window->findChild<QPushButton *>(names[0]))
                button->click();
            else
                child<QAction>(window.get(), qPrintable(names[0]))->trigger();
            QVERIFY2(target->isVisible(), qPrintable(row));
            target->hide();
        }
    }

    // The line numbers' gutter widens as the line count gains a digit, and the text moves over.
    void gutterGrowsWithTheDigitsOfTheLineCount()
    {
        QList<int> widths;
        for (const int lines : {1, 9, 10, 100}) {
            editor->setPlainText(QString("G1\n").repeated(lines - 1));
            widths << editor->lineNumberAreaWidth();
            QCOMPARE(editor->viewport()->geometry().left() - editor->contentsRect().left(),
                     widths.last());
        }
        QVERIFY(widths[0] == widths[1] && widths[1] < widths[2] && widths[2] < widths[3]);
        QVERIFY(widths[3] > 3 * editor->fontMetrics().horizontalAdvance(QLatin1Char('9')));
    }

    // The context menu starts a job at the line under the pointer, not while one runs.
    void startFromHereNamesTheLineUnderThePointer()
    {
        editor->setPlainText("G1 X1\nG1 X2\nG1 X3");
        QSignalSpy asked(editor.get(), &CodeEditor::startFromLineRequested);
        const QPoint second =
            editor->cursorRect(QTextCursor(editor->document()->findBlockByNumber(1))).center();
        QList<bool> offered;
        for (const bool readOnly : {true, false}) {
            editor->setReadOnly(readOnly);
            QTimer::singleShot(0, [&offered] {
                QWidget *menu = QApplication::activePopupWidget();
                auto *action = menu->findChild<QAction *>("actionStartFromHere");
                offered << action->isEnabled();
                if (action->isEnabled())
                    action->trigger();
                menu->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, second,
                                    editor->viewport()->mapToGlobal(second));
            QApplication::sendEvent(editor->viewport(), &event);
        }
        QCOMPARE(offered, (QList<bool>{false, true}));
        QCOMPARE(QList<QVariantList>(asked), QList<QVariantList>{{2}});
    }

    // A program file replaces the text; anything else leaves it, and the file's address is
    // not pasted into the program either. A read-only editor (a job runs) refuses and says so.
    void droppedFiles_data()
    {
        QTest::addColumn<QStringList>("names"); // no content: no file
        QTest::addColumn<QByteArrayList>("contents");
        QTest::addColumn<int>("handled"); // -1: not at all, 0: refused, 1: loaded, 2: read-only
        QTest::addColumn<QString>("text");
        const auto row = [](const QStringList &names, const QByteArrayList &contents, int handled,
                            const char *text) {
            QTest::newRow(qPrintable(names.join(' ')))
                << names << contents << handled << QString(text);
        };
        const char *old = "G0 X0";
        row({"program.GCODE"}, {"G1 X1\r\nG1 Y2\n"}, 1, "G1 X1\nG1 Y2\n");
        row({"b.cnc", "c.nc"}, {"(b)", "(c)"}, 1, "(b)");
        row({"nul.nc"}, {QByteArray("G1 X1\nG1 X2\0G1 X3", 17)}, 1, "G1 X1\nG1 X2");
        row({"binary.nc"}, {QByteArray(50 * 1024 * 1024, '\0')}, 1, "");
        row({"huge.nc"}, {QByteArray("G1 X1 Y1\n").repeated(ProgramFile::maxTextBytes / 9 + 1)}, 0,
            old);
        row({"gone.nc"}, {}, 0, old);
        row({"notes.txt", "d.nc"}, {"G1 X9", "G1 X8"}, -1, old);
        row({"during a job.nc"}, {"G1 X7"}, 2, old);
    }

    void droppedFiles()
    {
        QFETCH(QStringList, names);
        QFETCH(QByteArrayList, contents);
        QFETCH(int, handled);
        QFETCH(QString, text);
        editor->setPlainText("G0 X0");
        editor->setReadOnly(handled == 2);
        QMimeData data;
        QList<QUrl> urls;
        for (int n = 0; n < names.size(); ++n) {
            QFile file(folder.filePath(names[n]));
            if (n < contents.size())
                QVERIFY(file.open(QIODevice::WriteOnly) &&
                        file.write(contents[n]) == contents[n].size());
            urls << QUrl::fromLocalFile(file.fileName());
        }
        data.setUrls(urls);
        QSignalSpy spy(editor.get(), &CodeEditor::dropHandled);
        QSignalSpy refused(editor.get(), &CodeEditor::dropRefused);
        drop(data);
        QCOMPARE(refused.count(), int(handled == 2));
        const bool answered = handled == 0 || handled == 1;
        QVERIFY(!answered || spy.wait(5000));
        QCoreApplication::processEvents();
        QCOMPARE(spy.count(), int(answered));
        QCOMPARE(spy.value(0).value(0), answered ? QVariant(bool(handled)) : QVariant());
        QCOMPARE(editor->toPlainText(), text);
    }

    void textDropsStillInsertText()
    {
        QMimeData data;
        data.setText("G1 Z-1");
        drop(data);
        QCOMPARE(editor->toPlainText(), QStringLiteral("G1 Z-1"));
    }

    void highlightingAgreesWithThePatternSearches()
    {
        const int longest = GCodeSyntaxHighlighter::longestHighlightedLine;
        editor->setPlainText(QString("G1X1").repeated(longest)); // too long to colour
        QVERIFY(editor->document()->firstBlock().layout()->formats().isEmpty());
        QRandomGenerator random(31);
        for (int round = 0; round < 12; ++round) {
            // Each rule, open, paired and nested comments, a letter in a word, the longest line.
            QStringList lines = QString("N10 G01 X-12.5 Y3 F300 (feed)|n1m2g3x4y5z6i7j8k9r0s1f2(a)|"
                                        "G1 (x1 y|(a)G(b)|(a(b)c)x|max")
                                    .split('|')
                                << QString("G1X1").repeated(longest).left(longest);
            while (lines.size() < GCodeSyntaxHighlighter::immediateBlocks - 1)
                lines << lineWithRandomLetters(random);
            editor->setPlainText(lines.join('\n'));
            for (QTextBlock block = editor->document()->firstBlock(); block.isValid();
                 block = block.next())
                QCOMPARE(painted(block), formatsOfTheRules(block.text()));
        }
    }

    // Colouring lines as they come into view must not look like an edit: the preview re-reads.
    void largeEditsAreHighlightedWhenSeenAndAreNoEdit()
    {
        const int lines = 3 * GCodeSyntaxHighlighter::immediateBlocks;
        editor->setPlainText(QString("G1 X1 Y2\n").repeated(lines));
        QSignalSpy edits(editor.get(), &QPlainTextEdit::textChanged);
        QTextDocument *doc = editor->document();
        // A line is marked when either flag is set, coloured when both are.
        const auto marks = [doc](int line) {
            const QTextBlock block = doc->findBlockByNumber(line);
            return GCodeSyntaxHighlighter::isHighlighted(block) +
                   !block.layout()->formats().isEmpty();
        };
        editor->repaint();
        int count = 0;
        for (int line = 0; line < lines; ++line)
            count += marks(line) > 0;
        QVERIFY(marks(0) == 2 && count < 100); // what the view shows, not the program

        editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
        editor->repaint();
        QVERIFY(marks(lines - 1) == 2 && marks(lines / 2) == 0);
        QCOMPARE(edits.count(), 0);

        // An edit far out of view, of a few lines, is highlighted right away.
        QTextCursor(doc->findBlockByNumber(lines / 2)).insertText("G0 Z5\nG0 X3\n");
        QVERIFY(marks(lines / 2) == 2 && marks(lines / 2 + 1) == 2);
        QCOMPARE(edits.count(), 1);
    }

    // The path after the origin, which the plain reference reader finds too.
    void lines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Path>("expected");
        const auto row = [](const char *name, const QString &text, const Path &path) {
            QTest::newRow(name) << text << path;
        };
        row("the mode at the start is G0", "X5 Y5", {{5, 5, 0, 0}});
        row("incremental square", "G91 G1 X10\nY10\nX-10\nY-10",
            {{10, 0, 0, 1}, {10, 10, 0, 1}, {0, 10, 0, 1}, {0, 0, 0, 1}});
        row("inches", "G20 G0 X1 Y-0.5 F10\nG91 X1\nG21 X1",
            {{25.4f, -12.7f, 0, 0}, {50.8f, -12.7f, 0, 0}, {51.8f, -12.7f, 0, 0}});
        row("blanks inside words", "G 1 X 1 0 Y - 2 . 5\tZ+.5", {{10, -2.5f, 0.5f, 1}});
        row("lower case, no blanks", "g1x10y-2.5z.5", {{10, -2.5f, 0.5f, 1}});
        row("comments holding letters",
            "G1 X5 Y2\n(max depth)\nG1 Y3 (tool change g0)\n; x99\nX1(x9)0 ; y7",
            {{5, 2, 0, 1}, {5, 3, 0, 1}, {10, 3, 0, 1}});
        row("no point for what is not a move in program coordinates",
            "G0 X5\nG92 X0\nG28 X1\nG30 Y2\nG53 G0 Z-1\nG4 P1\nG10 L20 P1 X3\nG38.2 Z-5 F10\n"
            "Z-6\nG0 X6",
            {{5, 0, 0, 0}, {6, 0, 0, 0}});
        row("G80 leaves axis words without a motion", "G1 X1\nG80\nX5\nG0 X2",
            {{1, 0, 0, 1}, {2, 0, 0, 0}});
        row("a refused line changes nothing",
            "G91 X1 X2\nX3\n%\nG1 Q1 X4\nG0 G1 X5\nG99 X6\nG1 X-\nG1 X1.2.3\nG3 X8 G43.1 Z2\n"
            "G49 G0 X9\nG92 X1 G0 X9\nX7",
            {{3, 0, 0, 0}, {7, 0, 0, 0}});
        row("refused arcs", "G1 X1\nG2 X5 Y5\nG2 X20 R5\nG2 X1 Y0 R3\nG3 Z-1 I5\nG1 X2",
            {{1, 0, 0, 1}, {2, 0, 0, 1}});
        row("CR, LF and blank lines", "G1 X1\r\n\r\nG0 X2\rG1 X3\n",
            {{1, 0, 0, 1}, {2, 0, 0, 0}, {3, 0, 0, 1}});
        // X stays infinite, so Y2 is left out too; a finite X draws again.
        row("beyond float range adds no point", "G1 X1\nG1 X" + QString(40, '9') + "\nG1 Y2\nG1 X3",
            {{1, 0, 0, 1}, {3, 2, 0, 1}});
    }

    void lines()
    {
        QFETCH(QString, text);
        QFETCH(Path, expected);
        expected.prepend({0, 0, 0, 0});
        QCOMPARE(points(interpreted(text)), points(expected));
        QCOMPARE(points(ProgramReference::interpret(text)), points(expected));
    }

    // From the origin to (10, 0) on a radius of 10: centre and far point lie 8.66 and 1.34 or
    // 18.66 off the chord, on the side the direction and the sign of the radius choose.
    void radiusArcs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("centreY");
        QTest::addColumn<double>("farthestY");
        const double h = std::sqrt(75.0);
        QTest::newRow("clockwise, shorter") << "G2 X10 R10" << -h << 10 - h;
        QTest::newRow("clockwise, longer") << "G2 X10 R-10" << h << h + 10;
        QTest::newRow("counter-clockwise, shorter") << "G3 X10 R10" << h << h - 10;
        QTest::newRow("counter-clockwise, longer") << "G3 X10 R-10" << -h << -h - 10;
    }

    void radiusArcs()
    {
        QFETCH(QString, text);
        QFETCH(double, centreY);
        QFETCH(double, farthestY);
        const Path path = interpreted(text);
        QVERIFY(qAbs(path.last().x - 10) < 1e-4 && path.last().y == 0);
        const PathPoint *far = &path.first();
        for (const PathPoint &point : path) {
            QVERIFY2(qAbs(std::hypot(point.x - 5, point.y - centreY) - 10) < 1e-3,
                     qPrintable(points({point}).join("")));
            if (qAbs(point.y) > qAbs(far->y))
                far = &point;
        }
        QVERIFY2(qAbs(far->y - farthestY) < 0.05, qPrintable(points({*far}).join("")));
    }

    void absurdProgramsStayBounded()
    {
        for (const QString &offset : {QStringLiteral("1000000"), "1" + QString(30, '0')}) {
            const Path huge = interpreted("G2 X0 Y0 I" + offset); // at most 3600 steps
            QVERIFY2(huge.size() >= 3601 && huge.size() <= 3602, qPrintable(offset));
            QCOMPARE(points(Path{huge.last()}), points(Path{{0, 0, 0, 2}}));
            QVERIFY(!points(huge).join(' ').contains(QRegularExpression("nan|inf")));
        }
        const Path beyond = interpreted("G1 X1\nG3 X1 I" + QString(40, '9') + "\nG2 X2 I1");
        QVERIFY(!points(beyond).join(' ').contains(QRegularExpression("nan|inf")));
        QCOMPARE(beyond.last().x, 2.0f);
        const Path arcs = interpreted(QString("G2 X1 I0 J0\n").repeated(1'000'000));
        QCOMPARE(arcs.size(), 1'000'001); // one end point per line, none on the zero radius
        const Path longLine = interpreted("G1X10Y-2.5" + QString("(note) ").repeated(1'000'000));
        QCOMPARE(points(longLine), points(Path{{0, 0, 0, 0}, {10, -2.5f, 0, 1}}));
        QCOMPARE(interpreted(QString("G2 X0 Y0 I5000\n").repeated(2800)).size(),
                 PathBuilder::pointLimit);
    }

    // Factory settings (500 mm/min, 10 mm/s^2): 10 mm at F600 runs at 8.33 mm/s, reached after
    // 0.83 s and 3.47 mm, and takes 2 * 0.83 s + 3.06 mm / 8.33 mm/s = 2.03 s.
    void runTime_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<double>("seconds");
        const double speed = 500 / 60.0, rampSeconds = speed / 10, rampLength = speed * speed / 20;
        const double tenMillimetres = 2 * rampSeconds + (10 - 2 * rampLength) / speed;
        QTest::newRow("one move") << "G1 X10 F600" << tenMillimetres;
        QTest::newRow("straight on at speed") << "G1 X4 F600\nX10" << tenMillimetres;
        QTest::newRow("a reversal stops") << "G91 G1 X10 F600\nX-10" << 2 * tenMillimetres;
        QTest::newRow("a spindle stop lets the motion run out")
            << "G1 X10 F600\nM5\nX20" << 2 * tenMillimetres;
        QTest::newRow("a dwell") << "G1 X10 F600\nG4 P1.5" << tenMillimetres + 1.5;
        QTest::newRow("a rapid at the axes' rates") << "G0 X10 Y10" << tenMillimetres;
        QTest::newRow("no feed rate, refused by the controller") << "G1 X10" << 0.0;
        QTest::newRow("a refused arc") << "G2 X10 F600" << 0.0;
    }

    void runTime()
    {
        QFETCH(QString, program);
        QFETCH(double, seconds);
        QVERIFY2(qAbs(estimateRunTime(program).totalSeconds - seconds) < 1e-4,
                 qPrintable(QString::number(estimateRunTime(program).totalSeconds)));
    }

    // A corner slows to the junction speed, not to a stop: between a straight run and a stop.
    void cornersSlowDownAndLinesEndInTurn()
    {
        const double corner = estimateRunTime(u"G1 X10 F600\nY10").totalSeconds;
        QVERIFY(corner > estimateRunTime(u"G1 X20 F600").totalSeconds + 0.1);
        QVERIFY(corner < estimateRunTime(u"G1 X10 F600\nG4 P0\nY10").totalSeconds - 0.05);

        const RunTimeEstimate estimate = estimateRunTime(u"G1 X10 F600\n(note)\nG4 P1\n\nG0 X0");
        const double move = estimate.secondsAtLineEnd[0];
        QCOMPARE(estimate.secondsAtLineEnd,
                 (std::vector<double>{move, move, move + 1, move + 1, 2 * move + 1}));
        QCOMPARE(estimate.remainingAfter(2), move);
        QCOMPARE(estimate.remainingAfter(-1), estimate.totalSeconds);

        MachineLimits fast;
        QVERIFY(fast.set(110, 1000) && fast.set(120, 40) && !fast.set(100, 80));
        // 10 mm/s, reached after 0.25 s and 1.25 mm: 2 * 0.25 s + 7.5 mm / 10 mm/s.
        QVERIFY(qAbs(estimateRunTime(u"G1 X10 F600", fast).totalSeconds - 1.25) < 1e-9);
    }

    // A text without lines keeps the path; the next reading drops the preview's padding.
    void emptyTextKeepsThePathPaddingIsRebuilt()
    {
        Path path{{1, 2, 3, 1}};
        QVERIFY(!PathInterpreter::interpretText(QStringLiteral("\r\n\n"), path));
        QCOMPARE(points(path), points(Path{{1, 2, 3, 1}}));

        QTextDocument document("G90");
        DocumentPathReader reader;
        reader.setDocument(&document);
        QVERIFY(reader.updatePath(path));
        path += Path{{0, 0, 0, 0}, {0, 0, 0, 0}};
        QTextCursor(&document).insertText("G1 X2\n");
        QVERIFY(reader.updatePath(path));
        QCOMPARE(points(path), points(Path{{0, 0, 0, 0}, {2, 0, 0, 1}}));
        document.setPlainText("\n\n");
        QVERIFY(!reader.updatePath(path));
        QCOMPARE(points(path), points(Path{{0, 0, 0, 0}, {2, 0, 0, 1}}));
    }

    void numbersConvertAsTheToolkitDoes()
    {
        QRandomGenerator random(7);
        const QRegularExpression wordNumber("^[+-]?[0-9]*\\.?[0-9]*");
        for (int n = 0; n < 200000; ++n) {
            const QString text = wordNumber.match(RandomWords::number(random)).captured();
            const float expected = text.toFloat(), actual = programNumberToFloat(text);
            QVERIFY2(std::memcmp(&actual, &expected, sizeof(float)) == 0, qPrintable(text));
        }
    }

    // Also where each line's points begin, which tells how much of the path a job has done.
    void documentEditsGiveTheSamePointsAsReadingEverything()
    {
        QTextDocument document;
        DocumentPathReader reader;
        reader.setDocument(&document);
        QRandomGenerator random(99);
        document.setPlainText(RandomWords::controllerProgram(random, 300));
        Path path;
        for (int round = 0; round < 400; ++round) {
            // Several edits may reach the reader before the path is brought up to date.
            for (int edits = random.bounded(1, 4); edits > 0; --edits)
                applyRandomEdit(document, random);
            const Path before = path;
            const bool hasLines = reader.updatePath(path);
            QCOMPARE(hasLines, !ProgramReference::lines(document.toPlainText()).isEmpty());
            QCOMPARE(points(path),
                     points(ProgramReference::interpret(document.toPlainText(), before)));
            if (!hasLines)
                continue;
            ProgramReference::Reader reference;
            QTextBlock block = document.begin();
            for (int line = 0; line <= document.blockCount(); ++line, block = block.next()) {
                QCOMPARE(reader.firstPointOfLine(line), reference.path.size());
                for (const QString &text : ProgramReference::lines(block.text()))
                    reference.read(text);
            }
        }
    }

    // Left drags tilt (half a turn) and spin, right drags pan, the wheel (not sideways) zooms.
    void mouseAndWheelMoveTheViewWithinLimits()
    {
        const auto drag = [this](Qt::MouseButton button, QPoint to) {
            for (const QPoint at : {QPoint(100, 100), to}) {
                QMouseEvent event(at == to ? QEvent::MouseMove : QEvent::MouseButtonPress, at,
                                  preview->mapToGlobal(at), Qt::NoButton, button, Qt::NoModifier);
                QApplication::sendEvent(preview.get(), &event);
            }
        };
        const auto wheel = [this](QPoint angle, int times) {
            for (int n = 0; n < times; ++n) {
                QWheelEvent event(QPointF(10, 10), preview->mapToGlobal(QPoint(10, 10)), QPoint(),
                                  angle, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(preview.get(), &event);
            }
        };
        drag(Qt::LeftButton, {110, 40});
        drag(Qt::RightButton, {101, 102});
        wheel({0, 120}, 1);
        wheel({120, 0}, 1);
        QCOMPARE(preview->view(), (ViewControl{-480, 0, 80, 80, -160, 1350}));
        drag(Qt::LeftButton, {100, -400});
        drag(Qt::RightButton, {-10000, 10000});
        wheel({0, 120}, 20);
        QCOMPARE(preview->view(),
                 (ViewControl{-2880, 0, 80, -18000, -10000, ViewControl::maxZoom}));
        drag(Qt::LeftButton, {100, 1000});
        wheel({0, -120}, 20);
        QCOMPARE(preview->view(), (ViewControl{0, 0, 80, -18000, -10000, ViewControl::minZoom}));
    }

    void displaysMeasureThePathWithMargins_data()
    {
        QTest::addColumn<Path>("points");
        QTest::addColumn<QVector<double>>("sizes");
        QTest::newRow("no path: the origin, padded") << Path{} << QVector<double>{20, 20, 0};
        QTest::newRow("cut below the top")
            << Path{{0, 0, 0, 0}, {30, 40, -5, 1}, {10, 5, 2, 1}} << QVector<double>{50, 60, 5};
        QTest::newRow("only above the top")
            << Path{{0, 0, 0, 0}, {-5, 3, 5, 0}} << QVector<double>{25, 23, 0};
    }

    void displaysMeasureThePathWithMargins()
    {
        QFETCH(Path, points);
        QFETCH(QVector<double>, sizes);
        path = points;
        preview->updateGL();
        frame();
        QCOMPARE(QVector<double>({envelopeX.value(), envelopeY.value(), envelopeZ.value()}), sizes);
        QVERIFY(path.size() >= 2);
    }

    void lookFromAboveWithoutAPathChangesNothing()
    {
        preview->setToolPath(nullptr);
        frame();
        preview->lookFromAbove();
        QCOMPARE(preview->view().zoom, 1000);
        QCOMPARE(frame().pixelColor(200, 200), QColor(85, 85, 85));
    }

    // Against every point drawn: scattered points give the same pixels; a dense walk, whose
    // points within half a pixel are left out, stays within a pixel, rapids keeping their share.
    void pathLooksAsEveryPointDrawn_data()
    {
        QTest::addColumn<double>("step"); // 0: scattered
        QTest::addColumn<int>("colourRun");
        QTest::newRow("scattered") << 0.0 << 1;
        QTest::newRow("dense, one colour") << 0.03 << 100000;
        QTest::newRow("dense, changing colour") << 0.03 << 50;
    }

    void pathLooksAsEveryPointDrawn()
    {
        QFETCH(double, step);
        QFETCH(int, colourRun);
        QRandomGenerator random(3);
        const auto aside = [&](float from) {
            return float(from + step * (random.generateDouble() * 2 - 1));
        };
        PathPoint at{0, 0, 0, 0};
        for (int n = 0; n < 20000; ++n) {
            if (step > 0)
                at = {aside(at.x), aside(at.y), -float(n / 5000), 0};
            else
                at = {float(random.bounded(-300, 300)), float(random.bounded(-300, 300)),
                      -float(random.bounded(20)), 0};
            at.moveType = float((n / colourRun) % 2);
            path.append(at);
        }
        const QImage thinned = fittedFrame();
        ImmediatePathWidget immediate;
        immediate.path = &path;
        immediate.view = preview->view();
        QVERIFY(shownAt(&immediate, side, side));
        const QImage every = immediate.grabFramebuffer();
        if (step == 0)
            QCOMPARE(thinned, every);
        int drawn = 0, redShift = 0;
        for (int y = 1; y < side - 1; ++y) {
            for (int x = 1; x < side - 1; ++x) {
                for (const auto &[one, other] :
                     {std::pair(every, thinned), std::pair(thinned, every)})
                    QVERIFY2(!onPath(one.pixelColor(x, y)) || near(other, {x, y}),
                             qPrintable(QString("%1, %2").arg(x).arg(y)));
                drawn += onPath(every.pixelColor(x, y));
                redShift +=
                    looks(every.pixelColor(x, y), "r") - looks(thinned.pixelColor(x, y), "r");
            }
        }
        QVERIFY(drawn > 500);
        QVERIFY2(qAbs(redShift) <= drawn / 10, qPrintable(QString::number(redShift)));
    }

    // A square walked counter-clockwise from the origin: the done part turns grey side by side
    // over the image of the path, which is not drawn again until the path is said to change.
    void donePartTurnsGreyOverTheImageOfThePath()
    {
        path = {{0, 0, 0, 0}, {10, 0, 0, 1}, {10, 10, 0, 1}, {0, 10, 0, 1}};
        fittedFrame();
        const auto sides = [this](const QImage &image) {
            QString colours;
            for (const QPoint middle : {QPoint(5, 0), QPoint(10, 5), QPoint(5, 10)}) {
                const QPoint at = pixelOf(middle.x(), middle.y());
                colours += near(image, at, "rgb") ? 'd' : near(image, at, "g") ? 'g' : '-';
            }
            return colours;
        };
        QCOMPARE(sides(frame()), QStringLiteral("ggg"));
        path[3] = path[0]; // not told: the image keeps the top side
        // Back to 1, a new job: the image is drawn anew, from the path as it is.
        for (const auto &[done, seen] : {std::pair{2, "dgg"}, {3, "ddg"}, {1, "gg-"}}) {
            preview->setDonePoints(done);
            QCOMPARE(sides(frame()), QString(seen));
        }
        // A start's way in is drawn over the image in a colour of its own, and goes with it.
        preview->setWayIn({{5, -5, 0}, {5, 5, 0}, {-5, 5, 0}});
        QVERIFY(near(frame(), pixelOf(5, 0), "rb") && near(frame(), pixelOf(2.5, 5), "rb"));
        preview->setWayIn({});
        QCOMPARE(sides(frame()), QStringLiteral("gg-"));
        // A height map under the path, blue low, amber high; probe points white over all.
        preview->setHeightMap(HeightMap({0, 0, 10, 10, 2, 2}, {-0.1, -0.1, 0.1, 0.1}));
        preview->setProbeGrid({{2, 8}});
        const QImage mapped = frame();
        QVERIFY(near(mapped, pixelOf(3, 1), "b") && near(mapped, pixelOf(3, 9), "rg"));
        QVERIFY(near(mapped, pixelOf(2, 8), "rgb") && !near(mapped, pixelOf(8, 2), "rgb"));
        QCOMPARE(sides(mapped), QStringLiteral("gg-"));
    }

    // Hidden, moved while hidden, shown, moved back: each time the marker stands where the
    // displays say, and a report that moves nothing asks for no frame.
    void markerFollowsTheDisplaysOverTheImage()
    {
        fittedFrame(true);
        QSignalSpy frames(preview.get(), &OpenGLWidget::frameSwapped);
        const auto reportAt = [&](double x, double y) {
            toolX.display(x);
            toolY.display(y);
            preview->updateToolMarker();
            return frames.wait(2000);
        };
        QVERIFY(reportAt(5, -5) && near(frame(), pixelOf(5, -5), "rg"));
        preview->setShowTool(false);
        QVERIFY(frames.wait(2000));
        toolX.display(0); // no report while hidden: showing it again reads the displays
        toolY.display(0);
        preview->setShowTool(true);
        QVERIFY(frames.wait(2000) && near(frame(), pixelOf(0, 0), "rg"));
        QVERIFY(reportAt(5, -5));
        const QImage image = frame();
        QVERIFY(near(image, pixelOf(5, -5), "rg") && !near(image, pixelOf(0, 0), "rg"));
        preview->updateToolMarker();
        QVERIFY(!frames.wait(300));
        preview->setToolDisplays(&toolX, nullptr, &toolZ); // a display missing: no marker
        QVERIFY(!near(frame(), pixelOf(5, -5), "rg"));
    }

    void geometry_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("diameter");
        QTest::addColumn<int>("lightFactor");
        QTest::addColumn<QVector<Spot>>("spots");
        QTest::newRow("2x2 has no lamp") << QSize(2, 2) << 0 << 0 << QVector<Spot>{};
        QTest::newRow("1x1 is not negative") << QSize(1, 1) << 0 << 0 << QVector<Spot>{};
        const QVector<Spot> spots18{{12, 4}, {9, 5}, {6, 6}, {3, 7}};
        QTest::newRow("the smaller side decides") << QSize(40, 20) << 18 << 121 << spots18;
        QTest::newRow("either side") << QSize(20, 40) << 18 << 121 << spots18;
    }

    void geometry()
    {
        QFETCH(QSize, size);
        QFETCH(int, diameter);
        QFETCH(int, lightFactor);
        QFETCH(QVector<Spot>, spots);
        QCOMPARE(LedGeometry::diameter(size.width(), size.height()), diameter);
        QCOMPARE(LedGeometry::lightFactor(diameter), lightFactor);
        QCOMPARE(LedGeometry::highlightSpots(diameter), spots);
    }

    // Away from its lighter highlight and its ring the disc shows the lamp colour.
    void paintsTheStateColour()
    {
        HLed led;
        led.resize(60, 30);
        const auto pixel = [&led](int x, int y) {
            const QImage image = led.grab().toImage();
            return image.pixelColor((QPointF(x, y) * image.devicePixelRatio()).toPoint());
        };
        QCOMPARE(pixel(22, 22), QColor(Qt::green));
        led.setColor(Qt::red);
        QCOMPARE(pixel(22, 22), QColor(Qt::red));
        QVERIFY(pixel(14, 14).lightness() > QColor(Qt::red).lightness());
    }

    // Written at the next turn of the loop, then a few times a second; a clear drops what waits.
    void linesKeepTheirOrderAcrossBatches()
    {
        pane->append("G0 X1", Qt::blue);
        pane->append("ok", Qt::red);
        QCOMPARE(edit->blockCount(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(edit->toPlainText(), QStringLiteral("G0 X1\nok"));
        QElapsedTimer sinceFlush;
        sinceFlush.start();
        pane->append("", Qt::blue);
        pane->append("$G", Qt::blue);
        QCoreApplication::processEvents();
        if (sinceFlush.elapsed() < TerminalPane::flushIntervalMs) // unless the host stalled
            QCOMPARE(edit->blockCount(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(edit->blockCount(), 4, 5000);
        QCOMPARE(edit->toPlainText(), QStringLiteral("G0 X1\nok\n\n$G"));
        QVERIFY(!edit->document()->isUndoAvailable());
        pane->append("pending", Qt::red);
        pane->clear();
        pane->append("new", Qt::blue);
        pane->flush();
        QCOMPARE(edit->toPlainText(), QStringLiteral("new"));
    }

    // The newest 5000 lines are kept, written or not: a million-line job must not fill the pane.
    void floodIsWrittenInSlicesAndKeepsTheNewestLines()
    {
        append("line ", 0, 200000);
        QElapsedTimer clock;
        clock.start();
        pane->flush();
        QVERIFY(clock.elapsed() < 20 * TerminalPane::sliceMs); // wide enough for a busy host
        QTRY_COMPARE_WITH_TIMEOUT(edit->document()->lastBlock().text(),
                                  QStringLiteral("line 199999"), 60000);
        append("line ", 200000, 200010);
        pane->flush();
        QCOMPARE(edit->blockCount(), 5000);
        QCOMPARE(edit->document()->firstBlock().text(), QStringLiteral("line 195010"));
    }

    void followsTheEndUnlessScrolledBack()
    {
        QVERIFY(shownAt(edit.get(), 300, 120));
        append("", 0, 200);
        pane->flush();
        QScrollBar *bar = edit->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(10); // the operator reads back
        append("more ", 0, 50);
        pane->flush();
        QCOMPARE(bar->value(), 10);
    }
};

ORLO_TEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
