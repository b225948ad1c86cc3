// The description of a title that the program shows: length, picture, streams, chapters.
#pragma once

#include "DVDDecApi.h"
#include "Disc.h"

#include <cstdint>
#include <string>

namespace dvddec {

// Fills info (which the caller has cleared) for the 0-based title index.
bool DescribeTitle(TDisc& disc, int index, TDVDTitleInfo& info, std::string& error);

// The 16 subpicture colours of a program chain, from the disc's Y/Cr/Cb to 0xRRGGBB.
void PaletteToRgb(const pgc_t& pgc, std::uint32_t rgb[16]);

} // namespace dvddec
