#pragma once

// Names a careless or hostile host may hand to a file writer, each made in a folder of its own,
// and what must hold after a write to them: nothing written through a link, nothing left
// behind, a name that may not be replaced still as it was.

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace didev::testing {

enum class TargetKind {
    Fifo,
    Device,           // a character device node (root only), made by mknod in the test's folder
    Symlink,          // a link to a file of the test's
    DanglingSymlink,
    HardLink,         // a second name of a file of the test's
    OldFile,
    ReadOnlyFile,
    Folder,
    MissingFolder,
    ReadOnlyFolder,   // an old file on a read-only file system (root only)
    FullDisk,         // an old file on a file system with 16 KB free (root only)
};

inline const char* targetName(TargetKind kind)
{
    constexpr const char* kNames[] = {"FIFO", "device node", "symlink", "dangling symlink", "hard link", "old file",
        "read-only file", "folder", "missing folder", "read-only folder", "full disk"};
    return kNames[static_cast<int>(kind)];
}

inline std::string contentsOf(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One name to write to, in a folder of its own below `parent`.
class FileTarget {
public:
    FileTarget(TargetKind kind, const std::filesystem::path& parent)
        : folder_(parent / ("target-" + std::to_string(static_cast<int>(kind))))
        , name_(folder_ / "frame")
    {
        namespace fs = std::filesystem;
        fs::create_directories(folder_);
        const bool root = ::geteuid() == 0;
        constexpr const char* kOld = "a good old picture";
        switch (kind) {
        case TargetKind::Fifo:
            ::mkfifo(name_.c_str(), 0644);
            break;
        case TargetKind::Device:
            // The null device's numbers: harmless even if something did write to it.
            if (!root || ::mknod(name_.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                skip_ = "making a device node needs root";
            break;
        case TargetKind::Symlink:
        case TargetKind::HardLink:
            std::ofstream(folder_ / "victim") << kVictim;
            if (kind == TargetKind::Symlink)
                fs::create_symlink(folder_ / "victim", name_);
            else
                fs::create_hard_link(folder_ / "victim", name_);
            break;
        case TargetKind::DanglingSymlink:
            fs::create_symlink(folder_ / "nowhere", name_);
            break;
        case TargetKind::OldFile:
        case TargetKind::ReadOnlyFile:
            std::ofstream(name_) << kOld;
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
            mounted_ = root && ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=2m") == 0;
            if (!mounted_) {
                skip_ = "mounting a small tmpfs needs root";
                break;
            }
            std::ofstream(name_) << kOld;
            if (kind == TargetKind::ReadOnlyFolder)
                ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr);
            else
                fillUpBut(16 * 1024);
            break;
        }
        before_ = state();
    }

    ~FileTarget()
    {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }

    FileTarget(const FileTarget&) = delete;
    FileTarget& operator=(const FileTarget&) = delete;

    const std::filesystem::path& name() const { return name_; }
    // Why this kind cannot be made here; empty when it was.
    const std::string& skipReason() const { return skip_; }

    // What is wrong in the folder after a write that did (or did not) replace the name; empty
    // when nothing is.
    std::string damage(bool replaced) const
    {
        namespace fs = std::filesystem;
        const State now = state();
        if (now.entries != before_.entries)
            return "the folder's entries changed: a file left behind or a name removed";
        if (fs::exists(folder_ / "victim") && contentsOf(folder_ / "victim") != kVictim)
            return "written through the link";
        if (fs::exists(folder_ / "nowhere"))
            return "a file made where the dangling link points";
        if (!replaced)
            return now.type == before_.type && now.contents == before_.contents ? "" : "what stood at the name changed";
        if (now.type != S_IFREG || fs::file_size(name_) == 0)
            return "the name holds no new regular file";
        if (fs::exists(folder_ / "victim") && fs::equivalent(folder_ / "victim", name_))
            return "the name still shares the victim's file";
        return {};
    }

private:
    static constexpr const char* kVictim = "the victim's own bytes";

    struct State {
        std::set<std::string> entries;
        mode_t type = 0;
        std::string contents;
    };

    State state() const
    {
        State now;
        for (const auto& entry : std::filesystem::directory_iterator(folder_))
            now.entries.insert(entry.path().filename().string());
        struct stat status {};
        if (::lstat(name_.c_str(), &status) == 0) {
            now.type = status.st_mode & S_IFMT;
            if (S_ISREG(status.st_mode))
                now.contents = contentsOf(name_);
        }
        return now;
    }

    void fillUpBut(size_t room) const
    {
        struct statvfs space {};
        ::statvfs(folder_.c_str(), &space);
        const size_t free = static_cast<size_t>(space.f_bavail) * space.f_frsize;
        if (free > room)
            std::ofstream(folder_ / "filler", std::ios::binary) << std::string(free - room, 'f');
    }

    std::filesystem::path folder_;
    std::filesystem::path name_;
    std::string skip_;
    bool mounted_ = false;
    State before_;
};

} // namespace didev::testing
