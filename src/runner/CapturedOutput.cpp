#include "CapturedOutput.h"

#include "platform/SpillingBytes.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

constexpr qsizetype decodeChunk = qsizetype{1024} * 1024;

// The decoder keeps the bytes of a character split between chunks until the rest comes.
class StreamDecoder : public QStringDecoder {
public:
    StreamDecoder() : QStringDecoder(Utf8, Flag::ConvertInitialBom) {}
    bool HasPendingBytes() const { return state.remainingChars > 0; }
};

} // namespace

QString CapturedOutput::Text() const {
    return Decode(0, size_);
}

QByteArray CapturedOutput::Bytes(qsizetype from, qsizetype count) const {
    from = std::clamp<qsizetype>(from, 0, size_);
    count = std::clamp<qsizetype>(count, 0, size_ - from);
    return store_ ? store_->Read(from, count) : QByteArray();
}

QString CapturedOutput::TextFrom(qsizetype byteOffset) const {
    byteOffset = std::clamp<qsizetype>(byteOffset, 0, size_);
    if (byteOffset > 0) {
        // Continuation bytes at the start belong to a character that began earlier.
        const QByteArray head = store_->Read(byteOffset, 3);
        qsizetype skip = 0;
        while (skip < head.size() && (static_cast<unsigned char>(head[skip]) & 0xC0) == 0x80) {
            ++skip;
        }
        byteOffset += skip;
    }
    const qsizetype tailFrom = std::max<qsizetype>(0, size_ - 3);
    const qsizetype end =
        size_ - runner::IncompleteUtf8Tail(store_ ? store_->Read(tailFrom, size_ - tailFrom)
                                                  : QByteArray());
    return Decode(byteOffset, std::max(byteOffset, end));
}

QString CapturedOutput::Decode(qsizetype from, qsizetype to) const {
    if (!store_ || from >= to) {
        return {};
    }
    StreamDecoder decoder;
    // UTF-8 never decodes to more UTF-16 units than it has bytes.
    QString text(to - from + 1, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype at = from; at < to; at += decodeChunk) {
        const QByteArray bytes = store_->Read(at, std::min(decodeChunk, to - at));
        out = decoder.appendToBuffer(out, bytes);
    }
    text.truncate(out - text.constData());
    if (decoder.HasPendingBytes()) {
        text.append(QChar::ReplacementCharacter);
    }
    return text;
}

namespace runner {

qsizetype IncompleteUtf8Tail(QByteArrayView bytes) {
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, size); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[size - back]);
        if ((byte & 0xC0) == 0x80) {
            continue; // a continuation byte: look further back for its lead
        }
        qsizetype length = 1; // ASCII, and bytes that can begin no character
        if (byte >= 0xF0 && byte < 0xF8) {
            length = 4;
        } else if (byte >= 0xE0 && byte < 0xF0) {
            length = 3;
        } else if (byte >= 0xC0 && byte < 0xE0) {
            length = 2;
        }
        return length > back ? back : 0;
    }
    return 0;
}

} // namespace runner
