#pragma once

#include <QDialog>
#include <optional>

namespace Ui {
class PositionsDialog;
}

// Work positions recorded during this run, each with the coordinate system it was recorded in,
// to be set again as the work origin offset (G92) or returned to at rapid rate (G00). The table
// is the list; it is not kept between runs.
class PositionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PositionsDialog(QWidget *parent = nullptr);
    ~PositionsDialog() override;

private slots:
    void on_pushButtonSave_clicked();
    void on_pushButtonSet_clicked();
    void on_pushButtonMove_clicked();
    void on_pushButtonDelete_clicked();

private:
    std::optional<QString> currentRowCommand(const QString &word) const;
    void sendForCurrentRow(const QStringList &before, const QString &word);

    Ui::PositionsDialog *ui;
};
