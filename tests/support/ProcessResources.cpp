#include "support/ProcessResources.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

std::string procPath(pid_t pid, const char* entry)
{
    return (pid == 0 ? std::string("/proc/self/") : "/proc/" + std::to_string(pid) + '/') + entry;
}

} // namespace

int openDescriptorCount(pid_t pid)
{
    DIR* folder = ::opendir(procPath(pid, "fd").c_str());
    if (!folder)
        return -1;
    // Reading our own table shows the descriptor the reading holds; it is not counted.
    const std::string own = pid == 0 ? std::to_string(::dirfd(folder)) : std::string();
    int count = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] != '.' && entry->d_name != own)
            ++count;
    }
    ::closedir(folder);
    return count;
}

int threadCount(pid_t pid)
{
    std::ifstream status(procPath(pid, "status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    }
    return -1;
}

long long residentBytes(pid_t pid)
{
    // statm: total size, then resident size, in pages.
    std::ifstream statm(procPath(pid, "statm"));
    long long pages = 0;
    long long resident = -1;
    if (!(statm >> pages >> resident))
        return -1;
    return resident * ::sysconf(_SC_PAGESIZE);
}
