#include "tests/store/fixtures_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

std::string MakeTempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvane-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    if (!mkdtemp(name.data())) return std::string();
    return std::string(name.data());
}

void RemoveTree(const std::string& path) {
    if (path.size() < 8) return;
    std::string command = "chattr -R -i '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
    if (std::system(command.c_str()) != 0) {
    }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool GetRawDigest(const std::string& path, std::string* value) {
    ssize_t size = getxattr(path.c_str(), "user.z", nullptr, 0);
    if (size < 0) return false;
    value->assign(static_cast<size_t>(size), '\0');
    ssize_t got = getxattr(path.c_str(), "user.z", &(*value)[0], value->size());
    if (got < 0) return false;
    value->resize(static_cast<size_t>(got));
    return true;
}

void SetRawDigest(const std::string& path, const std::string& value) {
    setxattr(path.c_str(), "user.z", value.data(), value.size(), 0);
}

struct timespec MTimeOf(const std::string& path) {
    struct stat st;
    std::memset(&st, 0, sizeof st);
    stat(path.c_str(), &st);
    return st.st_mtim;
}

void SetMTime(const std::string& path, struct timespec when) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = when;
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

bool SameTime(struct timespec a, struct timespec b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool SetImmutable(const std::string& path, bool immutable) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return done;
}

static __user_cap_data_struct SavedCapabilities[2];
static bool CapabilitiesSaved;

bool DropFileReadCapabilities() {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    if (syscall(SYS_capget, &header, SavedCapabilities) != 0) return false;
    CapabilitiesSaved = true;
    __user_cap_data_struct reduced[2];
    std::memcpy(reduced, SavedCapabilities, sizeof reduced);
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    return syscall(SYS_capset, &header, reduced) == 0;
}

void RestoreFileCapabilities() {
    if (!CapabilitiesSaved) return;
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    syscall(SYS_capset, &header, SavedCapabilities);
}

std::vector<std::string> EnumerationOrder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (struct dirent* d = readdir(dir)) {
        if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) names.push_back(d->d_name);
    }
    closedir(dir);
    return names;
}
