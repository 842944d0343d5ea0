#pragma once

#include "machine/GridProbe.h"

#include <QDialog>

class MachineAccess;

namespace Ui {
class HeightMapDialog;
}

// Probes the stock's surface on a grid over the program, and loads, saves and clears the map
// the station keeps across programs. While the dialog shows, the grid is drawn over the program,
// before anything moves; the station runs the probing and tells its progress and its end here.
class HeightMapDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HeightMapDialog(QWidget *parent = nullptr);
    ~HeightMapDialog() override;

    // The grid and how each point is touched, as the fields say now.
    GridProbeRequest request() const;
    // A file that is no whole grid is refused, and the dialog says why; the map kept stays.
    void loadFile(const QString &path);
    void saveFile(const QString &path);

public slots:
    void GridProbeProgress(int done, int total, int secondsLeft);
    // A map cut short is kept only when the operator says so, and only as whole rows.
    void GridProbeFinished(const GridProbeOutcome &outcome);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void on_pushButtonMapFromProgram_clicked();
    void on_pushButtonMapProbe_clicked();
    void on_pushButtonMapStop_clicked();
    void on_pushButtonMapLoad_clicked();
    void on_pushButtonMapSave_clicked();
    void on_pushButtonMapClear_clicked();
    void showGrid();

private:
    MachineAccess *machine() const;
    void keep(const HeightMap &map, const QString &system);
    void showRange();
    void storeSettings() const;
    void showProbing(bool probing);

    Ui::HeightMapDialog *ui;
    QString mapSystem; // the work coordinates of the map kept, when known
};
