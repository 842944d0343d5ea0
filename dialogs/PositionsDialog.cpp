#include "PositionsDialog.h"
#include "ui_PositionsDialog.h"

#include "MachineAccess.h"
#include "PositionCommands.h"

namespace {

constexpr int descriptionColumn = 3;

MachineAccess *machineOf(const QObject *dialog)
{
    return dynamic_cast<MachineAccess *>(dialog->parent());
}

} // namespace

PositionsDialog::PositionsDialog(QWidget *parent) : QDialog(parent), ui(new Ui::PositionsDialog)
{
    ui->setupUi(this);
    const int widths[] = {100, 100, 100, 300};
    for (int column = 0; column < 4; ++column)
        ui->tableWidget->setColumnWidth(column, widths[column]);
}

PositionsDialog::~PositionsDialog()
{
    delete ui;
}

void PositionsDialog::on_pushButtonSave_clicked()
{
    MachineAccess *machine = machineOf(this);
    if (!machine)
        return;
    QTableWidget *table = ui->tableWidget;
    const int row = table->rowCount();
    table->insertRow(row);
    for (int axis = 0; axis < 3; ++axis)
        table->setItem(row, axis,
                       new QTableWidgetItem(savedCoordinate(machine->workPosition(axis))));
    table->setItem(row, descriptionColumn,
                   new QTableWidgetItem(tr("Position ") + QString::number(table->rowCount())));
}

void PositionsDialog::on_pushButtonSet_clicked()
{
    MachineAccess *machine = machineOf(this);
    const std::optional<QString> command = currentRowCommand(QStringLiteral("G92"));
    if (machine && command)
        machine->SendCommand(*command);
}

// Absolute mode first: the row holds work coordinates, not a distance to go.
void PositionsDialog::on_pushButtonMove_clicked()
{
    MachineAccess *machine = machineOf(this);
    const std::optional<QString> command = currentRowCommand(QStringLiteral("G00"));
    if (!machine || !command)
        return;
    machine->SendCommand(QStringLiteral("G90"));
    machine->SendCommand(*command);
}

void PositionsDialog::on_pushButtonDelete_clicked()
{
    const int row = ui->tableWidget->currentRow();
    if (row >= 0)
        ui->tableWidget->removeRow(row);
}

std::optional<QString> PositionsDialog::currentRowCommand(const QString &word) const
{
    const QTableWidget *table = ui->tableWidget;
    const int row = table->currentRow();
    if (row < 0)
        return std::nullopt;
    QStringList xyz;
    for (int axis = 0; axis < 3; ++axis) {
        const QTableWidgetItem *cell = table->item(row, axis);
        xyz << (cell ? cell->text() : QString());
    }
    return positionCommand(word, xyz);
}
