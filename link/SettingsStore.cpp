#include "SettingsStore.h"

#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

namespace SettingsStore {

namespace {

const QString group = QStringLiteral("ComSettings");
const QString macrosArray = QStringLiteral("Macros");
const QString nameKey = QStringLiteral("Name");
const QString linesKey = QStringLiteral("Lines");

// A tab is a blank to the controller; line breaks split a macro's lines, and a name holds none.
QString withoutControls(QString text, bool keepBreaks)
{
    static const QRegularExpression lineControls(
        QStringLiteral("[\\x00-\\x08\\x0b\\x0c\\x0e-\\x1f\\x7f]"));
    static const QRegularExpression nameControls(QStringLiteral("[\\x00-\\x1f\\x7f]"));
    return text.remove(keepBreaks ? lineControls : nameControls);
}

template <typename Enum>
Enum storedEnum(const QVariant &stored, std::initializer_list<Enum> allowed, Enum fallback)
{
    bool isNumber = false;
    const int value = stored.toInt(&isNumber);
    for (const Enum candidate : allowed) {
        if (isNumber && value == int(candidate))
            return candidate;
    }
    return fallback;
}

} // namespace

Settings readPortSettings(QSettings &store, Settings settings)
{
    using Port = QSerialPort;
    store.beginGroup(group);
    settings.name = store.value(QStringLiteral("PortName"), QStringLiteral("COM1")).toString();
    settings.baudRate = store.value(QStringLiteral("Baudrate"), 9600).toInt();
    settings.parity = storedEnum(
        store.value(QStringLiteral("Parity"), 0),
        {Port::NoParity, Port::EvenParity, Port::OddParity, Port::SpaceParity, Port::MarkParity},
        Port::NoParity);
    settings.dataBits =
        storedEnum(store.value(QStringLiteral("DataBits"), 8),
                   {Port::Data5, Port::Data6, Port::Data7, Port::Data8}, Port::Data8);
    settings.stopBits =
        storedEnum(store.value(QStringLiteral("StopBits"), 1),
                   {Port::OneStop, Port::OneAndHalfStop, Port::TwoStop}, Port::OneStop);
    settings.flowControl = storedEnum(
        store.value(QStringLiteral("FlowControl"), 0),
        {Port::NoFlowControl, Port::HardwareControl, Port::SoftwareControl}, Port::NoFlowControl);
    settings.askStatus = store.value(QStringLiteral("AskStatus"), 0).toInt() != 0;
    settings.zeroInActiveSystem = store.value(QStringLiteral("ZeroInActiveSystem"), 0).toInt() != 0;
    store.endGroup();
    return settings;
}

void writePortSettings(QSettings &store, const Settings &settings)
{
    store.beginGroup(group);
    store.setValue(QStringLiteral("PortName"), settings.name);
    store.setValue(QStringLiteral("Baudrate"), settings.baudRate);
    store.setValue(QStringLiteral("Parity"), static_cast<int>(settings.parity));
    store.setValue(QStringLiteral("DataBits"), static_cast<int>(settings.dataBits));
    store.setValue(QStringLiteral("StopBits"), static_cast<int>(settings.stopBits));
    store.setValue(QStringLiteral("FlowControl"), static_cast<int>(settings.flowControl));
    store.setValue(QStringLiteral("AskStatus"), settings.askStatus ? 1 : 0);
    store.setValue(QStringLiteral("ZeroInActiveSystem"), settings.zeroInActiveSystem ? 1 : 0);
    store.endGroup();
}

std::optional<Macro> storable(const Macro &macro)
{
    Macro kept{withoutControls(macro.name, false).trimmed(), {}};
    const QString text = withoutControls(macro.lines.join(QLatin1Char('\n')), true);
    if (!macro.lines.isEmpty())
        kept.lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    const bool linesFit =
        std::all_of(kept.lines.cbegin(), kept.lines.cend(),
                    [](const QString &line) { return line.size() <= Macro::maxLineLength; });
    if (kept.name.isEmpty() || kept.name.size() > Macro::maxNameLength ||
        kept.lines.size() > Macro::maxLines || !linesFit)
        return std::nullopt;
    return kept;
}

QVector<Macro> readMacros(QSettings &store)
{
    QVector<Macro> macros;
    const int size = std::min(store.beginReadArray(macrosArray), Macro::maxCount);
    for (int index = 0; index < size; ++index) {
        store.setArrayIndex(index);
        const QVariant lines = store.value(linesKey);
        // A single line is stored as a string; anything else is no list of lines.
        if (!lines.canConvert<QStringList>())
            continue;
        if (const auto macro = storable({store.value(nameKey).toString(), lines.toStringList()}))
            macros << *macro;
    }
    store.endArray();
    return macros;
}

void writeMacros(QSettings &store, const QVector<Macro> &macros)
{
    store.remove(macrosArray);
    store.beginWriteArray(macrosArray, macros.size());
    for (int index = 0; index < macros.size(); ++index) {
        store.setArrayIndex(index);
        store.setValue(nameKey, macros.at(index).name);
        store.setValue(linesKey, macros.at(index).lines);
    }
    store.endArray();
}

} // namespace SettingsStore
