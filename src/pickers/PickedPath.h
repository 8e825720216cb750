#pragma once

#include <QString>

// The text a picker writes into its box for a file: its folder as the picker's lists
// name it, "/", and the file's name. The separator goes in whatever the folder ends
// with: a file in "/" gives "//name".
inline QString PickedPath(const QString& folder, const QString& fileName) {
    return folder + u'/' + fileName;
}
