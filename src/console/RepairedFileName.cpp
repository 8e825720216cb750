#include "RepairedFileName.h"

#include "PathFunctions.h"
#include "tool/RepairTool.h"

RepairedFileNames DeriveRepairedFileNames(const QString& brokenPath, PathStyle style) {
    const QString toolOutput = RepairTool::resultPath(brokenPath);
    const QString folder = JustPath(toolOutput, style);
    const QString root = RootName(JustName(toolOutput, style), style);
    return {toolOutput, folder + root + QStringLiteral("-fixed") + QStringLiteral(".MP4")};
}
