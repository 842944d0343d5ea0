#include "PtyPeer.h"
#include "TestMain.h"

#include "link/SettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private:
    template <typename T> static T *child(SettingsDialog &dialog, const char *name)
    {
        T *widget = dialog.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("missing widget %s", name);
        return widget;
    }

    static int customPortIndex(SettingsDialog &dialog)
    {
        QComboBox *ports = child<QComboBox>(dialog, "serialPortInfoListBox");
        return ports->findText(QStringLiteral("Custom"));
    }

private slots:
    void everyParameterValueSurvivesARoundTrip_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("flowControl");
        QTest::addColumn<bool>("askStatus");
        const int rates[] = {9600, 19200, 38400, 115200, 57600, 250000};
        const int dataBits[] = {5, 6, 7, 8};
        const int parities[] = {0, 2, 3, 4, 5};
        const int stopBits[] = {1, 3, 2};
        const int flows[] = {0, 1, 2};
        int row = 0;
        for (int rate : rates) {
            for (int bits : dataBits) {
                const int parity = parities[row % 5];
                const int stop = stopBits[row % 3];
                const int flow = flows[(row / 3) % 3];
                const bool ask = row % 2;
                QTest::addRow("%d-%d-%d-%d-%d", rate, bits, parity, stop, flow)
                    << rate << bits << parity << stop << flow << ask;
                ++row;
            }
        }
    }

    void everyParameterValueSurvivesARoundTrip()
    {
        QFETCH(int, baudRate);
        QFETCH(int, dataBits);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, flowControl);
        QFETCH(bool, askStatus);

        SettingsDialog dialog;
        Settings in;
        in.name = QStringLiteral("/dev/ttyTest");
        in.baudRate = baudRate;
        in.dataBits = QSerialPort::DataBits(dataBits);
        in.parity = QSerialPort::Parity(parity);
        in.stopBits = QSerialPort::StopBits(stopBits);
        in.flowControl = QSerialPort::FlowControl(flowControl);
        in.askStatus = askStatus;
        dialog.setSettings(in);

        const Settings out = dialog.settings();
        QCOMPARE(out.name, in.name);
        QCOMPARE(out.baudRate, baudRate);
        QCOMPARE(int(out.dataBits), dataBits);
        QCOMPARE(int(out.parity), parity);
        QCOMPARE(int(out.stopBits), stopBits);
        QCOMPARE(int(out.flowControl), flowControl);
        QCOMPARE(out.askStatus, askStatus);
        QCOMPARE(child<QComboBox>(dialog, "baudRateBox")->currentText(), QString::number(baudRate));

        // What the widgets show must commit back to the same record.
        child<QPushButton>(dialog, "applyButton")->click();
        QCOMPARE(dialog.settings().baudRate, baudRate);
        QCOMPARE(int(dialog.settings().parity), parity);
        QCOMPARE(dialog.settings().name, in.name);
    }

    void baudRateTheBoxDoesNotListIsCustom()
    {
        SettingsDialog dialog;
        Settings in;
        in.name = QStringLiteral("COM1");
        in.baudRate = -5;
        dialog.setSettings(in);
        QCOMPARE(child<QComboBox>(dialog, "baudRateBox")->currentIndex(), 4);
    }

    void customBaudRateIsTypedAsDigits()
    {
        SettingsDialog dialog;
        QComboBox *baud = child<QComboBox>(dialog, "baudRateBox");
        baud->setCurrentIndex(4);
        QVERIFY(baud->isEditable());
        QCOMPARE(baud->currentText(), QString());
        QTest::keyClicks(baud->lineEdit(), "25x0a000");
        QCOMPARE(baud->currentText(), QStringLiteral("250000"));
        child<QPushButton>(dialog, "applyButton")->click();
        QCOMPARE(dialog.settings().baudRate, 250000);
        QCOMPARE(baud->count(), 5); // a typed rate never becomes an entry

        baud->setCurrentIndex(0);
        QVERIFY(!baud->isEditable());
        baud->setCurrentIndex(4);
        QCOMPARE(baud->currentText(), QString());
        child<QPushButton>(dialog, "applyButton")->click();
        QCOMPARE(dialog.settings().baudRate, 0);
    }

    void portEntriesDescribeThePort()
    {
        const QStringList data =
            SettingsDialog::portEntryData("ttyUSB0", "", "", "", "", 0x0A5F, 0x00C3);
        QCOMPARE(data, (QStringList{"ttyUSB0", "N/A", "N/A", "N/A", "", "a5f", "c3"}));
        QCOMPARE(SettingsDialog::portEntryData("x", "d", "m", "s", "/dev/x", 0, 0).mid(5),
                 (QStringList{"N/A", "N/A"}));

        SettingsDialog dialog;
        QComboBox *ports = child<QComboBox>(dialog, "serialPortInfoListBox");
        ports->insertItem(0, "ttyUSB0", data);
        ports->setCurrentIndex(0);
        QCOMPARE(child<QLabel>(dialog, "descriptionLabel")->text(),
                 QStringLiteral("Description: N/A"));
        QCOMPARE(child<QLabel>(dialog, "locationLabel")->text(), QStringLiteral("Location: "));
        QCOMPARE(child<QLabel>(dialog, "vidLabel")->text(),
                 QStringLiteral("Vendor Identifier: a5f"));
        QCOMPARE(child<QLabel>(dialog, "pidLabel")->text(),
                 QStringLiteral("Product Identifier: c3"));
        QVERIFY(!ports->isEditable());

        ports->setCurrentIndex(customPortIndex(dialog));
        QVERIFY(ports->isEditable());
        QCOMPARE(ports->currentText(), QString());
        for (const char *name : {"descriptionLabel", "manufacturerLabel", "serialNumberLabel",
                                 "locationLabel", "vidLabel", "pidLabel"})
            QVERIFY2(child<QLabel>(dialog, name)->text().endsWith(": N/A"), name);
    }

    void searchRebuildsTheListAndSelectsTheFirstEntry()
    {
        SettingsDialog dialog;
        QComboBox *ports = child<QComboBox>(dialog, "serialPortInfoListBox");
        ports->insertItem(0, "ttyFake", QStringList{"ttyFake"});
        ports->setCurrentIndex(customPortIndex(dialog));
        child<QPushButton>(dialog, "pushButtonSearchPort")->click();
        QCOMPARE(ports->findText("ttyFake"), -1);
        QCOMPARE(ports->currentIndex(), 0);
        QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Custom"));
    }

    // Links that lead to no device, or to something that is not one, are left out.
    void stableNamesAreOfferedBesideThePorts()
    {
        PtyPeer adapter;
        QTemporaryDir byId;
        const QString stable = byId.filePath("usb-Orlo_Test_Adapter_0001-if00-port0");
        QVERIFY(QFile::link(adapter.devicePath(), stable));
        QVERIFY(QFile::link("/nonexistent/ttyGone", byId.filePath("usb-gone")));
        QFile plain(byId.filePath("plain-file"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(plain.fileName(), byId.filePath("usb-not-a-device")));

        SettingsDialog dialog;
        QComboBox *ports = child<QComboBox>(dialog, "serialPortInfoListBox");
        const auto entries = [ports] {
            QStringList texts;
            for (int i = 0; i < ports->count(); ++i)
                texts << ports->itemText(i);
            return texts;
        };
        QStringList expected = entries();
        expected.insert(expected.size() - 1, stable); // before "Custom"
        dialog.setStableNamesFolder(byId.path());
        QCOMPARE(entries(), expected);

        ports->setCurrentIndex(ports->findText(stable));
        QCOMPARE(child<QLabel>(dialog, "locationLabel")->text(),
                 "Location: " + adapter.devicePath());
        QVERIFY(!ports->isEditable());
        child<QPushButton>(dialog, "applyButton")->click();
        QCOMPARE(dialog.settings().name, stable);
        child<QPushButton>(dialog, "pushButtonSearchPort")->click();
        QCOMPARE(entries(), expected);
    }

    void typedDevicePathIsKept()
    {
        SettingsDialog dialog;
        QComboBox *ports = child<QComboBox>(dialog, "serialPortInfoListBox");
        ports->setCurrentIndex(customPortIndex(dialog));
        QTest::keyClicks(ports->lineEdit(), "/dev/serial/by-id/usb-cnc");
        child<QPushButton>(dialog, "applyButton")->click();
        QCOMPARE(dialog.settings().name, QStringLiteral("/dev/serial/by-id/usb-cnc"));
    }

    // Return files a typed path as an entry of its own; it must not be wiped on the way.
    void pathConfirmedWithReturnIsKept()
    {
        SettingsDialog dialog;
        QComboBox *ports = child<QComboBox>(dialog, "serialPortInfoListBox");
        ports->setCurrentIndex(customPortIndex(dialog));
        QTest::keyClicks(ports->lineEdit(), "/tmp/ttyGRBL");
        QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
        child<QPushButton>(dialog, "applyButton")->click();
        QCOMPARE(dialog.settings().name, QStringLiteral("/tmp/ttyGRBL"));
    }

    void storedPortNameIsKept()
    {
        SettingsDialog dialog;
        QComboBox *ports = child<QComboBox>(dialog, "serialPortInfoListBox");
        ports->insertItem(0, "ttyACM7", QStringList{"ttyACM7"});
        Settings in = dialog.settings();
        in.name = QStringLiteral("ttyACM7");
        dialog.setSettings(in);
        QCOMPARE(ports->currentIndex(), 0);
        QCOMPARE(dialog.settings().name, QStringLiteral("ttyACM7"));

        in.name = QStringLiteral("COM1");
        dialog.setSettings(in);
        QCOMPARE(ports->currentIndex(), customPortIndex(dialog));
        QCOMPARE(ports->currentText(), QStringLiteral("COM1"));
        QCOMPARE(dialog.settings().name, QStringLiteral("COM1"));
    }

    void connectCommitsOnceAndHides()
    {
        SettingsDialog dialog;
        dialog.show();
        QSignalSpy changed(&dialog, &SettingsDialog::settingsChanged);
        Settings before = dialog.settings();
        before.askStatus = true;
        dialog.setSettings(before);
        child<QCheckBox>(dialog, "askStatusCheckBox")->setChecked(false);
        QVERIFY(dialog.settings().askStatus); // widgets commit only on Connect
        child<QPushButton>(dialog, "applyButton")->click();
        QCOMPARE(changed.count(), 1);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!dialog.settings().askStatus);
    }
};

ORLO_TEST_MAIN(TestSettingsDialog)
#include "tst_SettingsDialog.moc"
