#pragma once

#include <cstddef>
#include <string>

namespace didev {

// Owns one file descriptor and closes it. Its read and write loops are the module's one
// place that goes on after an interrupted or a short transfer.
class FileDescriptor {
public:
    FileDescriptor() noexcept = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool valid() const noexcept { return fd_ >= 0; }
    int get() const noexcept { return fd_; }
    int release() noexcept;
    // 0, or the errno of close (a file system may report a lost write only there).
    int close() noexcept;

    // Writes all `size` bytes at the file position. 0 when they were written, else the errno
    // of the write that failed (ENOSPC for one that wrote nothing).
    int writeAll(const void* data, size_t size) const noexcept;
    // Appends everything up to the end of the file to `bytes`; 0 or the errno of read.
    int readAll(std::string& bytes) const;

private:
    int fd_ = -1;
};

} // namespace didev
