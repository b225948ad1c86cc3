#include "MediaInput.h"

#include "DvdAddress.h"
#include "DvdTitleStream.h"
#include "UnicodeProtocol.h"

namespace tessaro {

int OpenMediaInput(AVInputFormatContextPtr& context, CustomAVIOContextPtr& io,
                   const std::string& name, const AVInputFormat* format, AVDictionary** options) {
    if (!IsDvdAddress(name)) {
        return OpenInputFile(context, io, LibraryFileName(name), format, options);
    }
    io = MakeCustomIO(MakeDvdIOSource(TDvdTitleStream::Open(ParseDvdAddress(name))), false);
    if (!io) {
        return AVERROR(ENOMEM);
    }
    return OpenInputWithIO(context, io.get(), name.c_str(),
                           format != nullptr ? format : ff::av_find_input_format("mpeg"), options);
}

} // namespace tessaro
