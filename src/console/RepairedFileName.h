#pragma once

#include <QString>

// Where the repair tool leaves its result for a broken video, and the final name that
// result gets: the broken file's name up to its first dot, "-fixed", ".MP4", in the
// broken file's folder.
struct RepairedFileNames {
    QString toolOutput;
    QString finalName;
};

RepairedFileNames DeriveRepairedFileNames(const QString& brokenPath);
