// The exported C functions of libdvddec.so. Nothing else of the library is visible.
#include "DVDDecApi.h"
#include "Disc.h"
#include "Scrambling.h"
#include "TitleInfo.h"
#include "TitleStream.h"

#include <dvdread/version.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace {

// The disc of the last DVDEnumTitle and the last DVDSetParam, shared by all callers.
struct TSession {
    std::mutex lock;
    std::unique_ptr<dvddec::TDisc> disc;
    std::optional<TDVDParam> param;
};

TSession& Session() {
    static TSession session;
    return session;
}

void WriteError(const std::string& text, char* errorText, int32_t errorSize) {
    if (errorText == nullptr || errorSize <= 0) {
        return;
    }
    const std::size_t length = std::min(text.size(), std::size_t(errorSize - 1));
    std::memcpy(errorText, text.data(), length);
    errorText[length] = 0;
}

} // namespace

extern "C" {

int32_t DVDInitialize(void) {
    return 1;
}

int32_t DVDEnumTitle(const char* Path) {
    TSession& session = Session();
    std::lock_guard guard(session.lock);
    session.disc.reset();
    if (Path == nullptr || *Path == 0) {
        return -1;
    }
    std::string error;
    session.disc = dvddec::TDisc::Open(Path, error);
    return session.disc ? session.disc->TitleCount() : -1;
}

int32_t DVDGetTitle(int32_t Index, TDVDTitleInfo* Info) {
    TSession& session = Session();
    std::lock_guard guard(session.lock);
    if (Info == nullptr || !session.disc) {
        return 0;
    }
    // Filled in a local record so a failure half-way leaves the caller's record untouched.
    TDVDTitleInfo title{};
    std::string error;
    if (!dvddec::DescribeTitle(*session.disc, Index, title, error)) {
        return 0;
    }
    *Info = title;
    return 1;
}

int32_t DVDSetParam(const TDVDParam* Param) {
    if (Param == nullptr) {
        return 0;
    }
    TSession& session = Session();
    std::lock_guard guard(session.lock);
    session.param = *Param;
    return 1;
}

int32_t DVDGetLibVersion(void) {
    return DVDREAD_VERSION;
}

int32_t DVDGetTitleCells(int32_t Index, TDVDCellExtent* Cells, int32_t MaxCount) {
    TSession& session = Session();
    std::lock_guard guard(session.lock);
    dvddec::TTitleLayout layout;
    std::string error;
    if (!session.disc || !session.disc->TitleLayout(Index, layout, error)) {
        return -1;
    }
    const auto cells = dvddec::PlayedCells(layout, 1, int(layout.chapters.size()));
    for (std::size_t i = 0; Cells != nullptr && i < cells.size() && int32_t(i) < MaxCount; ++i) {
        Cells[i] = {layout.titleSet, cells[i]->first_sector, cells[i]->last_sector};
    }
    return int32_t(cells.size());
}

int32_t DVDDiscEncrypted(void) {
    TSession& session = Session();
    std::lock_guard guard(session.lock);
    return session.disc && dvddec::DiscEncrypted(*session.disc) ? 1 : 0;
}

int32_t DVDGetParam(TDVDParam* Param) {
    TSession& session = Session();
    std::lock_guard guard(session.lock);
    if (Param == nullptr || !session.param) {
        return 0;
    }
    *Param = *session.param;
    return 1;
}

TDVDStream* DVDStreamOpen(const char* Path, const TDVDParam* Param, char* ErrorText,
                          int32_t ErrorSize) {
    if (Path == nullptr || Param == nullptr) {
        WriteError("No DVD location or title given", ErrorText, ErrorSize);
        return nullptr;
    }
    std::string error;
    std::unique_ptr<TDVDStream> stream = TDVDStream::Open(Path, *Param, error);
    if (!stream) {
        WriteError(error, ErrorText, ErrorSize);
        return nullptr;
    }
    return stream.release();
}

int32_t DVDStreamRead(TDVDStream* Stream, uint8_t* Buffer, int32_t Size) {
    if (Stream == nullptr || Buffer == nullptr || Size < 0) {
        return -1;
    }
    return Stream->Read(Buffer, Size);
}

int64_t DVDStreamSeek(TDVDStream* Stream, int64_t Position) {
    return Stream == nullptr ? -1 : Stream->Seek(Position);
}

int64_t DVDStreamSize(TDVDStream* Stream) {
    return Stream == nullptr ? -1 : Stream->Size();
}

int32_t DVDStreamGetInfo(TDVDStream* Stream, TDVDStreamInfo* Info) {
    if (Stream == nullptr || Info == nullptr) {
        return 0;
    }
    *Info = Stream->Info();
    return 1;
}

void DVDStreamClose(TDVDStream* Stream) {
    std::unique_ptr<TDVDStream> owned(Stream);
}

} // extern "C"
