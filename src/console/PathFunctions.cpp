#include "PathFunctions.h"

namespace {

// Length of the folder part: where JustPath and JustName cut.
qsizetype folderLength(const QString& text, PathStyle style) {
    const qsizetype lastSeparator = text.lastIndexOf(folderSeparator(style));
    if (lastSeparator >= 0) {
        return lastSeparator + 1;
    }
    if (style == PathStyle::Windows && text.contains(u':')) {
        return std::min<qsizetype>(2, text.size());
    }
    return 0;
}

} // namespace

QString JustPath(const QString& strFileName, PathStyle style) {
    return strFileName.left(folderLength(strFileName, style));
}

QString JustName(const QString& strFileName, PathStyle style) {
    return strFileName.mid(folderLength(strFileName, style));
}

QString RootName(const QString& strFileName, [[maybe_unused]] PathStyle style) {
    const qsizetype firstDot = strFileName.indexOf(u'.');
    return firstDot >= 0 ? strFileName.left(firstDot) : strFileName;
}

QString JustExtension(const QString& strFileName, PathStyle style) {
    const QString name = JustName(strFileName, style);
    const qsizetype lastDot = name.lastIndexOf(u'.');
    return lastDot >= 0 ? name.mid(lastDot + 1) : QString();
}
