#pragma once

#include <QStringView>
#include <QVector>

// The highlighter's rules, in the order they apply; a later rule wins where spans overlap.
enum class HighlightRule : quint8
{
    N,
    M,
    G,
    X,
    Y,
    Z,
    I,
    J,
    K,
    R,
    S,
    F,
    Comment
};

struct HighlightSpan
{
    int start;
    int length;
    HighlightRule rule;
};

// The spans the rules give one line: every address letter with the number after it (N, M and
// G take digits, the others "-?[0-9]*\.?[0-9]*"), then every comment from "(" to the first
// ")". Letters count anywhere, also inside words and comments; a comment without its ")" is no
// comment. One pass per kind instead of one pattern search per rule.
QVector<HighlightSpan> highlightSpans(QStringView line);
