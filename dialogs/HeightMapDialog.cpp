#include "HeightMapDialog.h"
#include "ui_HeightMapDialog.h"

#include "MachineAccess.h"
#include "link/SettingsStore.h"
#include "machine/Job.h"
#include "program/ModalState.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>

#include <cmath>

namespace {

const QString settingsGroup = QStringLiteral("HeightMap");
constexpr qint64 largestFile = 16 << 20; // a full grid of 100000 points takes some 3 MB

QString plain(double value)
{
    return ModalState::plainNumber(value);
}

// A value the store holds only where the field can show it; otherwise the field keeps its own.
void restore(const QSettings &store, const QString &key, QDoubleSpinBox *box)
{
    bool isNumber = false;
    const double value = store.value(key).toDouble(&isNumber);
    if (isNumber && std::isfinite(value) && value >= box->minimum() && value <= box->maximum())
        box->setValue(value);
}

void restore(const QSettings &store, const QString &key, QSpinBox *box)
{
    bool isNumber = false;
    const int value = store.value(key).toInt(&isNumber);
    if (isNumber && value >= box->minimum() && value <= box->maximum())
        box->setValue(value);
}

} // namespace

HeightMapDialog::HeightMapDialog(QWidget *parent) : QDialog(parent), ui(new Ui::HeightMapDialog)
{
    ui->setupUi(this);
    const std::pair<QDoubleSpinBox *, double> usual[] = {
        {ui->doubleSpinBoxMapX0, 0},     {ui->doubleSpinBoxMapY0, 0},
        {ui->doubleSpinBoxMapX1, 50},    {ui->doubleSpinBoxMapY1, 50},
        {ui->doubleSpinBoxMapMargin, 1}, {ui->doubleSpinBoxMapFeed, 50},
        {ui->doubleSpinBoxMapTravel, 2}, {ui->doubleSpinBoxMapDepth, -2}};
    for (const auto &[box, value] : usual)
        box->setValue(value);
    ui->spinBoxMapColumns->setValue(5);
    ui->spinBoxMapRows->setValue(5);
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.beginGroup(settingsGroup);
    for (QDoubleSpinBox *box : findChildren<QDoubleSpinBox *>())
        restore(store, box->objectName(), box);
    for (QSpinBox *box : {ui->spinBoxMapColumns, ui->spinBoxMapRows})
        restore(store, box->objectName(), box);
    ui->checkBoxMapSlowTouch->setChecked(store.value(ui->checkBoxMapSlowTouch->objectName()) ==
                                         QLatin1String("true"));
    for (QDoubleSpinBox *box : {ui->doubleSpinBoxMapX0, ui->doubleSpinBoxMapY0,
                                ui->doubleSpinBoxMapX1, ui->doubleSpinBoxMapY1})
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &HeightMapDialog::showGrid);
    for (QSpinBox *box : {ui->spinBoxMapColumns, ui->spinBoxMapRows})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &HeightMapDialog::showGrid);
    showGrid();
}

HeightMapDialog::~HeightMapDialog()
{
    delete ui;
}

MachineAccess *HeightMapDialog::machine() const
{
    return dynamic_cast<MachineAccess *>(parent());
}

GridProbeRequest HeightMapDialog::request() const
{
    GridProbeRequest request;
    request.grid = {ui->doubleSpinBoxMapX0->value(), ui->doubleSpinBoxMapY0->value(),
                    ui->doubleSpinBoxMapX1->value(), ui->doubleSpinBoxMapY1->value(),
                    ui->spinBoxMapColumns->value(),  ui->spinBoxMapRows->value()};
    request.feed = ui->doubleSpinBoxMapFeed->value();
    request.travelZ = ui->doubleSpinBoxMapTravel->value();
    request.depthZ = ui->doubleSpinBoxMapDepth->value();
    request.slowTouch = ui->checkBoxMapSlowTouch->isChecked();
    return request;
}

void HeightMapDialog::showGrid()
{
    const HeightMap::Grid grid = request().grid;
    const QString fault = grid.fault();
    ui->labelMapSpacing->setText(fault.isEmpty()
                                     ? tr("%1 points, %2 × %3 mm apart")
                                           .arg(grid.columns * grid.rows)
                                           .arg(plain((grid.x1 - grid.x0) / (grid.columns - 1)),
                                                plain((grid.y1 - grid.y0) / (grid.rows - 1)))
                                     : tr("No grid: %1").arg(fault));
    if (MachineAccess *station = machine(); station && isVisible())
        station->showProbeGrid(fault.isEmpty() ? grid.probeOrder() : QVector<QPointF>());
}

void HeightMapDialog::showRange()
{
    const MachineAccess *station = machine();
    const HeightMap map = station ? station->heightMap() : HeightMap();
    ui->labelMapRange->setText(
        map.isEmpty()
            ? tr("No map")
            : tr("Map %1, %2 × %3 points").arg(map.rangeText()).arg(map.columns()).arg(map.rows()));
}

void HeightMapDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    showGrid();
    showRange();
}

void HeightMapDialog::hideEvent(QHideEvent *event)
{
    if (MachineAccess *station = machine())
        station->showProbeGrid({});
    storeSettings();
    QDialog::hideEvent(event);
}

void HeightMapDialog::storeSettings() const
{
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.beginGroup(settingsGroup);
    for (const QDoubleSpinBox *box : findChildren<QDoubleSpinBox *>())
        store.setValue(box->objectName(), box->value());
    for (const QSpinBox *box : {ui->spinBoxMapColumns, ui->spinBoxMapRows})
        store.setValue(box->objectName(), box->value());
    store.setValue(ui->checkBoxMapSlowTouch->objectName(), ui->checkBoxMapSlowTouch->isChecked());
}

void HeightMapDialog::on_pushButtonMapFromProgram_clicked()
{
    const MachineAccess *station = machine();
    const std::optional<QRectF> extent = station ? station->programExtent() : std::nullopt;
    if (!extent) {
        ui->labelMapProgress->setText(tr("The program has no cutting moves to take an area from."));
        return;
    }
    const double margin = ui->doubleSpinBoxMapMargin->value();
    ui->doubleSpinBoxMapX0->setValue(extent->left() - margin);
    ui->doubleSpinBoxMapY0->setValue(extent->top() - margin);
    ui->doubleSpinBoxMapX1->setValue(extent->right() + margin);
    ui->doubleSpinBoxMapY1->setValue(extent->bottom() + margin);
}

// The progress line follows at once, from the station.
void HeightMapDialog::on_pushButtonMapProbe_clicked()
{
    MachineAccess *station = machine();
    if (!station)
        return;
    storeSettings();
    const QString refusal = station->StartGridProbe(request());
    if (!refusal.isEmpty())
        ui->labelMapProgress->setText(tr("Not started: %1").arg(refusal));
}

void HeightMapDialog::on_pushButtonMapStop_clicked()
{
    if (MachineAccess *station = machine())
        station->StopGridProbe();
}

// While the station probes, the grid shown is the one being probed.
void HeightMapDialog::showProbing(bool probing)
{
    for (QWidget *field :
         {static_cast<QWidget *>(ui->groupBoxMapArea),
          static_cast<QWidget *>(ui->spinBoxMapColumns), static_cast<QWidget *>(ui->spinBoxMapRows),
          static_cast<QWidget *>(ui->doubleSpinBoxMapFeed),
          static_cast<QWidget *>(ui->doubleSpinBoxMapTravel),
          static_cast<QWidget *>(ui->doubleSpinBoxMapDepth),
          static_cast<QWidget *>(ui->checkBoxMapSlowTouch),
          static_cast<QWidget *>(ui->pushButtonMapProbe)})
        field->setEnabled(!probing);
}

void HeightMapDialog::GridProbeProgress(int done, int total, int secondsLeft)
{
    showProbing(true);
    ui->labelMapProgress->setText(tr("Probing: %1 of %2 points done, about %3 left")
                                      .arg(done)
                                      .arg(total)
                                      .arg(Job::duration(qint64(secondsLeft) * 1000)));
}

void HeightMapDialog::GridProbeFinished(const GridProbeOutcome &outcome)
{
    showProbing(false);
    if (outcome.complete) {
        ui->labelMapProgress->setText(outcome.message);
        return keep(outcome.map, outcome.system);
    }
    if (outcome.map.isEmpty()) {
        ui->labelMapProgress->setText(tr("%1. The points probed do not make two whole rows of "
                                         "the grid: nothing is kept.")
                                          .arg(outcome.message));
        return;
    }
    ui->labelMapProgress->setText(outcome.message);
    auto *box = new QMessageBox(
        QMessageBox::Question, tr("Keep the rows probed?"),
        tr("%1.\n\nThe first %2 rows were probed whole (%3 × %2 points): keep them as the map?")
            .arg(outcome.message)
            .arg(outcome.map.rows())
            .arg(outcome.map.columns()),
        QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("keepPartialMapBox"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::buttonClicked, this,
            [this, box, map = outcome.map, system = outcome.system](QAbstractButton *button) {
                if (box->standardButton(button) == QMessageBox::Yes)
                    keep(map, system);
            });
    box->open();
}

void HeightMapDialog::keep(const HeightMap &map, const QString &system)
{
    if (MachineAccess *station = machine())
        station->setHeightMap(map);
    mapSystem = system;
    showRange();
}

void HeightMapDialog::on_pushButtonMapClear_clicked()
{
    keep({}, {});
    ui->labelMapProgress->setText(tr("The map is cleared."));
}

void HeightMapDialog::on_pushButtonMapLoad_clicked()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Load height map"), {}, tr("Height maps (*.map *.txt *.csv);;All files (*)"));
    if (!path.isEmpty())
        loadFile(path);
}

void HeightMapDialog::on_pushButtonMapSave_clicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save height map"), {},
                                                      tr("Height maps (*.map);;All files (*)"));
    if (!path.isEmpty())
        saveFile(path);
}

void HeightMapDialog::loadFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ui->labelMapProgress->setText(tr("Not loaded: %1: %2").arg(name, file.errorString()));
        return;
    }
    if (file.size() > largestFile) {
        ui->labelMapProgress->setText(tr("Not loaded: %1 is too large for a map").arg(name));
        return;
    }
    const QString text = QString::fromUtf8(file.readAll());
    const std::variant<HeightMap, QString> read = HeightMap::read(text);
    if (const QString *refusal = std::get_if<QString>(&read)) {
        ui->labelMapProgress->setText(tr("Not loaded: %1: %2").arg(name, *refusal));
        return;
    }
    static const QRegularExpression system(QStringLiteral("^# coordinate system (G5[4-9])$"),
                                           QRegularExpression::MultilineOption);
    keep(std::get<HeightMap>(read), system.match(text).captured(1));
    ui->labelMapProgress->setText(tr("Loaded %1").arg(name));
}

void HeightMapDialog::saveFile(const QString &path)
{
    const MachineAccess *station = machine();
    const HeightMap map = station ? station->heightMap() : HeightMap();
    if (map.isEmpty()) {
        ui->labelMapProgress->setText(tr("No map to save."));
        return;
    }
    QStringList comments{
        QStringLiteral("height map: work Z (mm) of the stock's surface at work X, Y"),
        QStringLiteral("grid %1 x %2 points, x %3 to %4, y %5 to %6")
            .arg(map.columns())
            .arg(map.rows())
            .arg(plain(map.left()), plain(map.right()), plain(map.bottom()), plain(map.top()))};
    if (!mapSystem.isEmpty())
        comments << QStringLiteral("coordinate system ") + mapSystem;
    comments << QStringLiteral("written ") + QDateTime::currentDateTime().toString(Qt::ISODate);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(map.write(comments).toUtf8()) < 0 ||
        !file.commit()) {
        ui->labelMapProgress->setText(
            tr("Not saved: %1: %2").arg(QFileInfo(path).fileName(), file.errorString()));
        return;
    }
    ui->labelMapProgress->setText(tr("Saved %1").arg(QFileInfo(path).fileName()));
}
