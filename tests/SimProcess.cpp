#include "SimProcess.h"

#include <QFile>

bool SimProcess::start()
{
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(GRBLSIM_PATH, QStringList{"--link", linkPath(), "--log", logPath(), "--stats",
                                        statsPath(), "--motion-log", motionLogPath()} +
                                arguments);
    // The controller prints its link once the pseudo-terminal is ready.
    while (!sim.canReadLine() && sim.waitForReadyRead(5000)) {
    }
    return QString::fromLocal8Bit(sim.readLine()).trimmed() == linkPath();
}

// Both wait for the end, so that the link is gone (or left behind) when they return.
void SimProcess::terminate()
{
    sim.terminate();
    if (!sim.waitForFinished(5000))
        kill();
}

void SimProcess::kill()
{
    sim.kill();
    sim.waitForFinished(5000);
}

QStringList SimProcess::linesOf(const QString &path)
{
    QFile file(path);
    QStringList lines =
        QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : "").split('\n');
    lines.removeLast(); // the text after the last line feed is not a line
    return lines;
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
