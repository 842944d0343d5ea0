#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The virtual controller as a real process on its pseudo-terminal, as the station meets it.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &extraArguments = {}) : arguments(extraArguments) {}
    ~SimProcess() { terminate(); }

    bool start();
    // A controller started again after a crash appears under the same link.
    void useLink(const QString &path) { link = path; }
    void terminate(); // SIGTERM: a clean end, the link is removed
    void kill();      // SIGKILL: the link is left behind, its device is gone
    // Where the station finds the controller; every line (and realtime byte) it received; its
    // counters: lines, overflowed_bytes, status_queries, ...
    QString linkPath() const { return link.isEmpty() ? dir.filePath("ttyGRBL") : link; }
    QString logPath() const { return dir.filePath("received.log"); }
    QString statsPath() const { return dir.filePath("stats"); }
    // Every segment the machine ran, as it ended: "G1 x,y,z x,y,z F.. M3 S.. WCO x,y,z".
    QString motionLogPath() const { return dir.filePath("motion.log"); }
    qint64 stat(const QString &name) const; // -1 when not (yet) known
    QStringList loggedLines() const { return linesOf(logPath()); }
    QStringList motionLines() const { return linesOf(motionLogPath()); }
    int countLogged(const QString &line) const { return loggedLines().count(line); }
    QProcess &process() { return sim; }

private:
    static QStringList linesOf(const QString &path);

    QTemporaryDir dir;
    QProcess sim;
    QStringList arguments;
    QString link;
};
