// What the per-file editors preview and how they name it: each editor plays the row's own
// source (a file row its file, a DVD title row its title of the DVD location), and the trim
// and crop editors show the row's name shortened to fit their label.
#pragma once

#include <string>

namespace tessaro {

struct TSourceRow;

// Where an editor window finds its player's libraries and the DVD its DVD title rows play.
struct TEditorSetup {
    std::string LibraryFolder;
    std::string DvdFolder;
};

// The address an editor's player opens for the row: the file of a file row; for a DVD title
// row its title of dvdFolder with all chapters, the first audio and subtitle streams, two
// audio channels and no deinterlacing.
std::string EditorSourceAddress(const TSourceRow& row, const std::string& dvdFolder);

// Names of at most this many characters are shown whole.
inline constexpr int ShortSourceNameLimit = 50;
// The width of the name label when the name is shortened.
inline constexpr int ShortSourceNameLabelWidth = 290;

// The name whole when it has at most 50 characters (UTF-8 code points); otherwise its first
// 44 characters, "..", its extension (with the dot) and two blanks.
std::string ShortSourceName(const std::string& name);

} // namespace tessaro
