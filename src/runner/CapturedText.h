#pragma once

#include <QString>
#include <QStringDecoder>

namespace runner {

// Output bytes as they arrive, decoded as UTF-8 by one decoder for the whole run, so
// that a character split between two reads comes out whole. Invalid bytes become
// U+FFFD; a BOM is kept like any other character.
class CapturedText {
public:
    // Starts a new, empty text.
    void Clear();

    // Decodes bytes and appends them. Returns what they decoded to; the view is valid
    // until the next call on this object.
    QStringView Append(QByteArrayView bytes);

    // Ends the stream: an incomplete character at the end becomes U+FFFD.
    void Finish();

    // Everything decoded so far.
    QString Text() const;

private:
    // The decoder keeps the bytes of a split character until the rest arrives.
    class Decoder : public QStringDecoder {
    public:
        Decoder() : QStringDecoder(Utf8, Flag::ConvertInitialBom) {}
        bool HasPendingBytes() const { return state.remainingChars > 0; }
    };

    Decoder decoder_;
    // Grown in large steps so that appending 256 bytes at a time stays linear.
    QString buffer_;
    qsizetype used_ = 0;
};

} // namespace runner
