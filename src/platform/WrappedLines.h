#pragma once

#include "SpillingBytes.h"

#include <QHash>
#include <QString>

#include <array>
#include <functional>

// Widths of characters in pixels: ASCII from a table filled once, every other character
// measured once when first met.
class CharWidths {
public:
    using Measure = std::function<qreal(QStringView character)>;

    CharWidths() = default;
    explicit CharWidths(Measure measure);

    qreal Ascii(char16_t c) const { return ascii_[c]; }
    // A character given as one UTF-16 unit, or as a surrogate pair.
    qreal Other(QStringView character) const;
    // Tab stops every eight blanks.
    qreal TabStop() const { return 8 * ascii_[u' ']; }

private:
    Measure measure_;
    std::array<qreal, 128> ascii_{};
    mutable QHash<char32_t, qreal> others_;
};

// Breaks text into the lines a wrapping view shows it in, taking the text piece by piece
// and looking at each character once, so that appending costs what is appended however
// long the text is. CR LF, a lone LF and a lone CR each end a line (a CR LF split between
// two pieces too). A line that would grow wider than the width breaks after its last
// blank or tab, else before the character that does not fit; blanks and tabs never wrap
// by themselves. At least one character stays on every line, and a surrogate pair is
// never split.
//
// Only line starts are kept, eight bytes a line, past a few megabytes in a temporary file
// (see SpillingBytes.h); what needs the characters of a line takes them as lineText, the
// text from the line's Start to its End.
class WrappedLines {
public:
    // Starts over with no text.
    void Reset(const CharWidths* widths, qreal width);
    // Lays out piece as the continuation of the text so far.
    void Append(QStringView piece);

    qreal Width() const { return width_; }
    qsizetype TextSize() const { return size_; }
    qsizetype Count() const { return StoredCount() + 1; }
    qsizetype Start(qsizetype line) const;
    // Where the next line starts, or the end of the text.
    qsizetype End(qsizetype line) const { return line + 1 < Count() ? Start(line + 1) : size_; }
    // The line that holds position (a position at a line's start belongs to that line).
    qsizetype LineOf(qsizetype position) const;

    // Characters of the line without the line break that ends it, if any.
    static qsizetype ContentLength(QStringView lineText);
    // Distance from the line's start to the character at offset, as the layout measures it.
    qreal XOf(QStringView lineText, qsizetype offset) const;
    // The offset in the line nearest to x, never past the line's content.
    qsizetype OffsetAt(QStringView lineText, qreal x) const;

private:
    void Break(qsizetype at);
    qsizetype StoredCount() const { return starts_.Size() / qsizetype{sizeof(qint64)}; }
    // Advance of the character at i of text on a line that is lineWidth wide before it;
    // before is the character ahead of text[0].
    qreal Advance(QStringView text, qsizetype i, QChar before, qreal lineWidth) const;

    const CharWidths* widths_ = nullptr;
    qreal width_ = 0;
    qsizetype size_ = 0;
    SpillingBytes starts_;      // where each line but the last starts
    qsizetype lastStart_ = 0;   // where the last line starts
    QChar last_;                // the last character laid out
    qreal lineWidth_ = 0;       // of the last line so far
    qsizetype breakAfter_ = -1; // position after the last line's last blank, or -1
    qreal widthAtBreak_ = 0;    // of the last line up to breakAfter_
    bool afterCr_ = false;      // the last line began after a CR: an LF there joins it
};
