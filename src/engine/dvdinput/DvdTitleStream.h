// Reading a DVD title named by an "opendvd:" address as MPEG program-stream bytes, through the
// title-stream functions of the DVD plug-in library.
#pragma once

#include "DVDDecApi.h"
#include "dvdinput/DvdAddress.h"
#include "dvdinput/DvdStreamFunctions.h"
#include "io/CustomIO.h"

#include <cstdint>
#include <memory>

namespace tessaro {

// One opened title stream; closes the plug-in's handle when destroyed. Its calls may come from
// any one thread at a time or several: the plug-in serialises them per handle.
class TDvdTitleStream {
public:
    // Opens the title of address; the short form plays the plug-in's last TDVDParam. Throws
    // EngineException when the plug-in is not loaded, no title was chosen, or the title or its
    // chapters cannot be opened (the plug-in's reason).
    static std::unique_ptr<TDvdTitleStream> Open(const TDvdAddress& address);

    TDvdTitleStream(const TDvdTitleStream&) = delete;
    TDvdTitleStream& operator=(const TDvdTitleStream&) = delete;
    ~TDvdTitleStream();

    // The choice played: the address's own or the plug-in's last TDVDParam.
    const TDVDParam& Param() const { return param_; }
    const TDVDStreamInfo& Info() const { return info_; }
    // Bytes read, 0 at the end, -1 when the disc cannot be read.
    int Read(std::uint8_t* buffer, int size);
    // Moves to byte position (0 to Size()); the new position, or -1 when out of range.
    std::int64_t Seek(std::int64_t position);
    std::int64_t Size() const { return info_.Size; }

private:
    TDvdTitleStream(TDVDStream* handle, const TDVDParam& param, const TDVDStreamInfo& info);

    TDVDStream* handle_;
    TDVDParam param_;
    TDVDStreamInfo info_;
};

// The stream as a read-only byte source for MakeCustomIO, so avformat's "mpeg" demuxer can
// read the title: ParseDvdAddress -> TDvdTitleStream::Open -> MakeDvdIOSource ->
// MakeCustomIO(source, false) -> OpenInputWithIO. The source owns the stream.
std::unique_ptr<TIOSource> MakeDvdIOSource(std::unique_ptr<TDvdTitleStream> stream);

} // namespace tessaro
