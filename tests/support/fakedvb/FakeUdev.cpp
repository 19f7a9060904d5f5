// The part of libudev that libdvbv5 lists devices with, answered from the device files
// under LUM_FAKE_DVB_ROOT, so that dvbv5-zap finds the emulated adapter; without the
// root, the real library's.
#include "FakeDVBNames.h"

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using namespace fakedvb;

namespace {

// libudev: with the root set, every call is on a fake enumeration of the device files under it.
struct FakeEntry { std::string name; FakeEntry* next; };
using FakeEnumerate = std::vector<FakeEntry>;
struct FakeDevice { std::string syspath, sysname, subsystem, type, devnode; FakeDevice* parent; };
char gUdev; // one udev for all: it holds nothing

const char kSysPrefix[] = "/sys/devices/platform/lumfakedvb/dvb/";

// As libudev: a parent belongs to its child, so one never freed does for all.
FakeDevice* platformDevice()
{
    static FakeDevice* p = new FakeDevice{"/sys/devices/platform/lumfakedvb", "lumfakedvb", "platform", "", "", {}};
    return p;
}

bool faking() { return !rootPath().empty(); }

// The syspaths of ROOT/adapterN/kindM, by adapter, kind and number.
FakeEnumerate scanRoot()
{
    std::string top = rootPath();
    std::vector<std::tuple<int, int, int>> found;
    DIR* t = opendir(top.c_str());
    while (struct dirent* a = t ? readdir(t) : nullptr) {
        DIR* dir = strncmp(a->d_name, "adapter", 7) ? nullptr : opendir((top + "/" + a->d_name).c_str());
        Kind k;
        while (struct dirent* e = dir ? readdir(dir) : nullptr)
            if (parseName((std::string(a->d_name) + "/" + e->d_name).c_str(), k))
                found.emplace_back(atoi(a->d_name + 7), int(k), atoi(e->d_name + strlen(kKindNames[int(k)])));
        if (dir) closedir(dir);
    }
    if (t) closedir(t);
    std::sort(found.begin(), found.end());
    FakeEnumerate entries;
    for (const auto& [adapter, kind, index] : found)
        entries.push_back({kSysPrefix + ("dvb" + std::to_string(adapter) + ".") + kKindNames[kind] +
                               std::to_string(index), nullptr});
    for (size_t i = 0; i + 1 < entries.size(); ++i) entries[i].next = &entries[i + 1];
    return entries;
}

FakeDevice* deviceFromSyspath(const char* syspath)
{
    size_t n = strlen(kSysPrefix);
    unsigned a, m;
    char t[16];
    int used = 0;
    Kind kind;
    const char* sysname = syspath ? syspath + n : nullptr;
    if (!syspath || strncmp(syspath, kSysPrefix, n) != 0 ||
        sscanf(sysname, "dvb%u.%15[a-z]%u%n", &a, t, &m, &used) != 3 || sysname[used])
        return nullptr;
    std::string rel = "adapter" + std::to_string(a) + "/" + t + std::to_string(m);
    if (!parseName(rel.c_str(), kind)) return nullptr;
    return new FakeDevice{syspath, sysname, "dvb", kKindNames[int(kind)], rootPath() + "/" + rel, platformDevice()};
}

}  // namespace

extern "C" {

struct udev; struct udev_enumerate; struct udev_list_entry; struct udev_device; struct udev_monitor;

// A libudev call: without the root, the real library's, if the process has one.
#define UDEV(ret, name, params, args, ...)                                                             \
    ret name params                                                                                    \
    {                                                                                                  \
        if (!faking()) {                                                                               \
            auto real = reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name));                    \
            return real ? real args : static_cast<ret>(0);                                             \
        }                                                                                              \
        __VA_ARGS__                                                                                    \
    }
#define AS(type, ...) reinterpret_cast<type*>(__VA_ARGS__)
#define DEVICE AS(FakeDevice, d)

UDEV(udev*, udev_new, (void), (), { return AS(udev, &gUdev); })
UDEV(udev*, udev_unref, (udev* u), (u), { return nullptr; })
UDEV(udev_enumerate*, udev_enumerate_new, (udev* u), (u), { return AS(udev_enumerate, new FakeEnumerate()); })
// Only libdvbv5 enumerates, and only "dvb".
UDEV(int, udev_enumerate_add_match_subsystem, (udev_enumerate* e, const char* sub), (e, sub), { return 0; })
UDEV(int, udev_enumerate_scan_devices, (udev_enumerate* e), (e), { return *AS(FakeEnumerate, e) = scanRoot(), 0; })
UDEV(udev_list_entry*, udev_enumerate_get_list_entry, (udev_enumerate* e), (e),
     { return AS(FakeEnumerate, e)->empty() ? nullptr : AS(udev_list_entry, AS(FakeEnumerate, e)->data()); })
UDEV(udev_enumerate*, udev_enumerate_unref, (udev_enumerate* e), (e),
     { delete AS(FakeEnumerate, e); return nullptr; })
UDEV(udev_list_entry*, udev_list_entry_get_next, (udev_list_entry* l), (l),
     { return l ? AS(udev_list_entry, AS(FakeEntry, l)->next) : nullptr; })
UDEV(const char*, udev_list_entry_get_name, (udev_list_entry* l), (l),
     { return l ? AS(FakeEntry, l)->name.c_str() : nullptr; })
UDEV(udev_device*, udev_device_new_from_syspath, (udev* u, const char* path), (u, path),
     { return AS(udev_device, deviceFromSyspath(path)); })
UDEV(const char*, udev_device_get_devnode, (udev_device* d), (d),
     { return d && !DEVICE->devnode.empty() ? DEVICE->devnode.c_str() : nullptr; })
UDEV(const char*, udev_device_get_property_value, (udev_device* d, const char* key), (d, key), {
    bool type = d && key && strcmp(key, "DVB_DEVICE_TYPE") == 0 && !DEVICE->type.empty();
    return type ? DEVICE->type.c_str() : nullptr;
})
UDEV(const char*, udev_device_get_sysname, (udev_device* d), (d), { return d ? DEVICE->sysname.c_str() : nullptr; })
UDEV(udev_device*, udev_device_get_parent, (udev_device* d), (d),
     { return d ? AS(udev_device, DEVICE->parent) : nullptr; })
UDEV(const char*, udev_device_get_subsystem, (udev_device* d), (d),
     { return d ? DEVICE->subsystem.c_str() : nullptr; })
UDEV(const char*, udev_device_get_sysattr_value, (udev_device* d, const char* attr), (d, attr), { return nullptr; })
UDEV(const char*, udev_device_get_action, (udev_device* d), (d), { return nullptr; })
UDEV(udev_device*, udev_device_unref, (udev_device* d), (d),
     { if (DEVICE != platformDevice()) delete DEVICE; return nullptr; })
// A fake udev has no netlink socket.
UDEV(udev_monitor*, udev_monitor_new_from_netlink, (udev* u, const char* name), (u, name),
     { return errno = ENOSYS, nullptr; })

}  // extern "C"
