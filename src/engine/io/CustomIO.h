// Custom I/O contexts: byte sources and sinks of the engine's own (files opened by a
// "unicode:" name, DVD title streams) handed to avformat as an AVIOContext.
#pragma once

#include "runtime/FFmpegPtr.h"

#include <cstdint>
#include <memory>

namespace tessaro {

// The engine's side of a custom I/O context. Results follow avformat's conventions:
// byte counts, or a negative AVERROR code (AVERROR_EOF at the end of a source).
class TIOSource {
public:
    virtual ~TIOSource() = default;
    virtual int Read(std::uint8_t* buffer, int size) = 0;
    virtual int Write(const std::uint8_t* buffer, int size) = 0;
    // whence is SEEK_SET, SEEK_CUR or SEEK_END; returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, int whence) = 0;
    // The total size in bytes, or a negative AVERROR code when unknown.
    virtual std::int64_t Size() = 0;
};

// Frees a custom I/O context made by MakeCustomIO: flushes pending output, then frees
// the buffer, the context and its source.
struct CustomAVIOContextDeleter {
    void operator()(AVIOContext* context) const;
};
using CustomAVIOContextPtr = std::unique_ptr<AVIOContext, CustomAVIOContextDeleter>;

// Wraps source in an AVIOContext (seekable) for reading, or for writing when write.
// Returns null when the library cannot allocate it.
CustomAVIOContextPtr MakeCustomIO(std::unique_ptr<TIOSource> source, bool write);

// Opens an input through a custom I/O context. io must outlive context: declare the
// CustomAVIOContextPtr before the AVInputFormatContextPtr that uses it. The name is
// used for format detection and kept as the context's url. Returns 0 or an AVERROR code.
int OpenInputWithIO(AVInputFormatContextPtr& context, AVIOContext* io, const char* name,
                    const AVInputFormat* format, AVDictionary** options);

} // namespace tessaro
