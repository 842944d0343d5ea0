#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The virtual controller as a real process on its pseudo-terminal, as the station meets it.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &extraArguments = {});
    ~SimProcess();

    bool start();
    // A controller started again after a crash appears under the same link.
    void useLink(const QString &path) { link = path; }
    void terminate();          // SIGTERM: a clean end, the link is removed
    void kill();               // SIGKILL: the link is left behind, its device is gone
    QString linkPath() const;  // where the station finds the controller
    QString logPath() const;   // every line (and realtime byte) it received
    QString statsPath() const; // its counters: lines, overflowed_bytes, status_queries, ...
    qint64 stat(const QString &name) const; // -1 when not (yet) known
    QStringList loggedLines() const;
    int countLogged(const QString &line) const;
    QProcess &process() { return sim; }

private:
    QTemporaryDir dir;
    QProcess sim;
    QStringList arguments;
    QString link;
};
