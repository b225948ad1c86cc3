#include "dvdinput/DvdTitleStream.h"

#include "dvdinput/DvdChapterTimes.h"

#include "base/EngineException.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessaro {
namespace {

class TDvdIOSource final : public TIOSource {
public:
    explicit TDvdIOSource(std::unique_ptr<TDvdTitleStream> stream) : stream_(std::move(stream)) {}

    int Read(std::uint8_t* buffer, int size) override {
        const int count = stream_->Read(buffer, size);
        if (count < 0) {
            return AVERROR(EIO);
        }
        if (count == 0) {
            return AVERROR_EOF;
        }
        position_ += count;
        return count;
    }

    int Write(const std::uint8_t*, int) override { return AVERROR(EINVAL); }

    std::int64_t Seek(std::int64_t offset, int whence) override {
        const std::int64_t base = whence == SEEK_CUR   ? position_
                                  : whence == SEEK_END ? stream_->Size()
                                                       : 0;
        const std::int64_t position = stream_->Seek(base + offset);
        if (position < 0) {
            return AVERROR(EINVAL);
        }
        position_ = position;
        return position_;
    }

    std::int64_t Size() override { return stream_->Size(); }

private:
    std::unique_ptr<TDvdTitleStream> stream_;
    std::int64_t position_ = 0;
};

TDvdStreamFunctions& Functions() {
    static TDvdStreamFunctions functions;
    return functions;
}

} // namespace

void SetDvdStreamFunctions(const TDvdStreamFunctions& functions) {
    Functions() = functions;
}

bool DvdStreamFunctionsSet() {
    const TDvdStreamFunctions& f = Functions();
    return f.getParam && f.open && f.read && f.seek && f.size && f.getInfo && f.close;
}

std::unique_ptr<TDvdTitleStream> TDvdTitleStream::Open(const TDvdAddress& address) {
    if (!DvdStreamFunctionsSet()) {
        throw EngineException("DVD plug-in library is not loaded.");
    }
    const TDvdStreamFunctions& f = Functions();
    TDVDParam param{};
    if (address.param) {
        param = *address.param;
    } else if (f.getParam(&param) == 0) {
        throw EngineException(FormatText("No DVD title was chosen for \"%s\"",
                                         MakeDvdAddress(address.location).c_str()));
    }
    char error[512] = {};
    TDVDStream* handle = f.open(address.location.c_str(), &param, error, sizeof error);
    if (handle == nullptr) {
        throw EngineException(error);
    }
    TDVDStreamInfo info{};
    f.getInfo(handle, &info);
    return std::unique_ptr<TDvdTitleStream>(new TDvdTitleStream(handle, param, info));
}

TDvdTitleStream::TDvdTitleStream(TDVDStream* handle, const TDVDParam& param,
                                 const TDVDStreamInfo& info)
    : handle_(handle), param_(param), info_(info) {}

TDvdTitleStream::~TDvdTitleStream() {
    Functions().close(handle_);
}

int TDvdTitleStream::Read(std::uint8_t* buffer, int size) {
    return Functions().read(handle_, buffer, size);
}

std::int64_t TDvdTitleStream::Seek(std::int64_t position) {
    return Functions().seek(handle_, position);
}

std::unique_ptr<TIOSource> MakeDvdIOSource(std::unique_ptr<TDvdTitleStream> stream) {
    return std::make_unique<TDvdIOSource>(std::move(stream));
}

namespace {

std::int64_t ChaptersDuration(const std::string& location, TDVDParam param, int first, int last) {
    param.FromChapter = first;
    param.ToChapter = last;
    const auto stream = TDvdTitleStream::Open(TDvdAddress{location, param});
    return std::llround(stream->Info().Duration * 1e6);
}

} // namespace

TDvdSpanTimes DvdChapterSpanTimes(const std::string& location, TDVDParam param) {
    const int first = std::max(1, int(param.FromChapter));
    TDvdSpanTimes times;
    if (first > 1) {
        times.Start = ChaptersDuration(location, param, 1, first - 1);
    }
    times.Length = ChaptersDuration(location, param, first, param.ToChapter);
    return times;
}

} // namespace tessaro
