#pragma once

#include "RepairedFileName.h"

#include <QString>

// Gives the tool's result its final name in one atomic rename, which replaces an older
// file of that name in the same step. The tool output is never deleted: when the rename
// fails it stays under its own name, the only copy of the repaired video.
struct MoveOutcome {
    enum Kind {
        Renamed,          // the final name now holds this run's result
        NoResult,         // the tool left no result; nothing was touched
        KeptUnderToolName // the rename failed; the result stays under the tool's name
    };
    Kind kind = NoResult;
    int error = 0; // errno of the failed rename
};

MoveOutcome MoveIntoPlace(const RepairedFileNames& names);

// Where the tool's result is after the move (empty when it left none), and the log line
// that tells why when it had to stay under the tool's name (else empty).
struct PlacedResult {
    QString path;
    QString logLine;
};
PlacedResult DescribePlacement(const RepairedFileNames& names, const MoveOutcome& outcome);

// One log line telling where a result that could not be renamed was kept, and why.
QString KeptResultLogLine(const RepairedFileNames& names, int error);
