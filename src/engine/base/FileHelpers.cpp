#include "base/FileHelpers.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace tessaro {
namespace {

// A file descriptor that closes itself.
class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    ~TFileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

// Appends everything left in fd to content; false on a read error.
bool ReadToEnd(int fd, std::string& content) {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.append(buffer, std::size_t(n));
    }
}

} // namespace

TFileRead ReadWholeFile(const std::string& path, std::string& content) {
    const TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        return errno == ENOENT || errno == ENOTDIR ? TFileRead::Missing : TFileRead::Unreadable;
    }
    std::string result;
    try {
        if (!ReadToEnd(file.Get(), result)) {
            return TFileRead::Unreadable;
        }
    } catch (const std::bad_alloc&) {
        return TFileRead::TooLarge;
    } catch (const std::length_error&) {
        return TFileRead::TooLarge;
    }
    content = std::move(result);
    return TFileRead::Ok;
}

std::string ProgramFolder() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return "./";
        }
        if (std::size_t(n) < buffer.size()) {
            const std::string path(buffer.data(), std::size_t(n));
            return path.substr(0, path.rfind('/') + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace tessaro
