#include "CapturedText.h"

#include <algorithm>

namespace runner {

namespace {
constexpr qsizetype initialCapacity = 4096;
}

void CapturedText::Clear() {
    decoder_ = Decoder();
    // Memory the last run's text no longer needs is reused rather than faulted in anew.
    if (buffer_.isDetached()) {
        buffer_.resize(buffer_.capacity());
    } else {
        buffer_ = QString();
    }
    used_ = 0;
}

QStringView CapturedText::Append(QByteArrayView bytes) {
    const qsizetype needed = used_ + decoder_.requiredSpace(bytes.size());
    if (needed > buffer_.size()) {
        buffer_.resize(std::max({needed, buffer_.size() * 2, initialCapacity}));
    }
    QChar* const start = buffer_.data() + used_;
    QChar* const end = decoder_.appendToBuffer(start, bytes);
    used_ = end - buffer_.constData();
    return {start, end};
}

void CapturedText::Finish() {
    buffer_.truncate(used_);
    if (decoder_.HasPendingBytes()) {
        decoder_ = Decoder();
        buffer_.append(QChar::ReplacementCharacter);
        ++used_;
    }
    buffer_.squeeze();
}

QString CapturedText::Text() const {
    return used_ == buffer_.size() ? buffer_ : buffer_.left(used_);
}

} // namespace runner
