#include "StartFromLineDialog.h"
#include "ui_StartFromLineDialog.h"

#include "MachineAccess.h"
#include "link/SettingsStore.h"

#include <QSettings>

namespace {

const QString settingsGroup = QStringLiteral("StartFromLine");

double storedValue(const QSettings &store, const QString &key, double fallback, double most)
{
    bool isNumber = false;
    const double value = store.value(key).toDouble(&isNumber);
    return isNumber && value >= 0 && value <= most ? value : fallback;
}

} // namespace

StartFromLineDialog::StartFromLineDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::StartFromLineDialog)
{
    ui->setupUi(this);
    const StartFromLine::Settings stored = storedSettings();
    ui->doubleSpinBoxClearance->setValue(stored.clearance);
    ui->doubleSpinBoxDwell->setValue(stored.dwellSeconds);
    ui->doubleSpinBoxPlungeFeed->setValue(stored.plungeFeed);
    for (QAbstractSpinBox *box : {static_cast<QAbstractSpinBox *>(ui->spinBoxLine),
                                  static_cast<QAbstractSpinBox *>(ui->doubleSpinBoxClearance),
                                  static_cast<QAbstractSpinBox *>(ui->doubleSpinBoxDwell),
                                  static_cast<QAbstractSpinBox *>(ui->doubleSpinBoxPlungeFeed)})
        connect(box, &QAbstractSpinBox::editingFinished, this, &StartFromLineDialog::showWayIn);
    connect(ui->spinBoxLine, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &StartFromLineDialog::showWayIn);
}

StartFromLineDialog::~StartFromLineDialog()
{
    delete ui;
}

StartFromLine::Settings StartFromLineDialog::storedSettings()
{
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.beginGroup(settingsGroup);
    const StartFromLine::Settings usual;
    return {storedValue(store, QStringLiteral("Clearance"), usual.clearance, 1000),
            storedValue(store, QStringLiteral("Dwell"), usual.dwellSeconds, 60),
            qMax(1.0, storedValue(store, QStringLiteral("PlungeFeed"), usual.plungeFeed, 100000))};
}

void StartFromLineDialog::showAt(int line)
{
    ui->spinBoxLine->setValue(line);
    showWayIn();
    show();
    raise();
}

StartFromLine::Settings StartFromLineDialog::chosenSettings() const
{
    return {ui->doubleSpinBoxClearance->value(), ui->doubleSpinBoxDwell->value(),
            ui->doubleSpinBoxPlungeFeed->value()};
}

void StartFromLineDialog::showWayIn()
{
    auto *machine = dynamic_cast<MachineAccess *>(parent());
    const StartFromLine start = StartFromLine::plan(machine ? machine->programText() : QString(),
                                                    ui->spinBoxLine->value(), chosenSettings());
    ui->plainTextEditWayIn->setPlainText(
        start.refusal.isEmpty()
            ? tr("Before line %1:\n%2").arg(start.line).arg(start.wayIn.join(QLatin1Char('\n')))
            : tr("Not possible: %1").arg(start.refusal));
    ui->pushButtonStart->setEnabled(start.refusal.isEmpty());
    emit wayInChanged(start);
}

void StartFromLineDialog::hideEvent(QHideEvent *event)
{
    emit wayInChanged({});
    QDialog::hideEvent(event);
}

// The program may have changed since the way in was shown: it is read again as it is now.
void StartFromLineDialog::on_pushButtonStart_clicked()
{
    auto *machine = dynamic_cast<MachineAccess *>(parent());
    if (!machine)
        return;
    const StartFromLine::Settings settings = chosenSettings();
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.beginGroup(settingsGroup);
    store.setValue(QStringLiteral("Clearance"), settings.clearance);
    store.setValue(QStringLiteral("Dwell"), settings.dwellSeconds);
    store.setValue(QStringLiteral("PlungeFeed"), settings.plungeFeed);
    store.endGroup();
    const QString refusal = machine->StartProgramAt(
        StartFromLine::plan(machine->programText(), ui->spinBoxLine->value(), settings));
    if (refusal.isEmpty())
        hide();
    else
        ui->plainTextEditWayIn->setPlainText(tr("Not started: %1").arg(refusal));
}
