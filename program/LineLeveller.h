#pragma once

#include "HeightMap.h"
#include "MachineState.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

#include <array>

// Writes a program again, line by line as the controller reads it, so that its feed moves follow
// the surface a height map describes: the work behind LevelledProgram::level. Moves it changes
// are written in absolute coordinates and the program's own units; every other line is kept as
// it stands.
class LineLeveller
{
public:
    enum class Outcome
    {
        Taken,
        Refused,   // the program cannot be levelled: refusal() says why
        Unsendable // the controller cannot take the line as it stands: refusal() says why
    };

    LineLeveller(const HeightMap &map, double arcTolerance);

    // One line as the controller receives it (up to a CR or LF), from editor line `editorLine`.
    Outcome take(QStringView line, int editorLine);

    const QString &refusal() const { return why; }
    // Those beyond the first few are counted in a last one.
    QStringList warnings() const;

    QString text; // every line written so far, each ended by LF
    QVector<int> sourceLine;

private:
    using Point = std::array<double, 3>; // mm

    struct LineRest
    {
        QString words;     // what else the line says, to go with its first move
        int visible = 0;   // characters of `words` the controller counts
        QString comments;  // kept for the operator's eye
        QString afterMove; // M0, M1, M2, M30: the controller acts on them after the motion
    };

    Outcome run(LineWords words, QStringView kept, QStringView line);
    Outcome runMove(const Move &move, const LineWords &words, const MachineState &before,
                    QStringView kept, QStringView line);
    Outcome refuse(const QString &reason);
    QString tooLong() const;
    QString whyNotLevelled(const LineWords &words, QStringView kept) const;
    void passSpecial(const LineWords &words, QStringView kept);
    void lose(const LineWords &words, const QString &warning);
    void raiseRapid(const Move &move, const LineWords &words, QStringView kept, QStringView line);
    bool followSurface(const Move &move, QStringView kept, QStringView line);
    bool cut(const Point &from, const Point &to);
    void beginMoves(QStringView kept, QStringView line, bool arc);
    void writeMove(char motion, const double (&at)[3], quint8 axes);
    void addRest(qsizetype moveBegins, bool fits);
    void appendRest(QString &into) const;
    void endMoves();
    void put(QStringView line);
    void warn(const QString &warning);
    bool roomToWarn();
    bool positionKnown() const;

    const HeightMap &map;
    const double tolerance;
    const double spacing;
    const double lift; // for rapids: clear of the highest point of the surface
    MachineState machine;
    int plane = LineWords::XY;
    bool known[3] = {}; // the program has set the axis, in its own coordinates
    bool zWritten = false;
    double writtenZ = 0; // mm, the last Z written to the controller
    bool ended = false;
    int number = 0; // the editor line being taken
    bool hasComments = false;
    bool incrementalBefore = false;
    bool firstMove = false;
    LineRest rest;
    double farthestOut = 0; // mm off the map, on the line's move
    double piecesOfLine = 0;
    QString why;
    QStringList said;
    int unsaid = 0;
};
