#include "EditorSource.h"

#include "DVDDecApi.h"
#include "dvdinput/DvdAddress.h"
#include "sources/SourceListModel.h"

#include <filesystem>

namespace tessaro {
namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t CodePointCount(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) {
        count += IsContinuationByte(c) ? 0 : 1;
    }
    return count;
}

// The bytes of the first `count` code points.
std::string FirstCodePoints(const std::string& text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size(); ++end) {
        if (!IsContinuationByte(text[end]) && seen++ == count) {
            break;
        }
    }
    return text.substr(0, end);
}

} // namespace

std::string EditorSourceAddress(const TSourceRow& row, const std::string& dvdFolder) {
    if (row.Kind != TRowKind::DvdTitle) {
        return row.Record.SourceName;
    }
    TDVDParam param{};
    param.Title = row.Record.TitleIndex;
    param.FromChapter = 0;
    param.ToChapter = 99;
    param.AudioID = 128;
    param.SubtitleID = 32;
    param.AudioChannels = 2;
    param.Deinterlace = 0;
    return MakeDvdAddress(dvdFolder, param);
}

std::string ShortSourceName(const std::string& name) {
    if (CodePointCount(name) <= ShortSourceNameLimit) {
        return name;
    }
    return FirstCodePoints(name, 44) + ".." + std::filesystem::path(name).extension().string() +
           "  ";
}

} // namespace tessaro
