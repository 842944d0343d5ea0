#pragma once

#include "HelixProgram.h"

#include <QDialog>

namespace Ui {
class HelicalHoleCutter;
}

// Writes a program that cuts a round hole with a smaller end mill, spiralling down the wall,
// into its own editor for the operator to read and copy. It sends nothing to the machine.
class HelicalHoleCutter : public QDialog
{
    Q_OBJECT

public:
    explicit HelicalHoleCutter(QWidget *parent = nullptr);
    ~HelicalHoleCutter() override;

private slots:
    void on_GenerateButton_clicked();
    void on_pushButtonCopy_clicked();

private:
    HelixInputs readInputs() const;

    Ui::HelicalHoleCutter *ui;
};
