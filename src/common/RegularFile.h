#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

namespace didev {

// What the file system says about a file's contents: another stamp means another file, or
// the same file changed.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileStamp of(const struct stat& status) noexcept;
    bool operator==(const FileStamp& other) const noexcept;
};

// The stamp of the regular file at `path` (a link is followed); nothing for anything else.
std::optional<FileStamp> regularFileStamp(const std::string& path);

// The contents of the regular file at `path`, with its stamp. A FIFO, device or socket at the
// name is never waited on: it gives nothing, as does a file that cannot be read.
std::optional<std::string> readRegularFile(const std::string& path, FileStamp* stamp = nullptr);

} // namespace didev
