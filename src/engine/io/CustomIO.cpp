#include "io/CustomIO.h"

#include <cstdio>

namespace tessaro {
namespace {

constexpr int IOBufferSize = 64 * 1024;

TIOSource& SourceOf(void* opaque) {
    return *static_cast<TIOSource*>(opaque);
}

int ReadPacket(void* opaque, std::uint8_t* buffer, int size) {
    return SourceOf(opaque).Read(buffer, size);
}

int WritePacket(void* opaque, std::uint8_t* buffer, int size) {
    return SourceOf(opaque).Write(buffer, size);
}

std::int64_t SeekPacket(void* opaque, std::int64_t offset, int whence) {
    if ((whence & AVSEEK_SIZE) != 0) {
        return SourceOf(opaque).Size();
    }
    return SourceOf(opaque).Seek(offset, whence & ~AVSEEK_FORCE);
}

} // namespace

void CustomAVIOContextDeleter::operator()(AVIOContext* context) const {
    if (context->write_flag != 0) {
        ff::avio_flush(context);
    }
    const std::unique_ptr<TIOSource> source(static_cast<TIOSource*>(context->opaque));
    // The library may have replaced the buffer; free the one the context holds now.
    ff::av_freep(&context->buffer);
    ff::avio_context_free(&context);
}

CustomAVIOContextPtr MakeCustomIO(std::unique_ptr<TIOSource> source, bool write) {
    AVMemPtr<std::uint8_t> buffer(static_cast<std::uint8_t*>(ff::av_malloc(IOBufferSize)));
    if (!buffer) {
        return nullptr;
    }
    AVIOContext* context = ff::avio_alloc_context(buffer.get(), IOBufferSize, write ? 1 : 0,
                                                  source.get(), write ? nullptr : &ReadPacket,
                                                  write ? &WritePacket : nullptr, &SeekPacket);
    if (context == nullptr) {
        return nullptr;
    }
    // The context owns both from here on; the deleter frees them.
    buffer.release();
    source.release();
    return CustomAVIOContextPtr(context);
}

int OpenInputWithIO(AVInputFormatContextPtr& context, AVIOContext* io, const char* name,
                    const AVInputFormat* format, AVDictionary** options) {
    AVFormatContext* opened = ff::avformat_alloc_context();
    if (opened == nullptr) {
        return AVERROR(ENOMEM);
    }
    opened->pb = io;
    opened->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure avformat_open_input frees the context (not the custom I/O).
    const int result = ff::avformat_open_input(&opened, name, format, options);
    if (result >= 0) {
        context.reset(opened);
    }
    return result < 0 ? result : 0;
}

} // namespace tessaro
