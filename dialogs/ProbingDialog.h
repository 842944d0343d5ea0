#pragma once

#include "machine/ProbeCycle.h"

#include <QDialog>

namespace Ui {
class ProbingDialog;
}

// A single-axis probing move (G38.2) and, on contact, the work coordinate of that axis set to
// a known switch height (G92). The station runs the cycle; the dialog asks for it and shows
// how it ended.
class ProbingDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ProbingDialog(QWidget *parent = nullptr);
    ~ProbingDialog() override;

    // The state word of every status report ("Idle", "Run", "Alarm", ...).
    void SetMachineState(const QString &state);
    QChar SelectedAxis() const;

public slots:
    void ProbeFinished(bool contact, const QString &message);

private slots:
    void on_checkBoxAutoSetPos_toggled(bool checked);
    void on_pushButtonProbe_clicked();
    void on_pushButtonToolLength_clicked();

private:
    void Start(const ProbeRequest &request);

    Ui::ProbingDialog *ui;
    QString lastState;
};
