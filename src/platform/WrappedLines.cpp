#include "WrappedLines.h"

#include <algorithm>
#include <cmath>
#include <cstring>

CharWidths::CharWidths(Measure measure) : measure_(std::move(measure)) {
    for (std::size_t i = 0; i < ascii_.size(); ++i) {
        const auto c = static_cast<char16_t>(i);
        ascii_[i] = measure_(QStringView(&c, 1));
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
    size_ = 0;
    starts_.Clear();
    starts_.Finish();
    lastStart_ = 0;
    last_ = QChar();
    lineWidth_ = 0;
    breakAfter_ = -1;
    widthAtBreak_ = 0;
    afterCr_ = false;
}

void WrappedLines::Break(qsizetype at) {
    const qint64 start = lastStart_;
    starts_.Append(QByteArrayView(reinterpret_cast<const char*>(&start), sizeof start));
    lastStart_ = at;
    breakAfter_ = -1;
}

qreal WrappedLines::Advance(QStringView text, qsizetype i, QChar before, qreal lineWidth) const {
    const QChar c = text[i];
    if (c.unicode() < 128) {
        const qreal tab = widths_->TabStop();
        return c == u'\t' && tab > 0 ? tab - std::fmod(lineWidth, tab)
                                     : widths_->Ascii(c.unicode());
    }
    // A pair takes its width at its high half; the low half has none.
    if (c.isLowSurrogate() && (i > 0 ? text[i - 1] : before).isHighSurrogate()) {
        return 0;
    }
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        return widths_->Other(text.sliced(i, 2));
    }
    return widths_->Other(text.sliced(i, 1));
}

void WrappedLines::Append(QStringView piece) {
    const QChar before = last_;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        const qsizetype at = size_ + i;
        const char16_t c = piece[i].unicode();
        if (c == u'\n' && afterCr_ && lastStart_ == at) {
            lastStart_ = at + 1; // the LF of a CR LF
            afterCr_ = false;
            continue;
        }
        afterCr_ = false;
        if (c == u'\n' || c == u'\r') {
            Break(at + 1);
            lineWidth_ = 0;
            afterCr_ = c == u'\r';
            continue;
        }
        const qreal advance = Advance(piece, i, before, lineWidth_);
        if (c == u' ' || c == u'\t') {
            lineWidth_ += advance;
            breakAfter_ = at + 1;
            widthAtBreak_ = lineWidth_;
            continue;
        }
        if (lineWidth_ + advance > width_ && at > lastStart_) {
            if (breakAfter_ > lastStart_) {
                lineWidth_ -= widthAtBreak_;
                Break(breakAfter_);
            }
            if (lineWidth_ + advance > width_ && at > lastStart_) {
                Break(at);
                lineWidth_ = 0;
            }
        }
        lineWidth_ += advance;
    }
    size_ += piece.size();
    if (!piece.isEmpty()) {
        last_ = piece.back();
    }
}

qsizetype WrappedLines::Start(qsizetype line) const {
    if (line >= StoredCount()) {
        return lastStart_;
    }
    qint64 start = 0;
    const QByteArray bytes = starts_.Read(line * qsizetype{sizeof start}, sizeof start);
    std::memcpy(&start, bytes.constData(), std::min<std::size_t>(sizeof start, bytes.size()));
    return start;
}

qsizetype WrappedLines::LineOf(qsizetype position) const {
    if (position >= lastStart_) {
        return Count() - 1;
    }
    // The last stored line that starts at or before position.
    qsizetype low = 0;
    qsizetype high = StoredCount();
    while (high - low > 1) {
        const qsizetype middle = low + (high - low) / 2;
        (Start(middle) <= position ? low : high) = middle;
    }
    return low;
}

qsizetype WrappedLines::ContentLength(QStringView lineText) {
    qsizetype end = lineText.size();
    if (end > 0 && lineText[end - 1] == u'\n') {
        --end;
    }
    if (end > 0 && lineText[end - 1] == u'\r') {
        --end;
    }
    return end;
}

qreal WrappedLines::XOf(QStringView lineText, qsizetype offset) const {
    const qsizetype end = std::min(offset, ContentLength(lineText));
    qreal x = 0;
    for (qsizetype i = 0; i < end; ++i) {
        x += Advance(lineText, i, QChar(), x);
    }
    return x;
}

qsizetype WrappedLines::OffsetAt(QStringView lineText, qreal x) const {
    const qsizetype end = ContentLength(lineText);
    qreal left = 0;
    for (qsizetype i = 0; i < end; ++i) {
        const qreal advance = Advance(lineText, i, QChar(), left);
        if (advance > 0 && x < left + advance / 2) {
            return i;
        }
        left += advance;
    }
    return end;
}
