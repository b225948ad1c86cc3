#include "io/UnicodeProtocol.h"

#include "base/FileHelpers.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {
namespace {

std::atomic<bool> protocolRegistered{false};

// Drops the first two ":"-terminated parts ("unicode:" and the encoding name).
std::string PathOfUnicodeName(const std::string& libraryName) {
    const std::size_t first = libraryName.find(':');
    const std::size_t second = libraryName.find(':', first + 1);
    return second == std::string::npos ? std::string() : libraryName.substr(second + 1);
}

// A file opened by the engine and read or written through a custom I/O context.
class TFileSource final : public TIOSource {
public:
    explicit TFileSource(int fd) : fd_(fd) {}
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;
    ~TFileSource() override { close(fd_); }

    int Read(std::uint8_t* buffer, int size) override {
        ssize_t count;
        do {
            count = read(fd_, buffer, std::size_t(size));
        } while (count < 0 && errno == EINTR);
        if (count < 0) {
            return AVERROR(errno);
        }
        return count == 0 ? AVERROR_EOF : int(count);
    }

    int Write(const std::uint8_t* buffer, int size) override {
        int written = 0;
        while (written < size) {
            const ssize_t count = write(fd_, buffer + written, std::size_t(size - written));
            if (count < 0 && errno != EINTR) {
                return AVERROR(errno);
            }
            written += count > 0 ? int(count) : 0;
        }
        return written;
    }

    std::int64_t Seek(std::int64_t offset, int whence) override {
        const off_t position = lseek(fd_, off_t(offset), whence);
        return position < 0 ? AVERROR(errno) : std::int64_t(position);
    }

    std::int64_t Size() override {
        struct stat info {};
        return fstat(fd_, &info) < 0 ? AVERROR(errno) : std::int64_t(info.st_size);
    }

private:
    int fd_;
};

} // namespace

bool NeedsUnicodeName(const std::string& name) {
    (void)name;
    return false;
}

std::string LibraryFileName(const std::string& name) {
    return NeedsUnicodeName(name) ? UnicodeUtf8Prefix + name : name;
}

bool IsUnicodeLibraryName(const std::string& libraryName) {
    return libraryName.rfind("unicode:", 0) == 0;
}

std::string FromLibraryFileName(const std::string& libraryName) {
    const std::string prefix = UnicodeUtf8Prefix;
    if (libraryName.size() > prefix.size() && libraryName.compare(0, prefix.size(), prefix) == 0) {
        return PathOfUnicodeName(libraryName);
    }
    return libraryName;
}

void RegisterUnicodeProtocol() {
    assert(ff::avio_alloc_context != nullptr && ff::avio_context_free != nullptr);
    protocolRegistered.store(true);
}

bool IsUnicodeProtocolRegistered() {
    return protocolRegistered.load();
}

int OpenLibraryFile(const std::string& libraryName, bool write, CustomAVIOContextPtr& io) {
    const std::string path =
        IsUnicodeLibraryName(libraryName) ? PathOfUnicodeName(libraryName) : libraryName;
    const int flags = write ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
    const int fd = open(path.c_str(), flags, 0666);
    if (fd < 0) {
        return AVERROR(errno);
    }
    auto source = std::make_unique<TFileSource>(fd);
    io = MakeCustomIO(std::move(source), write);
    return io ? 0 : AVERROR(ENOMEM);
}

int OpenInputFile(AVInputFormatContextPtr& context, CustomAVIOContextPtr& io,
                  const std::string& libraryName, const AVInputFormat* format,
                  AVDictionary** options) {
    if (!IsUnicodeLibraryName(libraryName)) {
        AVFormatContext* opened = nullptr;
        const int result = ff::avformat_open_input(&opened, libraryName.c_str(), format, options);
        context.reset(opened);
        return result < 0 ? result : 0;
    }
    if (const int result = OpenLibraryFile(libraryName, false, io); result < 0) {
        return result;
    }
    return OpenInputWithIO(context, io.get(), libraryName.c_str(), format, options);
}

int OpenOutputFile(AVFormatContext* context, CustomAVIOContextPtr& io,
                   const std::string& libraryName) {
    if (!IsUnicodeLibraryName(libraryName)) {
        return std::min(0, ff::avio_open2(&context->pb, libraryName.c_str(), AVIO_FLAG_WRITE,
                                          &context->interrupt_callback, nullptr));
    }
    if (const int result = OpenLibraryFile(libraryName, true, io); result < 0) {
        return result;
    }
    context->pb = io.get();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    return 0;
}

int ReadWholeFile(const std::string& libraryName, std::vector<char>& buffer) {
    std::string content;
    switch (ReadWholeFile(FromLibraryFileName(libraryName), content)) {
    case TFileRead::Ok:
        break;
    case TFileRead::TooLarge:
        return AVERROR(ENOMEM);
    case TFileRead::Missing:
        return -1;
    case TFileRead::Unreadable:
        return AVERROR(EIO);
    }
    buffer.assign(content.begin(), content.end());
    buffer.push_back('\0');
    return 0;
}

} // namespace tessaro
