#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace runner {

// The bytes of one run's output, append-only. The first spillAt bytes stay in memory;
// once the output grows past them, everything moves to an unlinked temporary file in the
// temporary folder and later bytes reach it in chunks of writeChunk, so that the memory
// used stays the same however much the tool writes. The file disappears with the store
// (or with the process). Should no file be made or written, the bytes stay in memory.
//
// A store can be emptied for the next run: the file is kept and overwritten, so that the
// pages the system already holds for it are reused instead of taken anew.
class OutputStore {
public:
    static constexpr qsizetype defaultSpillAt = qsizetype{4} * 1024 * 1024;
    static constexpr qsizetype defaultWriteChunk = qsizetype{1024} * 1024;

    explicit OutputStore(qsizetype spillAt = defaultSpillAt,
                         qsizetype writeChunk = defaultWriteChunk);
    ~OutputStore();
    OutputStore(const OutputStore&) = delete;
    OutputStore& operator=(const OutputStore&) = delete;

    // Empties the store; the file, if any, is kept for the bytes to come.
    void Clear();
    void Append(QByteArrayView bytes);
    // Gives back the file's space beyond the stored bytes (left from before a Clear).
    void Finish();
    qsizetype Size() const { return fileSize_ + memory_.size(); }

    // Bytes [from, from + count), clamped to what is stored.
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

// Number of bytes at the end of bytes that begin a UTF-8 character without completing
// it (0 to 3): they belong with what follows.
qsizetype IncompleteUtf8Tail(QByteArrayView bytes);

} // namespace runner
