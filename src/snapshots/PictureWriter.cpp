#include "snapshots/PictureWriter.h"

#include "imaging/JpegLibrary.h"
#include "imaging/cDIBSection.h"
#include "snapshots/PictureFormat.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace didev {

namespace {

namespace fs = std::filesystem;

// A folder only this process can enter, beside the file it stages; removed with what is left in it.
class StagingFolder {
public:
    explicit StagingFolder(const fs::path& besideFile)
    {
        const fs::path parent = besideFile.parent_path().empty() ? fs::path(".") : besideFile.parent_path();
        std::string pattern = (parent / ".didev-writer-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()))
            path_ = name.data();
    }
    ~StagingFolder()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove_all(path_, ignored);
        }
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    bool valid() const { return !path_.empty(); }
    fs::path file() const { return path_ / "picture"; }

private:
    fs::path path_;
};

// Writes the file under a fresh name in a private folder and renames it to `fileName`: whatever
// stands at that name, a file or a link, is replaced and never written through. A regular file
// that grants nobody write access is read-only and kept (false); a replaced file's mode stays.
bool writeReplacing(const QString& fileName, const std::function<bool(const std::string&)>& write)
{
    const fs::path target(QFile::encodeName(fileName).toStdString());
    if (target.empty() || !target.has_filename())
        return false;
    struct stat existing {};
    const bool exists = ::lstat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return false;
    const bool regular = exists && S_ISREG(existing.st_mode);
    if (regular && (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;

    const StagingFolder staging(target);
    if (!staging.valid())
        return false;
    const fs::path staged = staging.file();
    if (!write(staged.string()))
        return false;
    if (regular)
        ::chmod(staged.c_str(), existing.st_mode & 07777);
    return ::rename(staged.c_str(), target.c_str()) == 0;
}

} // namespace

bool PictureWriter::save(const PicturePtr& picture, int32_t code, const QString& fileName) const noexcept
{
    try {
        if (!picture)
            return false;
        cDIBSection section;
        switch (static_cast<PictureFormat>(code)) {
        case PictureFormat::Jpeg:
            section.CreateFromPicture(picture);
            return writeReplacing(fileName,
                [&section](const std::string& name) { return SaveDIBAsJPEG(section, name, kJpegQuality); });
        case PictureFormat::Bitmap:
            section.CreateFromPicture(picture);
            return writeReplacing(fileName, [&section](const std::string& name) { return section.SavePicture(name); });
        }
        return false;
    } catch (...) {
        return false;
    }
}

bool PictureWriter::SaveStdPicture(PictureHandle handle, int32_t code, const QString& fileName) const noexcept
{
    return save(Picture::fromHandle(handle), code, fileName);
}

} // namespace didev
