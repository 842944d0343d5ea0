#pragma once

#include "PathInterpreter.h"

#include <QObject>
#include <QPointer>

class QTextDocument;

// Feeds the interpreter the blocks of a document as they change, so that bringing the path up
// to date after an edit reads only the edited lines.
class DocumentPathReader : public QObject
{
    Q_OBJECT

public:
    explicit DocumentPathReader(QObject *parent = nullptr);

    void setDocument(QTextDocument *document);

    void setStartState(const MachineState &state) { interpreter.setStartState(state); }
    const MachineState &startState() const { return interpreter.initialState(); }
    // See PathInterpreter::update.
    bool updatePath(QVector<PathPoint> &path) { return interpreter.update(path); }
    // See PathInterpreter::firstPointOfBlock; a line is a block of the document.
    int firstPointOfLine(int blockNumber) const
    {
        return interpreter.firstPointOfBlock(blockNumber);
    }

private:
    void readChange(int from, int removed, int added);
    void readWholeDocument();
    QString textBetween(int start, int end) const;

    QPointer<QTextDocument> document;
    PathInterpreter interpreter;
};
