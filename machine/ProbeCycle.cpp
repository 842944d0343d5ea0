#include "ProbeCycle.h"

#include <QStringView>

#include <cmath>

QString probeCommand(QChar axis, double distance, int feed)
{
    if (distance == 0)
        distance = 0; // a typed "-0" would otherwise read "+-0"
    const QString sign = distance >= 0 ? QStringLiteral("+") : QString();
    return QStringLiteral("G38.2 ") + axis + sign + QString::number(distance, 'g', 6) +
           QStringLiteral(" F") + QString::number(feed);
}

QString setPositionCommand(QChar axis, double height)
{
    return QStringLiteral("G92 ") + axis + QString::number(height, 'g', 6);
}

QString toolLengthCommand(double touch, double reference)
{
    const double offset = std::round((touch - reference) * 1000) / 1000;
    return QStringLiteral("G43.1 Z") + QString::number(offset == 0 ? 0 : offset, 'f', 3);
}

QStringList ProbeCycle::startLines(const ProbeRequest &request)
{
    return {QStringLiteral("G91"), probeCommand(request.axis, request.distance, request.feed)};
}

int ProbeCycle::timeoutMs(const ProbeRequest &request)
{
    const double minutes = std::fabs(request.distance) / qMax(1, request.feed);
    return int(qMin(minutes * 60'000 * 2 + 5000, 24.0 * 3600'000));
}

void ProbeCycle::start(const ProbeRequest &request)
{
    probing = request;
    probeState = ProbeSent;
}

void ProbeCycle::machineState(const QString &state)
{
    if (probeState == ProbeSent && state != QLatin1String("Idle"))
        probeState = ProbeRunning;
}

std::optional<ProbeCycle::Report> ProbeCycle::readReport(const QString &line)
{
    if (!line.startsWith(QLatin1String("[PRB:")) || !line.endsWith(QLatin1Char(']')))
        return std::nullopt;
    const QStringView inner = QStringView(line).mid(5, line.size() - 6);
    const int colon = inner.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    const QStringView flag = inner.mid(colon + 1);
    if (flag != QLatin1String("0") && flag != QLatin1String("1"))
        return std::nullopt;
    const QList<QStringView> values = inner.left(colon).split(QLatin1Char(','));
    if (values.size() != 3)
        return std::nullopt;
    Report report;
    for (int axis = 0; axis < 3; ++axis) {
        bool ok = false;
        report.position[size_t(axis)] = values.at(axis).toDouble(&ok);
        if (!ok || !std::isfinite(report.position[size_t(axis)]))
            return std::nullopt;
    }
    report.contact = flag == QLatin1String("1");
    return report;
}

std::optional<ProbeCycle::Ending> ProbeCycle::probeReport(const QString &line)
{
    if (!isActive() || !line.startsWith(QLatin1String("[PRB:")))
        return std::nullopt;
    const std::optional<Report> report = readReport(line);
    if (!report)
        return fail(QStringLiteral("the controller's probe report is unreadable: ") + line);
    if (!report->contact)
        return fail(QStringLiteral("no contact within %1 mm").arg(std::fabs(probing.distance)));
    probeState = ProbeIdle;
    const int axisIndex = probing.axis.unicode() - 'X';
    Ending ending{true,
                  QStringLiteral("Probe: contact at machine %1 %2")
                      .arg(probing.axis)
                      .arg(report->position[size_t(qBound(0, axisIndex, 2))], 0, 'f', 3),
                  {},
                  {}};
    if (probing.toolLength) {
        const double touch = report->position[2];
        ending.toolTouch = touch;
        if (probing.referenceTouch) {
            ending.lines << toolLengthCommand(touch, *probing.referenceTouch);
            ending.message += QStringLiteral(", tool length offset %1 mm from the reference tool")
                                  .arg(touch - *probing.referenceTouch, 0, 'f', 3);
        } else {
            ending.lines << QStringLiteral("G49");
            ending.message += QStringLiteral(", the reference tool for the tool length");
        }
    } else if (probing.setHeight) {
        ending.lines << setPositionCommand(probing.axis, *probing.setHeight);
        ending.message += QStringLiteral(", work %1 set to %2")
                              .arg(probing.axis)
                              .arg(QString::number(*probing.setHeight, 'g', 6));
    }
    ending.lines << QStringLiteral("G90");
    return ending;
}

ProbeCycle::Ending ProbeCycle::fail(const QString &why)
{
    probeState = ProbeIdle;
    return {false, QStringLiteral("Probe failed: ") + why, {QStringLiteral("G90")}, {}};
}
