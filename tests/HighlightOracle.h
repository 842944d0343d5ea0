#pragma once

#include <QRegularExpression>
#include <QVector>

// The highlighter as its rules are written: thirteen pattern searches per line, each applied
// over the ones before. The yardstick for the station's single-pass scanner.
namespace HighlightOracle {

// The rule that colours each character in the end, -1 for none.
inline QVector<int> ruleOfEachCharacter(const QString &text)
{
    static const QRegularExpression rules[] = {QRegularExpression("[nN][0-9]*"),
                                               QRegularExpression("[mM][0-9]*"),
                                               QRegularExpression("[gG][0-9]*"),
                                               QRegularExpression("[xX]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[yY]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[zZ]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[iI]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[jJ]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[kK]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[rR]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[sS]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[fF]-?[0-9]*\\.?[0-9]*"),
                                               QRegularExpression("[(][^)]*[)]")};
    QVector<int> found(text.size(), -1);
    for (int rule = 0; rule < 13; ++rule) {
        QRegularExpressionMatchIterator matches = rules[rule].globalMatch(text);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            std::fill(found.begin() + match.capturedStart(), found.begin() + match.capturedEnd(),
                      rule);
        }
    }
    return found;
}

} // namespace HighlightOracle
