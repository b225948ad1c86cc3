// Which titles of a disc a user most likely wants to convert: the main feature, or every
// episode on a disc of episodes. Menus, extras, repeats of the same cells and "play all"
// titles start unchecked, so they are not converted by accident.
#pragma once

#include "DVDDecApi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// What the choice looks at for one title.
struct TTitleShape {
    std::int32_t Index = 0; // 0-based title number
    double Seconds = 0;
    std::int32_t Chapters = 0;
    std::vector<TDVDCellExtent> Cells; // the sectors the title plays
};

struct TTitlePick {
    bool Checked = false; // convert it by default
    bool Marked = false;  // the main feature or an episode: shown in bold
    std::string Reason;   // why, in a sentence for the row's tooltip
};

// One pick per title, in the order given.
//
// A title shorter than a minute is a menu or a short extra. Two titles that play mostly
// (90 %) the same sectors are one: the one with more chapters (then the longer, then the
// first) stays, the other repeats it. A title that plays two or more other titles' sectors
// ("play all") is a compilation of them; when those parts each last at least 10 minutes they
// are episodes and are picked, otherwise the compilation is. A title whose sectors lie inside
// a longer one is part of it. Of the remaining titles, two or more of similar length (each at
// least three quarters of the longest, 10 to 75 minutes long) are episodes; otherwise the
// longest one (more chapters first on a tie) is the main feature.
std::vector<TTitlePick> PickTitles(const std::vector<TTitleShape>& titles);

} // namespace tessaro
