#pragma once

#include <sys/types.h>

// What a process holds now, read from /proc; pid 0 is this process. -1 when it cannot be read
// (the process has gone).
int openDescriptorCount(pid_t pid = 0);
int threadCount(pid_t pid = 0);
long long residentBytes(pid_t pid = 0);
