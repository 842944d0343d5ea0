#include "RecentFiles.h"

#include "link/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSettings>

namespace {
const char *folderKey = "LastFolder";
const char *filesKey = "RecentFiles";

// A list of any length, or anything else, from an earlier version or another hand.
QStringList firstAbsolutePaths(const QVariant &stored, int count)
{
    QStringList paths;
    QSet<QString> seen;
    const QStringList texts = stored.toStringList();
    for (const QString &text : texts) {
        if (paths.size() == count)
            break;
        if (!QDir::isAbsolutePath(text) || seen.contains(text))
            continue;
        seen.insert(text);
        paths << text;
    }
    return paths;
}
} // namespace

RecentFiles::RecentFiles()
    : RecentFiles(QSettings(SettingsStore::organisation(), SettingsStore::application()))
{
}

RecentFiles::RecentFiles(const QSettings &store)
    : lastFolder(store.value(folderKey).toString()),
      paths(firstAbsolutePaths(store.value(filesKey), maxFiles))
{
}

QString RecentFiles::folder() const
{
    const QFileInfo info(lastFolder);
    return info.isAbsolute() && info.isDir() ? lastFolder : QDir::currentPath();
}

QStringList RecentFiles::files() const
{
    QStringList present;
    for (const QString &path : paths) {
        if (QFileInfo(path).isFile())
            present << path;
    }
    return present;
}

void RecentFiles::add(const QString &path)
{
    const QFileInfo info(path);
    paths.removeAll(info.absoluteFilePath());
    paths.prepend(info.absoluteFilePath());
    paths = paths.mid(0, maxFiles);
    lastFolder = info.absolutePath();

    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.setValue(folderKey, lastFolder);
    store.setValue(filesKey, paths);
}
