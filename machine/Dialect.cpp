#include "Dialect.h"

#include <QStringList>
#include <QStringView>

namespace {

Dialect fromVersion(const QString &version)
{
    Dialect dialect;
    dialect.version = version;
    if (version.startsWith(QLatin1String("0.9"))) {
        dialect.kind = Dialect::Grbl09;
        return dialect;
    }
    dialect.kind = Dialect::Grbl11;
    dialect.assumed = !version.startsWith(QLatin1String("1.1"));
    return dialect;
}

bool plausibleVersion(const QString &version)
{
    return !version.isEmpty() && version.size() <= 16 && version.at(0).isDigit() &&
           version.contains(QLatin1Char('.'));
}

} // namespace

QString Dialect::describe() const
{
    if (kind == Unknown)
        return {};
    const QString name = QStringLiteral("Grbl ") + version;
    return assumed ? name + QStringLiteral(" (unknown version, treated as 1.1)") : name;
}

std::optional<Dialect> Dialect::fromBanner(const QString &line)
{
    if (!line.startsWith(QLatin1String("Grbl ")))
        return std::nullopt;
    const QString version = line.mid(5).section(QLatin1Char(' '), 0, 0);
    if (!plausibleVersion(version))
        return std::nullopt;
    return fromVersion(version);
}

std::optional<Dialect> Dialect::fromBuildInfo(const QString &line)
{
    if (!line.startsWith(QLatin1Char('[')) || !line.endsWith(QLatin1Char(']')))
        return std::nullopt;
    QString inner = line.mid(1, line.size() - 2);
    if (inner.startsWith(QLatin1String("VER:")))
        inner = inner.mid(4);
    const QString version = inner.section(QLatin1Char('.'), 0, 1);
    if (!plausibleVersion(version) || !inner.contains(QLatin1Char(':')))
        return std::nullopt;
    return fromVersion(version);
}

std::optional<int> Dialect::receiveBufferFromOptions(const QString &line)
{
    if (!line.startsWith(QLatin1String("[OPT:")) || !line.endsWith(QLatin1Char(']')))
        return std::nullopt;
    bool ok = false;
    const int bytes = line.mid(5, line.size() - 6).section(QLatin1Char(','), -1).toInt(&ok);
    // A buffer smaller than a line, or beyond any board's memory, is a misreading.
    if (!ok || bytes < 80 || bytes > 65536)
        return std::nullopt;
    return bytes;
}
