#pragma once

#include "ProbeCycle.h"

#include <QDialog>

namespace Ui {
class ProbingDialog;
}

// A single-axis probing move (G38.2) and, once the machine is at rest again, the work
// coordinate of that axis set to a known switch height (G92).
class ProbingDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ProbingDialog(QWidget *parent = nullptr);
    ~ProbingDialog() override;

    // The state word of every status report ("Idle", "Run", "Alarm", ...).
    void SetMachineState(const QString &state);
    QChar SelectedAxis() const;
    ProbeCycle::State probeState() const { return cycle.state(); }

private slots:
    void on_checkBoxAutoSetPos_toggled(bool checked);
    void on_pushButtonProbe_clicked();

private:
    Ui::ProbingDialog *ui;
    ProbeCycle cycle;
    QString lastState;
};
