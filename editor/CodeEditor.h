#pragma once

#include <QPlainTextEdit>

// The G-code program editor.
class CodeEditor : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit CodeEditor(QWidget *parent = nullptr);
};
