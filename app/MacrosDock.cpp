#include "MacrosDock.h"
#include "ui_MacrosDock.h"

#include "link/SettingsStore.h"

#include <QMenu>
#include <QMessageBox>
#include <QSettings>

MacrosDock::MacrosDock(QWidget *parent) : QDockWidget(parent), ui(new Ui::MacrosDock), editor(this)
{
    ui->setupUi(this);
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    list = SettingsStore::readMacros(store);
    showButtons();
    connect(&editor, &QDialog::accepted, this, [this] {
        const std::optional<Macro> edited = editor.macro();
        if (!edited)
            return;
        if (editing >= 0 && editing < list.size())
            list[editing] = *edited;
        else if (list.size() < Macro::maxCount)
            list << *edited;
        keep();
    });
}

MacrosDock::~MacrosDock()
{
    delete ui;
}

void MacrosDock::on_pushButtonAddMacro_clicked()
{
    editMacro(-1);
}

void MacrosDock::editMacro(int index)
{
    editing = index >= 0 && index < list.size() ? index : -1;
    editor.setMacro(editing >= 0 ? list.at(editing) : Macro{});
    editor.setWindowTitle(editing >= 0 ? tr("Edit Macro") : tr("New Macro"));
    editor.open();
}

void MacrosDock::moveMacro(int index, int by)
{
    const int to = index + by;
    if (index < 0 || index >= list.size() || to < 0 || to >= list.size())
        return;
    list.move(index, to);
    keep();
}

void MacrosDock::removeMacro(int index)
{
    if (index < 0 || index >= list.size())
        return;
    list.removeAt(index);
    keep();
}

void MacrosDock::keep()
{
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    SettingsStore::writeMacros(store, list);
    showButtons();
}

void MacrosDock::showButtons()
{
    qDeleteAll(buttons);
    buttons.clear();
    for (int index = 0; index < list.size(); ++index) {
        const Macro &macro = list.at(index);
        auto *button = new QPushButton(macro.name, ui->scrollAreaWidgetContentsMacros);
        button->setObjectName(QStringLiteral("pushButtonMacro%1").arg(index + 1));
        button->setToolTip(macro.lines.join(QLatin1Char('\n')));
        button->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(button, &QPushButton::clicked, this, [this, index] {
            if (index < list.size())
                emit runRequested(list.at(index));
        });
        connect(
            button, &QWidget::customContextMenuRequested, this,
            [this, index, button](const QPoint &at) { showMenu(index, button->mapToGlobal(at)); });
        ui->verticalLayoutMacroButtons->insertWidget(index, button);
        buttons << button;
    }
}

void MacrosDock::showMenu(int index, const QPoint &at)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(tr("Edit…"), this, [this, index] { editMacro(index); });
    menu->addAction(tr("Move Up"), this, [this, index] { moveMacro(index, -1); })
        ->setEnabled(index > 0);
    menu->addAction(tr("Move Down"), this, [this, index] { moveMacro(index, 1); })
        ->setEnabled(index + 1 < list.size());
    menu->addSeparator();
    menu->addAction(tr("Remove…"), this, [this, index] {
        auto *box = new QMessageBox(QMessageBox::Question, tr("Remove Macro"),
                                    tr("Remove the macro \"%1\"?").arg(list.value(index).name),
                                    QMessageBox::Yes | QMessageBox::No, this);
        box->setObjectName(QStringLiteral("removeMacroBox"));
        box->setDefaultButton(QMessageBox::No);
        box->setAttribute(Qt::WA_DeleteOnClose);
        connect(box, &QMessageBox::buttonClicked, this, [this, box, index](QAbstractButton *b) {
            if (box->standardButton(b) == QMessageBox::Yes)
                removeMacro(index);
        });
        box->open();
    });
    menu->popup(at);
}
