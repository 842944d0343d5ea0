#include "Station.h"

#include "app/TerminalPane.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using namespace WindowProbe;

void seedStore(const QString &port, bool askStatus)
{
    QSettings store("Orlo", "Orlo-CNC");
    store.clear();
    store.setValue("ComSettings/PortName", port);
    store.setValue("ComSettings/Baudrate", 115200);
    store.setValue("ComSettings/AskStatus", askStatus ? 1 : 0);
}

bool Station::start()
{
    if (!sim.start())
        return false;
    seedStore(sim.linkPath(), askStatus);
    window = std::make_unique<MainWindow>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return false;
    tick(window.get());
    tick(window.get());
    return ledColor(window.get()) == QColor(Qt::green) && reaches(QStringLiteral("Idle"));
}

void Station::click(const char *button) const
{
    widget<QPushButton>(button)->click();
}

void Station::type(const QString &line) const
{
    auto *field = widget<QLineEdit>("lineEditCommand");
    field->setText(line);
    QTest::keyClick(field, Qt::Key_Return);
}

void Station::load(const QString &program) const
{
    widget<QPlainTextEdit>("plainTextEditGCode")->setPlainText(program);
}

QString Station::state() const
{
    return widget<QLabel>("labelGrblStatus")->text();
}

int Station::progress() const
{
    return widget<QProgressBar>("progressBar")->value();
}

QString Station::jobText() const
{
    return widget<QLabel>("labelJob")->text();
}

QString Station::terminal() const
{
    QTest::qWait(TerminalPane::flushIntervalMs + 20);
    return widget<QPlainTextEdit>("plainTextEditSerial")->toPlainText();
}

bool Station::reaches(const QString &word, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        widget<QPushButton>("pushButtonStatusCmd")->click();
        QTest::qWait(50);
        if (state() == word)
            return true;
    }
    return false;
}

QStringList Station::newLines()
{
    QTest::qWait(100);
    const QStringList all = sim.loggedLines();
    const QStringList fresh = all.mid(seen);
    seen = all.size();
    return fresh;
}

QStringList Station::received() const
{
    QStringList lines = sim.loggedLines();
    for (const char *realtime : {"?", "!", "~", "\x18"})
        lines.removeAll(QLatin1String(realtime));
    lines.removeAll(QStringLiteral("$I")); // the station asks 1.1 for its receive buffer
    return lines;
}
