#pragma once

#include <QFont>
#include <QString>

// A font asked for by its classic Windows family name. Where that family is missing,
// a metric-compatible one (Liberation) stands in, then the style hint decides.
QFont ClassicFont(const QString& family, qreal pointSize, bool underline = false);

// The window font that the classic layouts were measured with.
QFont ClassicWindowFont();
