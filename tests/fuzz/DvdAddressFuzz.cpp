// The "opendvd:" address parser and the title and chapter checks that follow it. An address is
// either refused with a reason or split into a location and an optional title choice that
// writes back into an address reading the same; a choice the checks accept names a title of
// the disc and a chapter range inside that title.
//
// Input: a byte with the disc's title count, a byte with the title's chapter count, then the
// address text.
#include "DVDRanges.h"
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "base/EngineException.h"
#include "dvdinput/DvdAddress.h"

#include <cstring>

namespace tessaro::fuzz {
namespace {

std::string ParamText(const TDVDParam& p) {
    return FormatText("Title=%d FromChapter=%d ToChapter=%d AudioID=%d SubtitleID=%d "
                      "AudioChannels=%d Deinterlace=%d",
                      p.Title, p.FromChapter, p.ToChapter, p.AudioID, p.SubtitleID, p.AudioChannels,
                      p.Deinterlace);
}

bool SameAddress(const TDvdAddress& a, const TDvdAddress& b) {
    if (a.location != b.location || a.param.has_value() != b.param.has_value()) {
        return false;
    }
    return !a.param || std::memcmp(&*a.param, &*b.param, sizeof(TDVDParam)) == 0;
}

// The address written back from its parts reads as the same parts. (A location is a path: it
// cannot hold a zero byte, and one that does is cut there on the way back.)
void CheckWrittenBack(const TDvdAddress& address) {
    if (address.location.find('\0') != std::string::npos) {
        return;
    }
    const std::string written = address.param ? MakeDvdAddress(address.location, *address.param)
                                              : MakeDvdAddress(address.location);
    TDvdAddress reread;
    try {
        reread = ParseDvdAddress(written);
    } catch (const EngineException& e) {
        TESSARO_FUZZ_CHECK(false,
                           "the written address \"" + written + "\" is refused: " + e.what());
    }
    TESSARO_FUZZ_CHECK(SameAddress(address, reread),
                       "the written address \"" + written + "\" reads differently");
}

void CheckRanges(const TDVDParam& param, int titleCount, int chapterCount) {
    try {
        CheckDvdTitleRange(param, titleCount);
        TESSARO_FUZZ_CHECK(param.Title >= 0 && param.Title < titleCount,
                           "title check accepted " + ParamText(param));
    } catch (const EngineException& e) {
        TESSARO_FUZZ_CHECK(std::strlen(e.what()) > 0, "title check refused without a reason");
    }
    TDVDTitleInfo title{};
    title.ChapterCount = chapterCount;
    try {
        CheckDvdChapterRange(param, title);
        const dvddec::TChapterRange range =
            dvddec::ResolveChapterRange(param.FromChapter, param.ToChapter, chapterCount);
        TESSARO_FUZZ_CHECK(1 <= range.first && range.first <= range.last &&
                               range.last <= chapterCount,
                           "chapter check accepted " + ParamText(param) + " of " +
                               std::to_string(chapterCount) + " chapters");
    } catch (const EngineException& e) {
        TESSARO_FUZZ_CHECK(std::strlen(e.what()) > 0, "chapter check refused without a reason");
    }
}

void Run(const std::uint8_t* data, std::size_t size) {
    TFuzzInput input(data, size);
    const int titleCount = input.Byte();
    const int chapterCount = input.Byte();
    const std::string text = input.Rest();
    TDvdAddress address;
    try {
        address = ParseDvdAddress(text);
    } catch (const EngineException& e) {
        TESSARO_FUZZ_CHECK(std::strlen(e.what()) > 0, "an address was refused without a reason");
        return;
    }
    TESSARO_FUZZ_CHECK(IsDvdAddress(text), "\"" + text + "\" was read as a DVD address");
    TESSARO_FUZZ_CHECK(!address.location.empty(), "\"" + text + "\" gave no location");
    CheckWrittenBack(address);
    if (address.param) {
        CheckRanges(*address.param, titleCount, chapterCount);
    }
}

} // namespace
} // namespace tessaro::fuzz

TESSARO_FUZZ_TARGET("dvd_address", nullptr, tessaro::fuzz::Run)
