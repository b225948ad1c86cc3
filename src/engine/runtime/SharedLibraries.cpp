#include "runtime/SharedLibraries.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaro {
namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string LastDlError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

// A read-only file descriptor that closes itself.
class TReadOnlyFile {
public:
    explicit TReadOnlyFile(const std::string& path)
        : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;
    ~TReadOnlyFile() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    bool IsOpen() const { return fd_ >= 0; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
        return pread(fd_, buffer, size, off_t(offset)) == ssize_t(size);
    }

private:
    int fd_;
};

// dlopen handles that are released together; a library loaded while they are held
// keeps its own references to them.
class THandleList {
public:
    THandleList() = default;
    THandleList(const THandleList&) = delete;
    THandleList& operator=(const THandleList&) = delete;
    ~THandleList() {
        for (void* handle : handles_) {
            dlclose(handle);
        }
    }
    void Add(void* handle) { handles_.push_back(handle); }

private:
    std::vector<void*> handles_;
};

// Loads the libraries of dir that path depends on (recursively, dependencies first), so
// that the dynamic loader binds path to them by their soname instead of searching the
// system for them: the folder's libraries are always used as one consistent set.
void PreloadDependenciesFromDir(const std::string& dir, const std::string& path,
                                std::set<std::string>& visited, THandleList& handles) {
    for (const std::string& name : NeededLibraries(path)) {
        const std::string candidate = dir + name;
        if (!visited.insert(name).second || !IsRegularFile(candidate)) {
            continue;
        }
        PreloadDependenciesFromDir(dir, candidate, visited, handles);
        if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            handles.Add(handle);
        }
    }
}

} // namespace

std::vector<std::string> NeededLibraries(const std::string& path) {
    const TReadOnlyFile file(path);
    Elf64_Ehdr header{};
    if (!file.IsOpen() || !file.ReadAt(0, &header, sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
        return {};
    }
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    if (!file.ReadAt(header.e_phoff, segments.data(), segments.size() * sizeof(Elf64_Phdr))) {
        return {};
    }
    const Elf64_Phdr* dynamicSegment = nullptr;
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_type == PT_DYNAMIC) {
            dynamicSegment = &segment;
        }
    }
    if (dynamicSegment == nullptr) {
        return {};
    }
    std::vector<Elf64_Dyn> entries(dynamicSegment->p_filesz / sizeof(Elf64_Dyn));
    if (!file.ReadAt(dynamicSegment->p_offset, entries.data(),
                     entries.size() * sizeof(Elf64_Dyn))) {
        return {};
    }
    std::uint64_t stringTableAddress = 0;
    std::uint64_t stringTableSize = 0;
    for (const Elf64_Dyn& entry : entries) {
        if (entry.d_tag == DT_STRTAB) {
            stringTableAddress = entry.d_un.d_ptr;
        } else if (entry.d_tag == DT_STRSZ) {
            stringTableSize = entry.d_un.d_val;
        }
    }
    // The string table is addressed in memory; find the loaded segment holding it.
    std::uint64_t stringTableOffset = 0;
    bool found = false;
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_type == PT_LOAD && stringTableAddress >= segment.p_vaddr &&
            stringTableAddress + stringTableSize <= segment.p_vaddr + segment.p_filesz) {
            stringTableOffset = stringTableAddress - segment.p_vaddr + segment.p_offset;
            found = true;
        }
    }
    std::vector<char> strings(stringTableSize + 1, '\0');
    if (!found || !file.ReadAt(stringTableOffset, strings.data(), stringTableSize)) {
        return {};
    }
    std::vector<std::string> needed;
    for (const Elf64_Dyn& entry : entries) {
        if (entry.d_tag == DT_NEEDED && entry.d_un.d_val < stringTableSize) {
            needed.emplace_back(strings.data() + entry.d_un.d_val);
        }
    }
    return needed;
}

void* LoadLibraryFromDir(const std::string& dir, const std::string& fileName, std::string& error) {
    const std::string fullPath = dir + fileName;
    const bool fromDir = !dir.empty() && IsRegularFile(fullPath);
    THandleList dependencies;
    if (fromDir) {
        std::set<std::string> visited{fileName};
        PreloadDependenciesFromDir(dir, fullPath, visited, dependencies);
    }
    void* handle = dlopen(fromDir ? fullPath.c_str() : fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        error = LastDlError();
    }
    return handle;
}

} // namespace tessaro
