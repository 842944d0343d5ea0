#include "FirmwareBoard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <algorithm>

bool FirmwareBoard::run(const QStringList &arguments, int timeoutMs, QString *output)
{
    QProcess process;
    process.start("bash", arguments);
    const bool finished = process.waitForFinished(timeoutMs);
    const QString said = process.readAllStandardOutput().trimmed();
    if (output)
        *output = said;
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    lastError =
        QString("%1 failed (%2): %3 %4")
            .arg(arguments.join(' '),
                 finished ? "exit " + QString::number(process.exitCode()) : process.errorString(),
                 said, QString::fromLocal8Bit(process.readAllStandardError()));
    if (!finished)
        process.kill();
    return false;
}

bool FirmwareBoard::start()
{
    const QString sources = ORLO_GRBL_FIRMWARE;
    const QString built = ORLO_FIRMWARE_BUILD_DIR;
    if (!QFileInfo::exists(sources + "/build.sh"))
        return failed("no Grbl firmware at " + sources + " (set ORLO_GRBL_FIRMWARE)");
    // Without the firmware there is no reference: that fails the test, it never skips it. Tests
    // run side by side (ctest -j) build it one at a time.
    if (!QDir().mkpath(built) || !run({"-c", "exec flock \"$0\" bash \"$1\" \"$2\"",
                                       built + "/build.lock", sources + "/build.sh", built},
                                      180000))
        return false;
    if (!dir.isValid())
        return failed("no temporary folder");
    // Factory settings at the first start, then kept as a board keeps its EEPROM: the work
    // systems G10 sets survive the restart at an open.
    work = built + "/grbl" + version + "/work/" + QFileInfo(linkPath()).fileName();
    QFile::remove(work + "/EEPROM.DAT");
    if (!QDir().mkpath(work) ||
        !QFile::copy(sources + "/factory" + version + ".eeprom", work + "/EEPROM.DAT"))
        return failed("cannot prepare the board's EEPROM in " + work);
    // The simulator's firmware thread publishes a byte's place in the send buffer before the byte
    // itself, so its hardware thread, on another core, now and then sends a stale byte ("o0"
    // instead of "ok"). On one core that needs a preemption between two instructions. Boards of
    // tests running side by side spread over the cores by process id.
    const QString cpu = QString::number(QCoreApplication::applicationPid() %
                                        std::max(1, QThread::idealThreadCount()));
    if (!run({sources + "/grbl-board.sh", "start", version, built, linkPath(), "--eeprom", "keep",
              "--cpu", cpu},
             30000, &bridge))
        return false;
    return (!bridge.isEmpty() && QFileInfo(linkPath()).exists()) ||
           failed("the board's link " + linkPath() + " did not appear");
}

void FirmwareBoard::stop()
{
    if (bridge.isEmpty())
        return;
    run({QString(ORLO_GRBL_FIRMWARE) + "/grbl-board.sh", "stop", bridge}, 15000);
    bridge.clear();
    QDir(work).removeRecursively();
}
