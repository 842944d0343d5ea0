#include "ProbingDialog.h"
#include "ui_ProbingDialog.h"

#include "MachineAccess.h"

#include <cmath>

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
    const QChar axis = SelectedAxis();
    if (axis == QLatin1Char(' '))
        return;
    ProbeRequest request{axis, ui->distanceSpinBox->value(), ui->speedSpinBox->value(), {}};
    if (ui->checkBoxAutoSetPos->isChecked())
        request.setHeight = ui->heightSpinBox->value();
    Start(request);
}

// Always down onto the switch, whichever axis and sign the single probe was set up for.
void ProbingDialog::on_pushButtonToolLength_clicked()
{
    ProbeRequest request{
        QLatin1Char('Z'), -std::fabs(ui->distanceSpinBox->value()), ui->speedSpinBox->value(), {}};
    request.toolLength = true;
    request.asReference = ui->checkBoxReferenceTool->isChecked();
    Start(request);
}

void ProbingDialog::Start(const ProbeRequest &request)
{
    auto *machine = dynamic_cast<MachineAccess *>(parent());
    if (!machine)
        return;
    const QString refusal = machine->StartProbe(request);
    ui->labelProbeResult->setText(refusal.isEmpty() ? tr("Probing ...")
                                                    : tr("Probe not started: ") + refusal);
}

void ProbingDialog::ProbeFinished(bool contact, const QString &message)
{
    ui->labelProbeResult->setText(message);
    if (contact)
        ui->checkBoxReferenceTool->setChecked(false); // the next tool is measured against it
}

void ProbingDialog::SetMachineState(const QString &state)
{
    lastState = state;
    ui->pushButtonProbe->setEnabled(state == QLatin1String("Idle"));
    ui->pushButtonToolLength->setEnabled(state == QLatin1String("Idle"));
}

void ProbingDialog::on_checkBoxAutoSetPos_toggled(bool checked)
{
    ui->heightSpinBox->setEnabled(checked);
}
