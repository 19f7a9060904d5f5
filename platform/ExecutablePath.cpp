#include "platform/ExecutablePath.h"

#include <unistd.h>

#include <vector>

CString GetExecutablePath()
{
    std::vector<char> path(256);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0)
            return CString();
        if (std::size_t(length) < path.size())
            return CString(path.data(), int(length));
        path.resize(path.size() * 2);   // the name may have been cut: try again larger
    }
}

CString GetExecutableFolder()
{
    const CString path = GetExecutablePath();
    const int slash = path.ReverseFind('/');
    return slash < 0 ? CString() : path.Left(slash + 1);
}
