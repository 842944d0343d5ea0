#include "HelicalHoleCutter.h"
#include "ui_HelicalHoleCutter.h"

#include "ToolsLog.h"

#include <QApplication>
#include <QClipboard>

HelicalHoleCutter::HelicalHoleCutter(QWidget *parent)
    : QDialog(parent), ui(new Ui::HelicalHoleCutter)
{
    ui->setupUi(this);
}

HelicalHoleCutter::~HelicalHoleCutter()
{
    delete ui;
}

HelixInputs HelicalHoleCutter::readInputs() const
{
    HelixInputs inputs;
    inputs.clockwise = ui->radioButtonCW->isChecked();
    inputs.centreX = ui->PosXdoubleSpinBox->value();
    inputs.centreY = ui->PosYdoubleSpinBox->value();
    inputs.diameter = ui->DiameterdoubleSpinBox->value();
    inputs.depth = ui->DepthdoubleSpinBox->value();
    inputs.startDepth = ui->StartLeveldoubleSpinBox->value();
    inputs.infeed = ui->IncrementLeveldoubleSpinBox->value();
    inputs.feedRate = ui->FeedRatespinBox->value();
    inputs.toolDiameter = ui->ToolDdoubleSpinBox->value();
    inputs.safetyHeight = ui->SaftyHeightspinBox->value();
    inputs.startAtSafetyHeight = ui->checkBoxSafetyHeightStart->isChecked();
    return inputs;
}

// Unusable inputs leave the editor empty; only the debug log names the rule that failed.
void HelicalHoleCutter::on_GenerateButton_clicked()
{
    ui->GCodeTextEdit->clear();
    const HelixInputs inputs = readInputs();
    const QStringList problems = helixInputProblems(inputs);
    for (const QString &problem : problems)
        qCDebug(lcTools).noquote() << problem;
    if (problems.isEmpty())
        ui->GCodeTextEdit->setPlainText(helixProgram(inputs).join(QLatin1Char('\n')));
}

void HelicalHoleCutter::on_pushButtonCopy_clicked()
{
    QApplication::clipboard()->setText(ui->GCodeTextEdit->toPlainText(), QClipboard::Clipboard);
}
