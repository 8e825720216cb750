#pragma once

#include <QString>

// The usage text shown in the log when the window opens: the repair tool's command
// line and options, 34 lines joined by CR LF, no break after the last.
QString HelpText();
