#pragma once

#include "platform/PathStyle.h"

#include <QString>

// Split a path held as text, without touching the file system. Windows style: "\" and a
// drive colon are the only separators. Posix style: "/" is the only separator. In both,
// JustPath(t) + JustName(t) == t.

// The folder part, with its closing separator ("" when there is none).
QString JustPath(const QString& strFileName, PathStyle style = nativePathStyle);
// The file-name part, without any folder.
QString JustName(const QString& strFileName, PathStyle style = nativePathStyle);
// Everything before the first dot; a dot in a folder name counts too.
QString RootName(const QString& strFileName, PathStyle style = nativePathStyle);
// The file name's extension after its last dot, without the dot.
QString JustExtension(const QString& strFileName, PathStyle style = nativePathStyle);
