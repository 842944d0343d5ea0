#pragma once

#include "GrblParameter.h"

#include <QDialog>
#include <QTimer>
#include <QVector>

namespace Ui {
class GrblSettingsDialog;
}

// The controller's numbered settings in a table. It fills itself from the parameter lines the
// station hands it, whether shown or not; edited values are marked and sent back on Apply.
class GrblSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int refreshDelayMs = 500;

    explicit GrblSettingsDialog(QWidget *parent = nullptr);
    ~GrblSettingsDialog() override;

    void ParseParameterLine(const QString &line);
    int FindParameter(int index) const;

private slots:
    void on_pushButtonClose_clicked();
    void on_pushButtonApply_clicked();
    void cellChanged(int row, int column);
    void refreshList();

private:
    void appendRow(const GrblParameter &parameter);
    void markOrRevert(int row, const GrblParameter &parameter);

    Ui::GrblSettingsDialog *ui;
    QVector<GrblParameter> parameters;
    QTimer refreshTimer;
};
