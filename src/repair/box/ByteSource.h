#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace repair {

// Random access to the bytes of a file (or, for tests and fuzzing, of a buffer).
// Reads never go past the end: they return how many bytes were available.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    virtual std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const = 0;

    // Reads up to count bytes at offset into a new vector (shorter at the end).
    std::vector<std::uint8_t> bytes(std::uint64_t offset, std::size_t count) const;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A regular file, read only. It is opened once and without waiting, so a FIFO with no
// writer cannot hang the open; anything that is not a regular file, or cannot be opened,
// leaves it invalid (ok() false) and error() says why ("it is a FIFO, not a file").
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    int fd() const { return fd_; }
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const override;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string error_;
};

} // namespace repair
