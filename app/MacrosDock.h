#pragma once

#include "dialogs/MacroEditor.h"
#include "link/Macro.h"

#include <QDockWidget>
#include <QVector>

class QPushButton;

namespace Ui {
class MacrosDock;
}

// The operator's macros, a button each in the operator's order, kept in the settings store at
// every change. A click asks for the macro to run (the session decides whether it may); the
// button's context menu edits, moves or removes it.
class MacrosDock : public QDockWidget
{
    Q_OBJECT

public:
    explicit MacrosDock(QWidget *parent = nullptr);
    ~MacrosDock() override;

    const QVector<Macro> &macros() const { return list; }
    // The editor opens on the macro (index -1: a new one); OK stores it.
    void editMacro(int index);
    // Up (-1) or down (+1) by one place.
    void moveMacro(int index, int by);
    // Once the operator has said yes.
    void removeMacro(int index);

signals:
    void runRequested(const Macro &macro);

private slots:
    void on_pushButtonAddMacro_clicked();

private:
    void keep();
    void showButtons();
    void showMenu(int index, const QPoint &at);

    Ui::MacrosDock *ui;
    QVector<Macro> list;
    QVector<QPushButton *> buttons;
    MacroEditor editor;
    int editing = -1; // the macro in the editor; -1: a new one
};
