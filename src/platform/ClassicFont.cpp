#include "ClassicFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

struct Substitute {
    const char* family;
    const char* standIn;
    QFont::StyleHint hint;
    int stretch; // the stand-in's width against the original's, in percent
};

// Liberation Mono matches Courier New's metrics; MS Sans Serif runs narrower than
// Liberation Sans, so the stand-in is narrowed until captions laid out for it fit.
constexpr Substitute substitutes[] = {
    {"Courier New", "Liberation Mono", QFont::TypeWriter, QFont::Unstretched},
    {"MS Sans Serif", "Liberation Sans", QFont::SansSerif, 95},
};

} // namespace

QFont ClassicFont(const QString& family, qreal pointSize, bool underline) {
    QFont font(family);
    for (const Substitute& s : substitutes) {
        if (family != QLatin1String(s.family)) {
            continue;
        }
        font.setStyleHint(s.hint);
        if (!QFontDatabase::hasFamily(family)) {
            font.setFamilies({family, QString::fromLatin1(s.standIn)});
            font.setStretch(s.stretch);
        }
    }
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(underline);
    return font;
}

QFont ClassicWindowFont() {
    return ClassicFont(QStringLiteral("MS Sans Serif"), 8.25);
}
