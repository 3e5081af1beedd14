#include "support/ProcessResources.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

std::string procPath(pid_t pid, const char* entry)
{
    return (pid == 0 ? std::string("/proc/self/") : "/proc/" + std::to_string(pid) + "/") + entry;
}

// The number after `key` in /proc/PID/status.
long long statusValue(pid_t pid, const std::string& key)
{
    std::ifstream status(procPath(pid, "status"));
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, key.size(), key) == 0)
            return std::stoll(line.substr(key.size()));
    return -1;
}

} // namespace

int openDescriptorCount(pid_t pid)
{
    DIR* folder = ::opendir(procPath(pid, "fd").c_str());
    if (folder == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(folder))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(folder);
    // The folder being read is one of this process's own.
    return pid == 0 || pid == ::getpid() ? count - 1 : count;
}

int threadCount(pid_t pid)
{
    return static_cast<int>(statusValue(pid, "Threads:"));
}

long long residentBytes(pid_t pid)
{
    const long long kilobytes = statusValue(pid, "VmRSS:");
    return kilobytes < 0 ? -1 : kilobytes * 1024;
}
