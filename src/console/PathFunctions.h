#pragma once

#include <QString>

// Split a path held as text, without touching the file system: "/" is the only
// separator. JustPath(t) + JustName(t) == t.

// The folder part, with its closing "/" ("" when there is none).
QString JustPath(const QString& strFileName);
// The file-name part, without any folder.
QString JustName(const QString& strFileName);
// Everything before the first dot; a dot in a folder name counts too.
QString RootName(const QString& strFileName);
