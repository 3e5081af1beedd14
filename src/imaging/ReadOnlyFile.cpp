#include "imaging/ReadOnlyFile.h"

#include <sys/stat.h>

namespace didev {

bool isReadOnlyFile(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)
        && (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

} // namespace didev
