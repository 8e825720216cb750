#include "WrappedLines.h"

#include <algorithm>
#include <cmath>

CharWidths::CharWidths(Measure measure) : measure_(std::move(measure)) {
    for (char16_t c = 0; c < ascii_.size(); ++c) {
        ascii_[c] = measure_(QStringView(&c, 1));
    }
}

qreal CharWidths::Other(QStringView character) const {
    const char32_t key = character.size() == 2 ? QChar::surrogateToUcs4(character[0], character[1])
                                               : character[0].unicode();
    const auto found = others_.constFind(key);
    if (found != others_.constEnd()) {
        return *found;
    }
    const qreal width = measure_ ? measure_(character) : 0;
    others_.insert(key, width);
    return width;
}

void WrappedLines::Reset(const CharWidths* widths, qreal width) {
    widths_ = widths;
    width_ = width;
    starts_.assign(1, 0);
    lineWidth_ = 0;
    breakAfter_ = -1;
    widthAtBreak_ = 0;
    afterCr_ = false;
}

void WrappedLines::Break(qsizetype at) {
    starts_.push_back(at);
    breakAfter_ = -1;
}

// Width of the character at i; a high surrogate takes the width of its pair, the low
// one none.
qreal WrappedLines::Advance(QStringView text, qsizetype i) const {
    const QChar c = text[i];
    if (c.unicode() < 128) {
        return widths_->Ascii(c.unicode());
    }
    if (c.isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate()) {
        return 0;
    }
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        return widths_->Other(text.sliced(i, 2));
    }
    return widths_->Other(text.sliced(i, 1));
}

qreal WrappedLines::AdvanceAt(QStringView text, qsizetype i, qreal lineWidth) const {
    const qreal tab = widths_->TabStop();
    if (text[i] == u'\t' && tab > 0) {
        return tab - std::fmod(lineWidth, tab);
    }
    return Advance(text, i);
}

void WrappedLines::Append(QStringView text, qsizetype from) {
    for (qsizetype i = from; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\n' && afterCr_ && starts_.back() == i) {
            starts_.back() = i + 1; // the LF of a CR LF
            afterCr_ = false;
            continue;
        }
        afterCr_ = false;
        if (c == u'\n' || c == u'\r') {
            Break(i + 1);
            lineWidth_ = 0;
            afterCr_ = c == u'\r';
            continue;
        }
        if (c == u' ' || c == u'\t') {
            lineWidth_ += AdvanceAt(text, i, lineWidth_);
            breakAfter_ = i + 1;
            widthAtBreak_ = lineWidth_;
            continue;
        }
        // A low surrogate after its high half has no width of its own, so a pair never
        // breaks in two.
        const qreal advance = Advance(text, i);
        if (lineWidth_ + advance > width_ && i > starts_.back()) {
            if (breakAfter_ > starts_.back()) {
                lineWidth_ -= widthAtBreak_;
                Break(breakAfter_);
            }
            if (lineWidth_ + advance > width_ && i > starts_.back()) {
                Break(i);
                lineWidth_ = 0;
            }
        }
        lineWidth_ += advance;
    }
}

qsizetype WrappedLines::ContentEnd(QStringView text, qsizetype line) const {
    qsizetype end = line + 1 < Count() ? Start(line + 1) : text.size();
    const qsizetype start = Start(line);
    if (end > start && text[end - 1] == u'\n') {
        --end;
    }
    if (end > start && text[end - 1] == u'\r') {
        --end;
    }
    return end;
}

qsizetype WrappedLines::LineOf(qsizetype position) const {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), position);
    return std::max<qsizetype>(0, (after - starts_.begin()) - 1);
}

qreal WrappedLines::XOf(QStringView text, qsizetype line, qsizetype position) const {
    const qsizetype end = std::min(position, ContentEnd(text, line));
    qreal x = 0;
    for (qsizetype i = Start(line); i < end; ++i) {
        x += AdvanceAt(text, i, x);
    }
    return x;
}

qsizetype WrappedLines::PositionAt(QStringView text, qsizetype line, qreal x) const {
    const qsizetype end = ContentEnd(text, line);
    qreal left = 0;
    for (qsizetype i = Start(line); i < end; ++i) {
        const qreal advance = AdvanceAt(text, i, left);
        if (advance > 0 && x < left + advance / 2) {
            return i;
        }
        left += advance;
    }
    return end;
}
