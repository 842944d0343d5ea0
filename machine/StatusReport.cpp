#include "StatusReport.h"

#include <QVector>

#include <cmath>

namespace {

struct Field
{
    QStringView name;
    QVector<QStringView> values;
};

// 1.1: "Name:v1,v2" between bars. 0.9: "Name:v1" between commas, the values that follow
// without a name of their own belonging to it.
QVector<Field> fieldsOf(QStringView inner, bool bars, QStringView &state)
{
    QVector<Field> fields;
    const QList<QStringView> parts = inner.split(bars ? QLatin1Char('|') : QLatin1Char(','));
    state = parts.isEmpty() ? QStringView() : parts.first();
    for (int i = 1; i < parts.size(); ++i) {
        const QStringView part = parts.at(i);
        const int colon = part.indexOf(QLatin1Char(':'));
        if (colon < 0) {
            if (!bars && !fields.isEmpty())
                fields.last().values.append(part);
            continue;
        }
        Field field{part.left(colon), {}};
        const QStringView values = part.mid(colon + 1);
        if (bars) {
            for (const QStringView value : values.split(QLatin1Char(',')))
                field.values.append(value);
        } else {
            field.values.append(values);
        }
        fields.append(field);
    }
    return fields;
}

std::optional<double> number(QStringView text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<StatusReport::Position> position(const QVector<QStringView> &values)
{
    if (values.size() != 3)
        return std::nullopt;
    StatusReport::Position position;
    for (int axis = 0; axis < 3; ++axis) {
        const std::optional<double> value = number(values.at(axis));
        if (!value)
            return std::nullopt;
        position.value[size_t(axis)] = *value;
        position.text << values.at(axis).toString();
    }
    return position;
}

template <size_t N> std::optional<std::array<int, N>> integers(const QVector<QStringView> &values)
{
    if (values.size() != int(N))
        return std::nullopt;
    std::array<int, N> result{};
    for (size_t i = 0; i < N; ++i) {
        bool ok = false;
        result[i] = values.at(int(i)).toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    return result;
}

bool onlyLetters(QStringView text)
{
    for (const QChar c : text) {
        if (!c.isLetter())
            return false;
    }
    return true;
}

void readField(const Field &field, StatusReport &report)
{
    const QStringView name = field.name;
    const QVector<QStringView> &values = field.values;
    if (name == QLatin1String("MPos")) {
        report.machine = position(values);
    } else if (name == QLatin1String("WPos")) {
        report.work = position(values);
    } else if (name == QLatin1String("WCO")) {
        report.offset = position(values);
    } else if (name == QLatin1String("FS") && values.size() == 2) {
        report.feed = number(values.at(0));
        report.spindle = report.feed ? number(values.at(1)) : std::nullopt;
        if (!report.spindle)
            report.feed.reset();
    } else if (name == QLatin1String("F") && values.size() == 1) {
        report.feed = number(values.at(0));
    } else if (name == QLatin1String("Ov")) {
        report.overrides = integers<3>(values);
    } else if (name == QLatin1String("Pn") && values.size() == 1 && onlyLetters(values.at(0))) {
        report.pins = values.at(0).toString();
    } else if (name == QLatin1String("A") && values.size() == 1 && onlyLetters(values.at(0))) {
        report.accessories = values.at(0).toString();
    } else if (name == QLatin1String("Ln")) {
        if (const auto line = integers<1>(values))
            report.line = line->at(0);
    }
}

} // namespace

StatusReport parseStatusReport(QStringView line)
{
    StatusReport report;
    if (!line.startsWith(QLatin1Char('<')))
        return report;
    QStringView inner = line.mid(1);
    if (inner.endsWith(QLatin1Char('>')))
        inner.chop(1);
    report.barForm = inner.contains(QLatin1Char('|'));
    QStringView state;
    const QVector<Field> fields = fieldsOf(inner, report.barForm, state);
    const int colon = state.indexOf(QLatin1Char(':'));
    report.state = state.left(colon < 0 ? state.size() : colon).toString();
    report.subState = colon < 0 ? QString() : state.mid(colon + 1).toString();
    for (const Field &field : fields)
        readField(field, report);
    return report;
}

StatusReport::Position positionOf(const std::array<double, 3> &value)
{
    StatusReport::Position position{value, {}};
    for (const double axis : value)
        position.text << QString::number(std::fabs(axis) < 0.0005 ? 0.0 : axis, 'f', 3);
    return position;
}
