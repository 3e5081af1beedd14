#pragma once

// Names a careless or hostile host may hand to a file writer, made in a test's own folder, and
// what must hold after a write to them: nothing written through a link, nothing left behind,
// a name that may not be replaced still as it was.

#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace didev::testing {

enum class TargetKind {
    Fifo,
    Socket,
    Device,            // a character device node (root only), made by mknod in the test's folder
    Symlink,           // a link to a file of the test's
    DanglingSymlink,
    HardLink,          // a second name of a file of the test's
    OldFile,
    ReadOnlyFile,
    Folder,
    MissingFolder,
    ReadOnlyFolder,    // an old file on a read-only file system (root only)
    FullDisk,          // an old file on a file system with 16 KB free (root only)
};

inline const char* targetName(TargetKind kind)
{
    constexpr const char* kNames[] = {"FIFO", "socket", "device node", "symlink", "dangling symlink", "hard link",
        "old file", "read-only file", "folder", "missing folder", "read-only folder", "full disk"};
    return kNames[static_cast<int>(kind)];
}

inline std::string contentsOf(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::set<std::string> entriesOf(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.insert(entry.path().filename().string());
    return names;
}

// One name to write to, in a folder of its own below `parent`, with what must survive the write.
class FileTarget {
public:
    FileTarget(TargetKind kind, const std::filesystem::path& parent)
        : kind_(kind)
        , folder_(parent / ("target-" + std::to_string(static_cast<int>(kind))))
        , name_(folder_ / "frame")
    {
        namespace fs = std::filesystem;
        fs::create_directories(folder_);
        const bool root = ::geteuid() == 0;
        switch (kind) {
        case TargetKind::Fifo:
            ::mkfifo(name_.c_str(), 0644);
            break;
        case TargetKind::Socket: {
            socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, name_.c_str(), sizeof address.sun_path - 1);
            ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            break;
        }
        case TargetKind::Device:
            // The null device's numbers: harmless even if something did write to it.
            if (!root || ::mknod(name_.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                skip_ = "making a device node needs root";
            break;
        case TargetKind::Symlink:
        case TargetKind::HardLink:
            victim_ = folder_ / "victim";
            std::ofstream(victim_) << "the victim's own bytes";
            if (kind == TargetKind::Symlink)
                fs::create_symlink(victim_, name_);
            else
                fs::create_hard_link(victim_, name_);
            break;
        case TargetKind::DanglingSymlink:
            fs::create_symlink(folder_ / "nowhere", name_);
            break;
        case TargetKind::OldFile:
        case TargetKind::ReadOnlyFile:
            std::ofstream(name_) << "a good old picture";
            if (kind == TargetKind::ReadOnlyFile)
                fs::permissions(name_, fs::perms::owner_read | fs::perms::group_read);
            break;
        case TargetKind::Folder:
            fs::create_directory(name_);
            break;
        case TargetKind::MissingFolder:
            name_ = folder_ / "missing" / "frame";
            break;
        case TargetKind::ReadOnlyFolder:
        case TargetKind::FullDisk:
            if (!root || ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=2m") != 0) {
                skip_ = "mounting a small tmpfs needs root";
                break;
            }
            mounted_ = true;
            std::ofstream(name_) << "a good old picture";
            if (kind == TargetKind::ReadOnlyFolder)
                ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr);
            else
                fillUpBut(16 * 1024);
            break;
        }
        before_ = snapshot();
    }

    ~FileTarget()
    {
        if (socket_ >= 0)
            ::close(socket_);
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }

    FileTarget(const FileTarget&) = delete;
    FileTarget& operator=(const FileTarget&) = delete;

    TargetKind kind() const { return kind_; }
    const std::filesystem::path& name() const { return name_; }
    // Why this kind cannot be made here; empty when it was.
    const std::string& skipReason() const { return skip_; }

    // Whether a write to the name may replace what stands there.
    bool replaceable() const
    {
        return kind_ == TargetKind::Symlink || kind_ == TargetKind::DanglingSymlink || kind_ == TargetKind::HardLink
            || kind_ == TargetKind::OldFile;
    }

    // What the folder must hold after a write. Empty when it does; else what is wrong.
    std::string damage(bool replaced) const
    {
        namespace fs = std::filesystem;
        const State now = snapshot();
        if (now.entries != before_.entries)
            return "the folder's entries changed (a file left behind or a name removed)";
        if (!victim_.empty() && contentsOf(victim_) != "the victim's own bytes")
            return "written through the link";
        if (kind_ == TargetKind::DanglingSymlink && fs::exists(folder_ / "nowhere"))
            return "a file made where the dangling link pointed";
        if (replaced) {
            if (fs::is_symlink(name_) || !fs::is_regular_file(name_) || fs::file_size(name_) == 0)
                return "the name does not hold a new regular file";
            if (!victim_.empty() && fs::equivalent(victim_, name_))
                return "the name still shares the victim's file";
            return {};
        }
        if (now.type != before_.type || now.contents != before_.contents)
            return "what stood at the name changed";
        return {};
    }

private:
    struct State {
        std::set<std::string> entries;
        mode_t type = 0;
        std::string contents;
    };

    State snapshot() const
    {
        State state{entriesOf(folder_), 0, {}};
        struct stat status {};
        if (::lstat(name_.c_str(), &status) == 0) {
            state.type = status.st_mode & S_IFMT;
            if (S_ISREG(status.st_mode))
                state.contents = contentsOf(name_);
        }
        return state;
    }

    void fillUpBut(size_t room)
    {
        struct statvfs space {};
        ::statvfs(folder_.c_str(), &space);
        const size_t free = static_cast<size_t>(space.f_bavail) * space.f_frsize;
        if (free > room)
            std::ofstream(folder_ / "filler", std::ios::binary) << std::string(free - room, 'f');
    }

    TargetKind kind_;
    std::filesystem::path folder_;
    std::filesystem::path name_;
    std::filesystem::path victim_;
    std::string skip_;
    int socket_ = -1;
    bool mounted_ = false;
    State before_;
};

} // namespace didev::testing
