#include "ToolsLog.h"

Q_LOGGING_CATEGORY(lcTools, "orlo.tools", QtInfoMsg)
