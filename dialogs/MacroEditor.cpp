#include "MacroEditor.h"
#include "ui_MacroEditor.h"

#include "link/SettingsStore.h"

#include <QPushButton>

MacroEditor::MacroEditor(QWidget *parent) : QDialog(parent), ui(new Ui::MacroEditor)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->lineEditMacroName, &QLineEdit::textChanged, this, &MacroEditor::showProblem);
    connect(ui->plainTextEditMacroLines, &QPlainTextEdit::textChanged, this,
            &MacroEditor::showProblem);
    showProblem();
}

MacroEditor::~MacroEditor()
{
    delete ui;
}

void MacroEditor::setMacro(const Macro &macro)
{
    ui->lineEditMacroName->setText(macro.name);
    ui->plainTextEditMacroLines->setPlainText(macro.lines.join(QLatin1Char('\n')));
    ui->lineEditMacroName->setFocus();
}

std::optional<Macro> MacroEditor::macro() const
{
    return SettingsStore::storable(
        {ui->lineEditMacroName->text(),
         ui->plainTextEditMacroLines->toPlainText().split(QLatin1Char('\n'))});
}

void MacroEditor::showProblem()
{
    const bool named = !ui->lineEditMacroName->text().trimmed().isEmpty();
    const bool fits = macro().has_value();
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(fits);
    ui->labelMacroProblem->setText(fits || !named ? QString()
                                                  : tr("At most %1 lines of %2 characters each.")
                                                        .arg(Macro::maxLines)
                                                        .arg(Macro::maxLineLength));
}
