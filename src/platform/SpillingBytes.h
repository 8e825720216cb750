#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Bytes, append-only, such as a run's output. The first spillAt bytes stay in memory;
// once they grow past that, everything moves to an unlinked temporary file in the
// temporary folder and later bytes reach it in chunks of writeChunk, so that the memory
// used stays the same however many bytes come. The file disappears with the store
// (or with the process). Should no file be made or written, the bytes stay in memory.
//
// A store can be emptied and filled again: the file is kept and overwritten, so that the
// pages the system already holds for it are reused instead of taken anew.
class SpillingBytes {
public:
    static constexpr qsizetype defaultSpillAt = qsizetype{4} * 1024 * 1024;
    static constexpr qsizetype defaultWriteChunk = qsizetype{1024} * 1024;

    explicit SpillingBytes(qsizetype spillAt = defaultSpillAt,
                           qsizetype writeChunk = defaultWriteChunk);
    ~SpillingBytes();
    SpillingBytes(const SpillingBytes&) = delete;
    SpillingBytes& operator=(const SpillingBytes&) = delete;

    // Empties the store; the file, if any, is kept for the bytes to come.
    void Clear();
    void Append(QByteArrayView bytes);
    // Gives back the file's space beyond the stored bytes (left from before a Clear).
    void Finish();
    qsizetype Size() const { return fileSize_ + memory_.size(); }

    // The stored bytes within [from, from + count).
    QByteArray Read(qsizetype from, qsizetype count) const;

    // Bytes held in memory now.
    qsizetype MemoryBytes() const { return memory_.size(); }
    bool InFile() const { return fd_ >= 0; }

private:
    void Spill();
    void WriteOut();

    qsizetype spillAt_;
    qsizetype writeChunk_;
    int fd_ = -1;
    bool fileFailed_ = false;
    qsizetype fileSize_ = 0; // bytes [0, fileSize_) are in the file, the rest in memory_
    QByteArray memory_;
};
