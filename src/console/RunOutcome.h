#pragma once

#include "runner/RunEnding.h"

#include <QString>

// What the user is told when a run that started the repair tool has ended. Only a run
// that exited with status 0 and left a result is a success, told by "done" alone;
// any other ending is told in a critical box with how the tool ended and its last line,
// and a result the tool did leave makes the repair partial.
struct RunOutcome {
    bool succeeded = false;
    QString message;
};

// resultPath: where the tool's result now is, or empty when it left none.
RunOutcome JudgeRun(const RunEnding& ending, const QString& resultPath, const QString& lastLine);

// The last line of text that holds more than blanks, without its line break; CR, LF and
// CR LF each end a line. A line longer than maxChars keeps its end behind "...".
QString LastLine(const QString& text, qsizetype maxChars = 200);
