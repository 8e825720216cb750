#include "RunOutcome.h"

#include "tool/RepairTool.h"

#include <cstring>

namespace {

QString howItEnded(const RunEnding& ending, bool resultLeft) {
    const QString tool = RepairTool::programName();
    switch (ending.kind) {
    case RunEnding::Exited:
        return QStringLiteral("%1 ended with exit status %2%3.")
            .arg(tool)
            .arg(ending.code)
            .arg(ending.code == 0 && !resultLeft ? QStringLiteral(" but left no result")
                                                 : QString());
    case RunEnding::Signalled:
        return QStringLiteral("%1 was ended by signal %2 (%3).")
            .arg(tool)
            .arg(ending.code)
            .arg(QString::fromLocal8Bit(::strsignal(ending.code)));
    case RunEnding::Unknown:
    case RunEnding::NotStarted:
        break;
    }
    return QStringLiteral("%1 closed its output before it ended; its exit status is unknown.")
        .arg(tool);
}

} // namespace

RunOutcome JudgeRun(const RunEnding& ending, const QString& resultPath, const QString& lastLine) {
    const bool resultLeft = !resultPath.isEmpty();
    if (resultLeft && ending.kind == RunEnding::Exited && ending.code == 0) {
        return {true, QStringLiteral("done")};
    }
    QString message = resultLeft ? QStringLiteral("The repair is partial: ")
                                 : QStringLiteral("The repair did not succeed: ");
    message += howItEnded(ending, resultLeft) + u'\n';
    message += lastLine.isEmpty() ? QStringLiteral("It wrote nothing.")
                                  : QStringLiteral("Its last line: ") + lastLine;
    if (resultLeft) {
        message += QStringLiteral("\nWhat it wrote is saved as %1.").arg(resultPath);
    }
    return {false, message};
}

QString LastLine(const QString& text, qsizetype maxChars) {
    qsizetype end = text.size();
    while (end > 0) {
        qsizetype start = end;
        while (start > 0 && text[start - 1] != u'\n' && text[start - 1] != u'\r') {
            --start;
        }
        const QString line = text.mid(start, end - start).trimmed();
        if (!line.isEmpty()) {
            return line.size() <= maxChars ? line : QStringLiteral("...") + line.right(maxChars);
        }
        end = start - 1;
    }
    return {};
}
