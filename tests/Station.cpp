#include "Station.h"

#include "app/TerminalPane.h"

#include <QLineEdit>
#include <QSettings>
#include <QtTest>

#include <utility>

using namespace WindowProbe;

void seedStore(const QString &port, bool askStatus)
{
    QSettings store("Orlo", "Orlo-CNC");
    store.clear();
    store.setValue("ComSettings/PortName", port);
    store.setValue("ComSettings/Baudrate", 115200);
    store.setValue("ComSettings/AskStatus", askStatus ? 1 : 0);
}

bool Station::open(const QString &port)
{
    if (board && !board->start())
        qFatal("the real firmware cannot be started: %s", qPrintable(board->error()));
    if (port.isEmpty() && !board && !sim.start())
        return false;
    seedStore(!port.isEmpty() ? port : board ? board->linkPath() : sim.linkPath(), askStatus);
    window = std::make_unique<MainWindow>();
    return true;
}

bool Station::start()
{
    if (!open())
        return false;
    window->show();
    const bool shown = QTest::qWaitForWindowExposed(window.get());
    tick(window.get());
    tick(window.get());
    return shown && ledColor(window.get()) == QColor(Qt::green) && reaches("Idle");
}

void Station::type(const QString &line) const
{
    auto *field = widget<QLineEdit>("lineEditCommand");
    field->setText(line);
    QTest::keyClick(field, Qt::Key_Return);
}

QString Station::terminal() const
{
    QTest::qWait(TerminalPane::flushIntervalMs + 20);
    return widget<QPlainTextEdit>("plainTextEditSerial")->toPlainText();
}

bool Station::reaches(const QString &word, int timeoutMs) const
{
    return QTest::qWaitFor(
        [&] {
            click("pushButtonStatusCmd");
            QTest::qWait(50);
            return state() == word;
        },
        timeoutMs);
}

QStringList Station::newLines()
{
    QTest::qWait(100);
    const QStringList all = sim.loggedLines();
    return all.mid(std::exchange(seen, all.size()));
}

QStringList Station::received() const
{
    QStringList lines = sim.loggedLines();
    for (const char *left : {"?", "!", "~", "\x18", "$I", "$G", "$$", "$#"})
        lines.removeAll(QLatin1String(left));
    return lines;
}
