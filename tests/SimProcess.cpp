#include "SimProcess.h"

#include <QFile>

SimProcess::SimProcess(const QStringList &extraArguments) : arguments(extraArguments) {}

SimProcess::~SimProcess()
{
    terminate();
}

bool SimProcess::start()
{
    sim.setProgram(QStringLiteral(GRBLSIM_PATH));
    sim.setArguments(QStringList{"--link", linkPath(), "--log", logPath(), "--stats", statsPath()} +
                     arguments);
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    // The controller prints its link once the pseudo-terminal is ready.
    while (sim.waitForStarted(5000) && !sim.canReadLine()) {
        if (!sim.waitForReadyRead(5000))
            return false;
    }
    return QString::fromLocal8Bit(sim.readLine()).trimmed() == linkPath();
}

void SimProcess::terminate()
{
    if (sim.state() != QProcess::NotRunning) {
        sim.terminate();
        if (!sim.waitForFinished(5000))
            kill();
    }
}

void SimProcess::kill()
{
    if (sim.state() != QProcess::NotRunning) {
        sim.kill();
        sim.waitForFinished(5000);
    }
}

QString SimProcess::linkPath() const
{
    return link.isEmpty() ? dir.filePath(QStringLiteral("ttyGRBL")) : link;
}

QString SimProcess::logPath() const
{
    return dir.filePath(QStringLiteral("received.log"));
}

QString SimProcess::statsPath() const
{
    return dir.filePath(QStringLiteral("stats"));
}

QStringList SimProcess::loggedLines() const
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    lines.removeLast(); // the text after the last line feed is not a line
    return lines;
}

int SimProcess::countLogged(const QString &line) const
{
    return loggedLines().count(line);
}

qint64 SimProcess::stat(const QString &name) const
{
    QFile file(statsPath());
    for (const QByteArray &line :
         file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList()) {
        if (line.startsWith(name.toLatin1() + '='))
            return line.mid(name.size() + 1).toLongLong();
    }
    return -1;
}
