#pragma once

#include "program/StartFromLine.h"

#include <QDialog>

namespace Ui {
class StartFromLineDialog;
}

// Starts the program at a line of the operator's choice: the way in is shown as the line, the
// clearance, the dwell and the plunge feed change, and nothing moves before Start.
class StartFromLineDialog : public QDialog
{
    Q_OBJECT

public:
    explicit StartFromLineDialog(QWidget *parent = nullptr);
    ~StartFromLineDialog() override;

    // What the last start used, from the settings store; the usual values where it holds
    // nothing sensible.
    static StartFromLine::Settings storedSettings();
    void showAt(int line);

signals:
    // What the dialog shows now, for the preview; an empty way in when it shows none.
    void wayInChanged(const StartFromLine &start);

protected:
    void hideEvent(QHideEvent *event) override;

private slots:
    void on_pushButtonStart_clicked();
    void showWayIn();

private:
    StartFromLine::Settings chosenSettings() const;

    Ui::StartFromLineDialog *ui;
};
