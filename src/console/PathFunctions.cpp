#include "PathFunctions.h"

namespace {

// Length of the folder part: where JustPath and JustName cut.
qsizetype folderLength(const QString& text) {
    return text.lastIndexOf(u'/') + 1;
}

} // namespace

QString JustPath(const QString& strFileName) {
    return strFileName.left(folderLength(strFileName));
}

QString JustName(const QString& strFileName) {
    return strFileName.mid(folderLength(strFileName));
}

QString RootName(const QString& strFileName) {
    const qsizetype firstDot = strFileName.indexOf(u'.');
    return firstDot >= 0 ? strFileName.left(firstDot) : strFileName;
}
