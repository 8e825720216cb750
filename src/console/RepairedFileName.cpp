#include "RepairedFileName.h"

#include "PathFunctions.h"
#include "tool/RepairTool.h"

RepairedFileNames DeriveRepairedFileNames(const QString& brokenPath) {
    const QString toolOutput = RepairTool::resultPath(brokenPath);
    const QString folder = JustPath(toolOutput);
    const QString root = RootName(JustName(toolOutput));
    return {toolOutput, folder + root + QStringLiteral("-fixed") + QStringLiteral(".MP4")};
}
