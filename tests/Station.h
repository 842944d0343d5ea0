#pragma once

#include "FirmwareBoard.h"
#include "SimProcess.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

// Points the station's settings store (each test's own, see TestMain.h) at a port, afresh.
void seedStore(const QString &port, bool askStatus);

// A station on a virtual controller of its own, seen through its widgets and the controller's log.
class Station
{
public:
    // simArguments "firmware 0.9" or "firmware 1.1" put the real firmware on the line instead.
    explicit Station(const QStringList &simArguments = {}, bool askStatus = true)
        : sim(simArguments), askStatus(askStatus)
    {
        if (simArguments.value(0) == QLatin1String("firmware"))
            board = std::make_unique<FirmwareBoard>(simArguments.value(1) == QLatin1String("1.1"));
    }

    // A window, not yet ticked, pointed at the port, or else at the controller, started now.
    bool open(const QString &port = {});
    // Opens and shows the window, and waits until the controller reports Idle.
    bool start();

    template <typename T> T *widget(const char *name) const
    {
        return WindowProbe::child<T>(window.get(), name);
    }
    void click(const char *button) const { widget<QAbstractButton>(button)->click(); }
    void type(const QString &line) const;
    // Typed, and run until the controller is Idle again.
    bool settles(const QString &line) const { return type(line), reaches("Idle"); }
    void load(const QString &program) const
    {
        widget<QPlainTextEdit>("plainTextEditGCode")->setPlainText(program);
    }
    QString state() const { return widget<QLabel>("labelGrblStatus")->text(); }
    int progress() const { return widget<QProgressBar>("progressBar")->value(); }
    QString jobText() const { return widget<QLabel>("labelJob")->text(); }
    QString terminal() const; // after the pane's next batch
    // Asks for status reports until the state word is `word`.
    bool reaches(const QString &word, int timeoutMs = 5000) const;

    // What the controller took in since the last call, realtime bytes as lines of their own.
    QStringList newLines();
    // Every line it took in, without the realtime bytes and the station's own queries.
    QStringList received() const;

    SimProcess sim;
    std::unique_ptr<FirmwareBoard> board;
    std::unique_ptr<MainWindow> window;

private:
    bool askStatus;
    int seen = 0;
};
