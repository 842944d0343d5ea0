#include "PositionsDialog.h"
#include "ui_PositionsDialog.h"

#include "MachineAccess.h"
#include "PositionCommands.h"

namespace {

constexpr int systemColumn = 3;
constexpr int descriptionColumn = 4;

MachineAccess *machineOf(const QObject *dialog)
{
    return dynamic_cast<MachineAccess *>(dialog->parent());
}

} // namespace

PositionsDialog::PositionsDialog(QWidget *parent) : QDialog(parent), ui(new Ui::PositionsDialog)
{
    ui->setupUi(this);
    const int widths[] = {100, 100, 100, 60, 240};
    for (int column = 0; column < 5; ++column)
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
    table->setItem(row, systemColumn,
                   new QTableWidgetItem(QStringLiteral("G%1").arg(machine->coordinateSystem())));
    table->setItem(row, descriptionColumn,
                   new QTableWidgetItem(tr("Position ") + QString::number(table->rowCount())));
}

void PositionsDialog::on_pushButtonSet_clicked()
{
    sendForCurrentRow({}, QStringLiteral("G92"));
}

// Absolute mode first: the row holds work coordinates, not a distance to go.
void PositionsDialog::on_pushButtonMove_clicked()
{
    sendForCurrentRow({QStringLiteral("G90")}, QStringLiteral("G00"));
}

// The same numbers name another place in another system: a position is set or gone to in the
// system it was recorded in, switched to first, and the operator is told.
void PositionsDialog::sendForCurrentRow(const QStringList &before, const QString &word)
{
    MachineAccess *machine = machineOf(this);
    const std::optional<QString> command = currentRowCommand(word);
    const QTableWidgetItem *cell =
        ui->tableWidget->item(ui->tableWidget->currentRow(), systemColumn);
    const std::optional<int> system = recordedSystem(cell ? cell->text() : QString());
    if (!machine || !command || !system)
        return;
    const bool switching = *system && *system != machine->coordinateSystem();
    QStringList lines = before;
    if (switching)
        lines.prepend(QStringLiteral("G%1").arg(*system));
    for (const QString &line : lines + QStringList{*command}) {
        if (!machine->SendCommand(line))
            return;
    }
    const QTableWidgetItem *name =
        ui->tableWidget->item(ui->tableWidget->currentRow(), descriptionColumn);
    ui->labelPositionNote->setText(switching ? tr("Switched to G%1, where \"%2\" was saved.")
                                                   .arg(*system)
                                                   .arg(name ? name->text() : QString())
                                             : QString());
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
