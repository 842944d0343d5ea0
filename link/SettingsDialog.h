#pragma once

#include "Settings.h"

#include <QDialog>
#include <QIntValidator>
#include <QList>

class QSerialPortInfo;

namespace Ui {
class SettingsDialog;
}

// Lets the operator choose the serial port and its line parameters, and holds the current
// Settings record for the whole program.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget *parent = nullptr);
    ~SettingsDialog() override;

    Settings settings() const;
    void setSettings(const Settings &settings);
    // Where the system keeps stable names of serial adapters (/dev/serial/by-id); refills the list.
    void setStableNamesFolder(const QString &folder);

    // The seven strings a port entry carries: name, description, manufacturer, serial number,
    // location, vendor and product identifier (lowercase hex, "N/A" for 0).
    static QStringList portEntryData(const QString &name, const QString &description,
                                     const QString &manufacturer, const QString &serialNumber,
                                     const QString &location, quint16 vendorId, quint16 productId);

signals:
    void settingsChanged();

public slots:
    void showPortInfo(int index);
    void apply();
    void checkCustomBaudRatePolicy(int index);
    void checkCustomDevicePathPolicy(int index);
    void fillPortsInfo();

private:
    void fillParameterBoxes();
    void readSettingsFromWidgets();
    void selectPort(const QString &name);
    void addStableNames(const QList<QSerialPortInfo> &ports);

    Ui::SettingsDialog *ui;
    Settings currentSettings;
    QIntValidator *intValidator;
    QString stableNamesFolder = QStringLiteral("/dev/serial/by-id");
};
