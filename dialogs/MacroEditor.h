#pragma once

#include "link/Macro.h"

#include <QDialog>

#include <optional>

namespace Ui {
class MacroEditor;
}

// A macro's name and its lines, as the operator writes them. OK takes only what the settings
// store keeps as it is: a name, and lines within the store's limits.
class MacroEditor : public QDialog
{
    Q_OBJECT

public:
    explicit MacroEditor(QWidget *parent = nullptr);
    ~MacroEditor() override;

    void setMacro(const Macro &macro);
    // What OK takes; nothing while the name is missing or the lines are too many or too long.
    std::optional<Macro> macro() const;

private:
    void showProblem();

    Ui::MacroEditor *ui;
};
