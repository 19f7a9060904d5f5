#include "COutputPath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

bool COutputPath::IsBeingRead() const
{
    struct stat target{};
    if (IsStandardOutput() || ::stat(m_path.c_str(), &target) != 0)
        return false;   // a file that is not there yet is read by nobody
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr)
        return false;
    bool read = false;
    while (const dirent* entry = ::readdir(folder)) {
        const int descriptor = std::atoi(entry->d_name);
        if (entry->d_name[0] == '.' || descriptor == ::dirfd(folder))
            continue;
        const int flags = ::fcntl(descriptor, F_GETFL);
        struct stat open{};
        // a descriptor only written (standard output sent to this very file) reads nothing
        if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY || ::fstat(descriptor, &open) != 0)
            continue;
        if (open.st_dev == target.st_dev && open.st_ino == target.st_ino) {
            read = true;
            break;
        }
    }
    ::closedir(folder);
    return read;
}

bool COutputPath::IsNew() const
{
    struct stat info{};
    return !IsStandardOutput() && ::lstat(m_path.c_str(), &info) != 0;
}

std::ostream& COutputPath::Report() const
{
    return IsStandardOutput() ? std::cerr : std::cout;
}
