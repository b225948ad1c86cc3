// Whether a disc's titles can be read here: sectors of a CSS-protected disc stay scrambled
// unless a descrambler library is installed, and decoding them gives garbage.
#pragma once

#include "Disc.h"

#include <cstdint>
#include <string>

namespace dvddec {

// True when a pack of the title VOBs (one sector of DVD_VIDEO_LB_LEN bytes) carries a video, audio
// or private-stream packet whose PES scrambling control bits are set. Packs that are no MPEG
// program-stream packs, and navigation packs, are never scrambled.
bool SectorScrambled(const std::uint8_t* sector);

// True when the CSS descrambler library that libdvdread uses can be loaded.
bool CssLibraryAvailable();

// True when path is an optical drive whose disc reports CSS copy protection.
bool DeviceReportsCss(const std::string& path);

// True when the disc's titles cannot be read here because they are scrambled: the first
// sectors of a title are still scrambled after reading, or the drive reports CSS and no
// descrambler is installed.
bool DiscEncrypted(TDisc& disc);

} // namespace dvddec
