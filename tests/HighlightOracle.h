#pragma once

#include "editor/GCodeSyntaxHighlighter.h"

#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QVector>

#include <array>

// The highlighter as its rules are written: thirteen pattern searches per line, each applied
// over the ones before. The yardstick for the station's single-pass scanner.
namespace HighlightOracle {

inline const std::array<QRegularExpression, 13> &patterns()
{
    static const std::array<QRegularExpression, 13> rules = {
        QRegularExpression("[nN][0-9]*"),
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
    return rules;
}

// Calls apply(start, length, rule) for every match, rule by rule, in the order they apply.
template <typename Apply> void forEachMatch(const QString &text, Apply apply)
{
    for (size_t rule = 0; rule < patterns().size(); ++rule) {
        QRegularExpressionMatch match = patterns()[rule].match(text, 0);
        while (match.hasMatch()) {
            apply(match.capturedStart(), match.capturedLength(), int(rule));
            match = patterns()[rule].match(text, match.capturedEnd());
        }
    }
}

// The rule that colours each character in the end, -1 for none.
inline QVector<int> ruleOfEachCharacter(const QString &text)
{
    QVector<int> rules(text.size(), -1);
    forEachMatch(text, [&rules](int start, int length, int rule) {
        std::fill(rules.begin() + start, rules.begin() + start + length, rule);
    });
    return rules;
}

class PatternHighlighter : public QSyntaxHighlighter
{
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString &text) override
    {
        forEachMatch(text, [this](int start, int length, int rule) {
            setFormat(start, length, GCodeSyntaxHighlighter::ruleFormat(HighlightRule(rule)));
        });
    }
};

} // namespace HighlightOracle
