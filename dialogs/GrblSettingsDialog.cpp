#include "GrblSettingsDialog.h"
#include "ui_GrblSettingsDialog.h"

#include "MachineAccess.h"
#include "PlainNumber.h"
#include "ToolsLog.h"

#include <QSignalBlocker>

namespace {

enum Column
{
    IndexColumn,
    ValueColumn,
    DescriptionColumn
};

// The one colour that both marks an edited value and is looked for when applying.
const QColor changedMark(255, 114, 10, 255);

QString shownValue(double value)
{
    return QString::number(value, 'g', 6);
}

QTableWidgetItem *fixedItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::NoItemFlags);
    return item;
}

} // namespace

GrblSettingsDialog::GrblSettingsDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::GrblSettingsDialog)
{
    ui->setupUi(this);
    refreshTimer.setSingleShot(true);
    connect(&refreshTimer, &QTimer::timeout, this, &GrblSettingsDialog::refreshList);
    connect(ui->tableWidgetParameter, &QTableWidget::cellChanged, this,
            &GrblSettingsDialog::cellChanged);
}

GrblSettingsDialog::~GrblSettingsDialog()
{
    delete ui;
}

void GrblSettingsDialog::ParseParameterLine(const QString &line)
{
    const std::optional<GrblParameter> parameter = parseParameterLine(line);
    if (!parameter)
        return;
    const int position = FindParameter(parameter->index);
    if (position >= 0)
        parameters[position] = *parameter;
    else
        parameters.append(*parameter);
    // A "$$" report is a burst of lines: the table is rebuilt once, after the last of them.
    refreshTimer.start(refreshDelayMs);
}

int GrblSettingsDialog::FindParameter(int index) const
{
    for (int position = 0; position < parameters.size(); ++position) {
        if (parameters.at(position).index == index)
            return position;
    }
    return -1;
}

void GrblSettingsDialog::on_pushButtonClose_clicked()
{
    hide();
}

// Only rows marked as edited are sent, each as typed. A marked row whose text is no plain
// number (a reverted value shown as "1e+06") is left out: the firmware would misread it.
void GrblSettingsDialog::on_pushButtonApply_clicked()
{
    auto *machine = dynamic_cast<MachineAccess *>(parent());
    if (!machine)
        return;
    QTableWidget *table = ui->tableWidgetParameter;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *value = table->item(row, ValueColumn);
        const QTableWidgetItem *index = table->item(row, IndexColumn);
        if (!value || !index || value->background().color() != changedMark)
            continue;
        if (isPlainNumber(value->text()))
            machine->SendCommand(QStringLiteral("$%1=%2").arg(index->text(), value->text()));
    }
}

void GrblSettingsDialog::cellChanged(int row, int column)
{
    qCDebug(lcTools) << "Cell Changed" << row << column;
    if (column != ValueColumn)
        return;
    const QTableWidgetItem *index = ui->tableWidgetParameter->item(row, IndexColumn);
    const int position = index ? FindParameter(index->text().toInt()) : -1;
    if (position >= 0)
        markOrRevert(row, parameters.at(position));
}

// The record keeps the controller's value; only a later report changes it.
void GrblSettingsDialog::markOrRevert(int row, const GrblParameter &parameter)
{
    QTableWidgetItem *cell = ui->tableWidgetParameter->item(row, ValueColumn);
    if (!cell)
        return;
    const QSignalBlocker quiet(ui->tableWidgetParameter); // our own writes are no edits
    if (!isPlainNumber(cell->text())) {
        cell->setText(shownValue(parameter.value));
        return;
    }
    if (cell->text().toDouble() != parameter.value)
        cell->setBackground(changedMark);
}

void GrblSettingsDialog::refreshList()
{
    QTableWidget *table = ui->tableWidgetParameter;
    const QSignalBlocker quiet(table); // filling the table is no editing
    table->clear();
    table->setRowCount(0);
    table->setHorizontalHeaderLabels({tr("Index"), tr("Value"), tr("Description")});
    table->setColumnCount(3);
    table->setColumnWidth(IndexColumn, 35);
    table->setColumnWidth(ValueColumn, 100);
    table->setColumnWidth(DescriptionColumn, 300);
    for (const GrblParameter &parameter : qAsConst(parameters))
        appendRow(parameter);
}

void GrblSettingsDialog::appendRow(const GrblParameter &parameter)
{
    QTableWidget *table = ui->tableWidgetParameter;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, IndexColumn, fixedItem(QString::number(parameter.index)));
    table->setItem(row, ValueColumn, new QTableWidgetItem(shownValue(parameter.value)));
    table->setItem(row, DescriptionColumn, fixedItem(parameter.description));
}
