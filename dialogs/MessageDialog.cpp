#include "MessageDialog.h"
#include "ui_MessageDialog.h"

MessageDialog::MessageDialog(QWidget *parent) : QDialog(parent), ui(new Ui::MessageDialog)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

MessageDialog::~MessageDialog()
{
    delete ui;
}

QTextBrowser *MessageDialog::textBrowser() const
{
    return ui->textBrowser;
}
