#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

class SpillingBytes;

namespace runner {
// Number of bytes at the end of bytes that begin a UTF-8 character without completing
// it (0 to 3): they belong with what follows.
qsizetype IncompleteUtf8Tail(QByteArrayView bytes);
} // namespace runner

// A run's captured output as it stood when this value was taken: bytes, decoded as UTF-8
// only when asked for (invalid bytes become U+FFFD, a byte order mark is kept, a
// character cut off at the end becomes U+FFFD). Cheap to copy and to drop: a caller that
// never asks for the text pays nothing for it. Values stay valid after later runs.
class CapturedOutput {
public:
    CapturedOutput() = default;
    CapturedOutput(std::shared_ptr<const SpillingBytes> store, qsizetype size)
        : store_(std::move(store)), size_(size) {}

    // The whole output as text.
    QString Text() const;
    // NOLINTNEXTLINE(google-explicit-constructor): the output is text to its callers
    operator QString() const { return Text(); }

    qsizetype ByteSize() const { return size_; }
    // The bytes within [from, from + count), clipped to the output.
    QByteArray Bytes(qsizetype from, qsizetype count) const;
    bool IsEmpty() const { return size_ == 0; }

    // The text of the bytes from byteOffset on; a character that begins before it (or
    // a character cut off at the end) is left out.
    QString TextFrom(qsizetype byteOffset) const;
    // The text of the last maxBytes bytes, whole characters only.
    QString TailText(qsizetype maxBytes) const { return TextFrom(size_ - maxBytes); }

private:
    QString Decode(qsizetype from, qsizetype to) const;

    std::shared_ptr<const SpillingBytes> store_;
    qsizetype size_ = 0;
};
