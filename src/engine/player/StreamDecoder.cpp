#include "player/StreamDecoder.h"

#include "player/PacketQueue.h"
#include "runtime/LibraryLoader.h"

namespace tessaro {

TStreamDecoder::~TStreamDecoder() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TStreamDecoder::Take(AVStream* stream, AVCodecContextPtr decoder) {
    stream->discard = AVDISCARD_DEFAULT;
    decoder_ = std::move(decoder);
    stream_ = stream;
}

void TStreamDecoder::StartThread(TPlaybackHost& host, const char* name,
                                 std::function<void()> body) {
    thread_ = std::thread([&host, name, body = std::move(body)] { RunGuarded(host, name, body); });
}

void TStreamDecoder::StopThread(TPacketQueue& packets, const std::function<void()>& wake) {
    packets.Abort();
    wake();
    if (thread_.joinable()) {
        thread_.join();
    }
    packets.Clear();
}

void TStreamDecoder::Release() {
    AVStream* stream = stream_;
    if (stream == nullptr) {
        return;
    }
    stream->discard = AVDISCARD_ALL;
    std::lock_guard lock(CodecLock());
    decoder_.reset();
    stream_ = nullptr;
}

} // namespace tessaro
