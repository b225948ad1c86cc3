// The program's binding to the DVD plug-in library libdvddec.so: loading it on first use,
// and the calls that describe a disc and choose the title that "opendvd:" plays.
#pragma once

#include "DVDDecApi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// The plug-in's file name inside the folder given to LoadDVDPlugIn.
inline constexpr const char* DVDPlugInFileName = "libdvddec.so";

// Loads and binds the library from folder (the executable's folder + "LibAV"); true also when
// it is already loaded. Any failure (no library, start-up refused, a function missing) leaves
// the binding unloaded and returns false, so a later call tries again. Once loaded, the
// library stays for the rest of the process and its title-stream functions are handed to the
// engine (SetDvdStreamFunctions).
bool LoadDVDPlugIn(const std::string& folder);
bool IsDVDPlugInLoaded();

// The calls below throw EngineException "DVD plug-in library is not loaded." before a
// successful load.
// The number of titles of the disc at path; below 1 when there are none or it is no DVD.
std::int32_t DVDEnumTitle(const std::string& path);
// Clears info, then lets the plug-in fill it for the 0-based title index of the last
// enumerated disc; false when the plug-in cannot describe that title.
bool DVDGetTitle(std::int32_t index, TDVDTitleInfo& info);
// The cells the 0-based title of the last enumerated disc plays, in playback order; empty
// when the plug-in cannot describe the title.
std::vector<TDVDCellExtent> DVDGetTitleCells(std::int32_t index);
// True when the titles of the last enumerated disc are scrambled and cannot be read here.
bool DVDDiscEncrypted();
// Hands the plug-in a copy of param: the choice that "opendvd:" + folder plays.
void DVDSetParam(const TDVDParam& param);

// The name of a TDVDTitleInfo.VideoFormat code; "Unknown" for codes outside the table.
std::string DVDFormatName(std::int32_t code);

} // namespace tessaro
