// The "opendvd:" input address that names a DVD title as a media input.
//
// Two forms:
//   opendvd:<location>
//       the title and chapters of the last TDVDParam handed to the DVD plug-in;
//   opendvd:<location>|Title=1,FromChapter=2,ToChapter=5,AudioID=129,SubtitleID=33,
//                      AudioChannels=2,Deinterlace=0
//       a title of its own (Title counts from 1 in the address).
// The location (device, mount folder, VIDEO_TS parent or ISO image) ends at the LAST "|", so a
// location that itself holds "|" is written with a trailing "|" in the short form.
#pragma once

#include "DVDDecApi.h"

#include <optional>
#include <string>

namespace tessaro {

inline constexpr const char* DvdAddressPrefix = "opendvd:";

struct TDvdAddress {
    std::string location;
    // The address's own title choice, Title as the 0-based index; empty in the short form.
    std::optional<TDVDParam> param;
};

// True when name starts with "opendvd:".
bool IsDvdAddress(const std::string& name);

// "opendvd:" + location + "|Title=...": param.Title is the 0-based index, written counted
// from 1.
std::string MakeDvdAddress(const std::string& location, const TDVDParam& param);
// The short form, which plays the last TDVDParam given to the plug-in.
std::string MakeDvdAddress(const std::string& location);

// Splits and checks the syntax of an address. Throws EngineException naming the fault: not an
// opendvd address, no location, an unknown or repeated field, a value that is not a decimal
// number, a missing Title. Fields other than Title may be left out: FromChapter 0, ToChapter
// 99, AudioID 128, SubtitleID 0, AudioChannels 2 and Deinterlace 0 then apply.
TDvdAddress ParseDvdAddress(const std::string& address);

// Checks a title choice against the disc: throws EngineException when the title is not one of
// titleCount titles or the chapters are not chapters of that title (title describes it).
void CheckDvdTitleRange(const TDVDParam& param, int titleCount);
void CheckDvdChapterRange(const TDVDParam& param, const TDVDTitleInfo& title);

} // namespace tessaro
