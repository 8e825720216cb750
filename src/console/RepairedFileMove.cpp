#include "RepairedFileMove.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

bool isRegularFile(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

MoveOutcome MoveIntoPlace(const RepairedFileNames& names) {
    const QByteArray from = QFile::encodeName(names.toolOutput);
    const QByteArray to = QFile::encodeName(names.finalName);
    if (!isRegularFile(from)) {
        return {MoveOutcome::NoResult, 0};
    }
    if (std::rename(from.constData(), to.constData()) != 0) {
        return {MoveOutcome::KeptUnderToolName, errno};
    }
    return {MoveOutcome::Renamed, 0};
}

PlacedResult DescribePlacement(const RepairedFileNames& names, const MoveOutcome& outcome) {
    switch (outcome.kind) {
    case MoveOutcome::Renamed:
        return {names.finalName, QString()};
    case MoveOutcome::KeptUnderToolName:
        return {names.toolOutput, KeptResultLogLine(names, outcome.error)};
    case MoveOutcome::NoResult:
        break;
    }
    return {};
}

QString KeptResultLogLine(const RepairedFileNames& names, int error) {
    return QStringLiteral("The repaired video was kept as %1: it could not be renamed to %2 (%3).")
        .arg(names.toolOutput, names.finalName, QString::fromLocal8Bit(std::strerror(error)));
}
