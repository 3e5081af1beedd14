#include "common/ReplacingFileWriter.h"

#include "common/AutomationError.h"
#include "common/SystemErrorText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace didev {

namespace {

// Room for the dot, the separator and the random part within a name of 255 bytes.
constexpr size_t kLongestStem = 200;
constexpr int kNameAttempts = 64;

// What stands at a name that is never opened for writing; nothing for anything else.
const char* refusedKind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    return nullptr;
}

std::string randomPart()
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::string part(8, ' ');
    for (char& c : part)
        c = kLetters[generator() % (sizeof kLetters - 1)];
    return part;
}

} // namespace

std::string ReplacingFileWriter::Failure::reason() const
{
    return kind == Kind::Refused ? call + " stands at the name" : systemErrorText(error);
}

bool ReplacingFileWriter::Failure::accessDenied() const noexcept
{
    return kind != Kind::Refused && (error == EACCES || error == EPERM || error == EROFS);
}

ReplacingFileWriter::ReplacingFileWriter(std::string target)
    : target_(std::move(target))
{
    open();
}

ReplacingFileWriter::~ReplacingFileWriter()
{
    file_.close();
    if (!committed_ && !staged_.empty())
        ::unlink(staged_.c_str());
}

void ReplacingFileWriter::open()
{
    struct stat existing {};
    const bool exists = !target_.empty() && ::lstat(target_.c_str(), &existing) == 0;
    const int lookupError = target_.empty() ? ENOENT : errno;
    bool replacesFile = false;
    if (exists) {
        if (const char* kind = refusedKind(existing.st_mode))
            return record(Failure::Kind::Refused, 0, kind);
        if (S_ISDIR(existing.st_mode))
            return record(Failure::Kind::NotCreated, EISDIR, "open");
        // A file that grants nobody write access is read-only and kept, whoever runs the module.
        if (S_ISREG(existing.st_mode) && (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return record(Failure::Kind::NotCreated, EACCES, "open");
        replacesFile = S_ISREG(existing.st_mode);
    }

    const size_t slash = target_.find_last_of('/');
    const std::string prefix = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (name.empty())
        return record(Failure::Kind::NotCreated, exists ? EISDIR : lookupError, "open");
    folder_ = prefix.empty() ? std::string(".") : prefix;

    const std::string stem = prefix + "." + name.substr(0, kLongestStem) + ".";
    for (int attempt = 0; attempt < kNameAttempts && !file_.valid(); ++attempt) {
        std::string staged = stem + randomPart();
        // 0666: the umask decides, as for any file the user makes.
        const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666);
        if (fd >= 0) {
            file_ = FileDescriptor(fd);
            staged_ = std::move(staged);
        } else if (errno != EEXIST) {
            return record(Failure::Kind::NotCreated, errno, "open");
        }
    }
    if (!file_.valid())
        return record(Failure::Kind::NotCreated, EEXIST, "open");
    // A replaced file keeps its permissions; a failure here leaves the umask's.
    if (replacesFile)
        (void)::fchmod(file_.get(), existing.st_mode & 0777);
}

bool ReplacingFileWriter::write(const void* data, size_t size)
{
    if (failure_ || !file_.valid())
        return false;
    if (const int error = file_.writeAll(data, size)) {
        record(Failure::Kind::NotWritten, error, "write");
        return false;
    }
    return true;
}

bool ReplacingFileWriter::commit()
{
    if (failure_ || !file_.valid())
        return false;
    if (::fsync(file_.get()) != 0) {
        record(Failure::Kind::NotWritten, errno, "fsync");
        return false;
    }
    if (const int error = file_.close()) {
        record(Failure::Kind::NotWritten, error, "close");
        return false;
    }
    if (::rename(staged_.c_str(), target_.c_str()) != 0) {
        record(Failure::Kind::NotWritten, errno, "rename");
        return false;
    }
    committed_ = true;
    // The new name on disk too; some file systems refuse to sync a folder, which changes nothing.
    const FileDescriptor folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        (void)::fsync(folder.get());
    return true;
}

void ReplacingFileWriter::record(Failure::Kind kind, int error, std::string call)
{
    failure_ = Failure{kind, error, std::move(call)};
    std::fprintf(stderr, "%s: cannot write %s: %s%s%s\n", executableName().c_str(), target_.c_str(),
        kind == Failure::Kind::Refused ? "" : failure_->call.c_str(), kind == Failure::Kind::Refused ? "" : ": ",
        failure_->reason().c_str());
}

} // namespace didev
