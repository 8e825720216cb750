#pragma once

#include <QString>

// What Kestrel hands the outside repair tool and what it relies on in return.
namespace RepairTool {

// The tool's program name, without extension, looked for in the application folder.
inline QString programName() {
    return QStringLiteral("untrunc-w");
}

// Application folder, "/" and program name. The folder is taken as given.
inline QString programPath(const QString& appFolder) {
    return appFolder + u'/' + programName();
}

// Option fragments; each begins with one blank and the value follows directly.
inline QString smpltrkOption() {
    return QStringLiteral(" --smpltrk ");
}
inline QString gopmOption() {
    return QStringLiteral(" --gopm ");
}
inline QString goplOption() {
    return QStringLiteral(" --gopl ");
}
inline QString verboseOption() {
    return QStringLiteral(" --uverbose");
}

// The tool writes its result next to the broken file under the broken file's full
// name followed by this suffix.
inline QString resultSuffix() {
    return QStringLiteral("_untrunc.mp4");
}

inline QString resultPath(const QString& brokenPath) {
    return brokenPath + resultSuffix();
}

} // namespace RepairTool
