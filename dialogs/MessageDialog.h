#pragma once

#include <QDialog>

class QTextBrowser;

namespace Ui {
class MessageDialog;
}

// A small read-only rich-text box with a centred OK button.
class MessageDialog : public QDialog
{
    Q_OBJECT

public:
    explicit MessageDialog(QWidget *parent = nullptr);
    ~MessageDialog() override;

    QTextBrowser *textBrowser() const;

private:
    Ui::MessageDialog *ui;
};
