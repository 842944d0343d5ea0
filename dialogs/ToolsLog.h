#pragma once

#include <QLoggingCategory>

// Debug words of the machine tools ("Cell Changed", the hole cutter's input rules).
Q_DECLARE_LOGGING_CATEGORY(lcTools)
