// The part of libudev that libdvbv5 lists devices with, answered from the device files
// under LUM_FAKE_DVB_ROOT, so that dvbv5-zap finds the emulated adapter. Only dvbv5-zap
// enumerates: the plug-in names its devices itself.
#include "FakeDVBNames.h"

#include <dirent.h>

#include <string>
#include <vector>

using namespace fakedvb;

namespace {

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

// The syspaths of ROOT/adapterN/kindM: "dvbN.kindM" under the platform device.
FakeEnumerate scanRoot()
{
    std::string top = rootPath();
    FakeEnumerate entries;
    DIR* t = opendir(top.c_str());
    while (struct dirent* a = t ? readdir(t) : nullptr) {
        DIR* dir = strncmp(a->d_name, "adapter", 7) ? nullptr : opendir((top + "/" + a->d_name).c_str());
        Kind k;
        while (struct dirent* e = dir ? readdir(dir) : nullptr)
            if (parseName((std::string(a->d_name) + "/" + e->d_name).c_str(), k))
                entries.push_back({kSysPrefix + ("dvb" + std::string(a->d_name + 7)) + "." + e->d_name, nullptr});
        if (dir) closedir(dir);
    }
    if (t) closedir(t);
    for (size_t i = 0; i + 1 < entries.size(); ++i) entries[i].next = &entries[i + 1];
    return entries;
}

FakeDevice* deviceFromSyspath(const char* syspath)
{
    size_t n = strlen(kSysPrefix);
    if (!syspath || strncmp(syspath, kSysPrefix, n) != 0 || strncmp(syspath + n, "dvb", 3) != 0) return nullptr;
    std::string rel = "adapter" + std::string(syspath + n + 3);   // dvbN.kindM: adapterN/kindM
    size_t dot = rel.find('.');
    Kind kind;
    if (dot == std::string::npos || !parseName(rel.replace(dot, 1, "/").c_str(), kind)) return nullptr;
    return new FakeDevice{syspath, syspath + n, "dvb", kKindNames[int(kind)], rootPath() + "/" + rel, platformDevice()};
}

}  // namespace

extern "C" {

struct udev; struct udev_enumerate; struct udev_list_entry; struct udev_device;
#define AS(type, ...) reinterpret_cast<type*>(__VA_ARGS__)
#define DEVICE AS(FakeDevice, d)

udev* udev_new() { return AS(udev, &gUdev); }
udev* udev_unref(udev*) { return nullptr; }
udev_enumerate* udev_enumerate_new(udev*) { return AS(udev_enumerate, new FakeEnumerate()); }
int udev_enumerate_add_match_subsystem(udev_enumerate*, const char*) { return 0; }   // only "dvb" is asked for
int udev_enumerate_scan_devices(udev_enumerate* e) { return *AS(FakeEnumerate, e) = scanRoot(), 0; }
udev_list_entry* udev_enumerate_get_list_entry(udev_enumerate* e)
{
    return AS(FakeEnumerate, e)->empty() ? nullptr : AS(udev_list_entry, AS(FakeEnumerate, e)->data());
}
udev_enumerate* udev_enumerate_unref(udev_enumerate* e) { return delete AS(FakeEnumerate, e), nullptr; }
udev_list_entry* udev_list_entry_get_next(udev_list_entry* l) { return l ? AS(udev_list_entry, AS(FakeEntry, l)->next) : nullptr; }
const char* udev_list_entry_get_name(udev_list_entry* l) { return l ? AS(FakeEntry, l)->name.c_str() : nullptr; }
udev_device* udev_device_new_from_syspath(udev*, const char* path) { return AS(udev_device, deviceFromSyspath(path)); }
const char* udev_device_get_devnode(udev_device* d) { return d && !DEVICE->devnode.empty() ? DEVICE->devnode.c_str() : nullptr; }
const char* udev_device_get_property_value(udev_device* d, const char* key)
{
    bool type = d && key && strcmp(key, "DVB_DEVICE_TYPE") == 0 && !DEVICE->type.empty();
    return type ? DEVICE->type.c_str() : nullptr;
}
const char* udev_device_get_sysname(udev_device* d) { return d ? DEVICE->sysname.c_str() : nullptr; }
udev_device* udev_device_get_parent(udev_device* d) { return d ? AS(udev_device, DEVICE->parent) : nullptr; }
const char* udev_device_get_subsystem(udev_device* d) { return d ? DEVICE->subsystem.c_str() : nullptr; }
udev_device* udev_device_unref(udev_device* d)
{
    if (DEVICE != platformDevice()) delete DEVICE;
    return nullptr;
}

}  // extern "C"
