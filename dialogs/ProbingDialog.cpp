#include "ProbingDialog.h"
#include "ui_ProbingDialog.h"

#include "MachineAccess.h"

ProbingDialog::ProbingDialog(QWidget *parent) : QDialog(parent), ui(new Ui::ProbingDialog)
{
    ui->setupUi(this);
}

ProbingDialog::~ProbingDialog()
{
    delete ui;
}

QChar ProbingDialog::SelectedAxis() const
{
    if (ui->radioButtonX->isChecked())
        return QLatin1Char('X');
    if (ui->radioButtonY->isChecked())
        return QLatin1Char('Y');
    if (ui->radioButtonZ->isChecked())
        return QLatin1Char('Z');
    return QLatin1Char(' ');
}

// The button is only enabled while the machine is idle, so the click needs no state check.
void ProbingDialog::on_pushButtonProbe_clicked()
{
    auto *machine = dynamic_cast<MachineAccess *>(parent());
    const QChar axis = SelectedAxis();
    if (!machine || axis == QLatin1Char(' '))
        return;
    machine->SendCommand(QStringLiteral("G91"));
    machine->SendCommand(
        probeCommand(axis, ui->distanceSpinBox->value(), ui->speedSpinBox->value()));
    cycle.start(axis);
}

// The position is set on the axis that was probed, even if another one has been picked since.
void ProbingDialog::SetMachineState(const QString &state)
{
    lastState = state;
    const bool done = cycle.report(state);
    auto *machine = dynamic_cast<MachineAccess *>(parent());
    if (done && machine && ui->checkBoxAutoSetPos->isChecked())
        machine->SendCommand(setPositionCommand(cycle.axis(), ui->heightSpinBox->value()));
    ui->pushButtonProbe->setEnabled(state == QLatin1String("Idle"));
}

void ProbingDialog::on_checkBoxAutoSetPos_toggled(bool checked)
{
    ui->heightSpinBox->setEnabled(checked);
}
