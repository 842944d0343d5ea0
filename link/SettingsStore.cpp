#include "SettingsStore.h"

#include <QSettings>

namespace SettingsStore {

namespace {

const QString group = QStringLiteral("ComSettings");

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

} // namespace SettingsStore
