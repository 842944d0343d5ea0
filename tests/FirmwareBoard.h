#pragma once

#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

// The real Grbl firmware (0.9j or 1.1h), built for the host from ORLO_GRBL_FIRMWARE into the
// build tree and run on a pseudo-terminal that restarts it at every open, as a USB board does:
// the reference grblsim is held to.
class FirmwareBoard
{
public:
    explicit FirmwareBoard(bool grbl11) : version(grbl11 ? "11" : "09") {}
    ~FirmwareBoard() { stop(); }
    FirmwareBoard(const FirmwareBoard &) = delete;
    FirmwareBoard &operator=(const FirmwareBoard &) = delete;

    // Builds the firmware (once; quick when built) and starts the board. False with a reason in
    // error() when either cannot be done.
    bool start();
    void stop();
    // Named after its folder: the board's working folder (EEPROM) in the build tree is too.
    QString linkPath() const { return dir.filePath("tty" + QFileInfo(dir.path()).fileName()); }
    const QString &error() const { return lastError; }

private:
    bool run(const QStringList &arguments, int timeoutMs, QString *output = nullptr);
    bool failed(const QString &why)
    {
        lastError = why;
        return false;
    }

    QString version;
    QTemporaryDir dir;
    QString bridge; // its process id, while it runs
    QString work;   // its EEPROM
    QString lastError;
};
