#include "PlainNumber.h"

#include <QRegularExpression>

bool isPlainNumber(const QString &text)
{
    static const QRegularExpression plain(
        QStringLiteral("\\A[ \\t]*[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)[ \\t]*\\z"));
    if (!plain.match(text).hasMatch())
        return false;
    bool finite = false;
    text.toDouble(&finite); // a run of digits too long for a double fails here
    return finite;
}
