#include "CommandAssembly.h"

#include "platform/CommandLineRules.h"
#include "tool/RepairTool.h"

QString AssembleCommandLine(const RepairInputs& in) {
    QString smpltrk = RepairTool::smpltrkOption() + in.smpltrk;
    QString gopm = RepairTool::gopmOption() + in.gopm;
    QString gopl = RepairTool::goplOption() + in.gopl;
    const QString verbose = in.logVerbose ? RepairTool::verboseOption() : QString();
    if (in.samplesPerChunk) {
        gopm.clear();
        gopl.clear();
    }
    if (in.interleave) {
        smpltrk.clear();
    }
    const QString program = QuoteArgument(RepairTool::programPath(in.appFolder));
    const QString reference = u' ' + QuoteArgument(in.reference);
    const QString corrupt = u' ' + QuoteArgument(in.corrupt);
    return program + smpltrk + gopm + gopl + verbose + reference + corrupt;
}
