#pragma once

#include <QString>
#include <QStringList>

class QSettings;

// The folder a program was last opened from and the programs opened last, newest first, kept in
// the settings store between runs. Whatever the store holds, only absolute paths come out, and
// of the programs only those still there.
class RecentFiles
{
public:
    static constexpr int maxFiles = 8;

    RecentFiles();
    // Read from another store; add() still writes to the station's own.
    explicit RecentFiles(const QSettings &store);

    // Where the file dialog starts: the last folder while it is there, else the current one.
    QString folder() const;
    QStringList files() const;
    // The program becomes the newest and its folder the last one; the store is written at once.
    void add(const QString &path);

private:
    QString lastFolder;
    QStringList paths;
};
