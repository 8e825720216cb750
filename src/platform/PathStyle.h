#pragma once

#include <QChar>

// Which path rules a piece of text follows. Windows: "\" separates folders and a
// leading "X:" names a drive. Posix: "/" is the only separator.
enum class PathStyle { Windows, Posix };

inline constexpr PathStyle nativePathStyle = PathStyle::Posix;

inline QChar folderSeparator(PathStyle style) {
    return style == PathStyle::Windows ? QChar(u'\\') : QChar(u'/');
}
