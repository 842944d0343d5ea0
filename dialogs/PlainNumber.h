#pragma once

#include <QString>

// True when the text is a decimal number that the controller reads exactly as the station does:
// an optional sign, digits with at most one decimal point, blanks (spaces, tabs) around it, and
// a finite value. Exponents, "inf", "nan", line breaks and other characters are refused, as
// the firmware would read them differently or as a second line.
bool isPlainNumber(const QString &text);
