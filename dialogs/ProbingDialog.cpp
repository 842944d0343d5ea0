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

void ProbingDialog::on_pushButtonProbe_clicked()
{
    auto *machine = dynamic_cast<MachineAccess *>(parent());
    const QChar axis = SelectedAxis();
    if (!machine || axis == QLatin1Char(' '))
        return;
    ProbeRequest request{axis, ui->distanceSpinBox->value(), ui->speedSpinBox->value(), {}};
    if (ui->checkBoxAutoSetPos->isChecked())
        request.setHeight = ui->heightSpinBox->value();
    const QString refusal = machine->StartProbe(request);
    ui->labelProbeResult->setText(refusal.isEmpty() ? tr("Probing ...")
                                                    : tr("Probe not started: ") + refusal);
}

void ProbingDialog::ProbeFinished(bool, const QString &message)
{
    ui->labelProbeResult->setText(message);
}

void ProbingDialog::SetMachineState(const QString &state)
{
    lastState = state;
    ui->pushButtonProbe->setEnabled(state == QLatin1String("Idle"));
}

void ProbingDialog::on_checkBoxAutoSetPos_toggled(bool checked)
{
    ui->heightSpinBox->setEnabled(checked);
}
