// The rules for which titles and chapters a TDVDParam may name. Shared by the plug-in library
// (which opens the range) and the program (which checks addresses first), with their texts.
#pragma once

#include "DVDDecApi.h"

#include <string>

namespace dvddec {

enum class TChapterRangeError {
    None,
    FromOutside, // FromChapter is neither 0 nor a chapter of the title
    ToOutside,   // ToChapter is neither DVD_LAST_CHAPTER nor a chapter of the title
    Reversed,    // FromChapter lies after ToChapter
};

struct TChapterRange {
    int first = 0; // 1-based, inclusive
    int last = 0;
    TChapterRangeError error = TChapterRangeError::None;
};

// FromChapter 0 means the first chapter and ToChapter DVD_LAST_CHAPTER the last one.
inline TChapterRange ResolveChapterRange(int fromChapter, int toChapter, int chapterCount) {
    TChapterRange range;
    range.first = fromChapter == 0 ? 1 : fromChapter;
    range.last = toChapter == DVD_LAST_CHAPTER ? chapterCount : toChapter;
    if (range.first < 1 || range.first > chapterCount) {
        range.error = TChapterRangeError::FromOutside;
    } else if (range.last < 1 || range.last > chapterCount) {
        range.error = TChapterRangeError::ToOutside;
    } else if (range.first > range.last) {
        range.error = TChapterRangeError::Reversed;
    }
    return range;
}

// The reason a 0-based title index is refused; empty when it is one of titleCount titles.
inline std::string TitleRangeErrorText(int title, int titleCount) {
    if (title >= 0 && title < titleCount) {
        return {};
    }
    return "Title " + std::to_string(title + 1) + " is not on the DVD (it has " +
           std::to_string(titleCount < 0 ? 0 : titleCount) + " titles)";
}

// The reason a range was refused, naming the field at fault; empty when the range is valid.
inline std::string ChapterRangeErrorText(const TChapterRange& range, const TDVDParam& param,
                                         int chapterCount) {
    const std::string title = "title " + std::to_string(param.Title + 1) + " (" +
                              std::to_string(chapterCount) + " chapters)";
    switch (range.error) {
    case TChapterRangeError::FromOutside:
        return "FromChapter " + std::to_string(param.FromChapter) + " is not a chapter of " + title;
    case TChapterRangeError::ToOutside:
        return "ToChapter " + std::to_string(param.ToChapter) + " is not a chapter of " + title;
    case TChapterRangeError::Reversed:
        return "FromChapter " + std::to_string(param.FromChapter) + " lies after ToChapter " +
               std::to_string(param.ToChapter);
    case TChapterRangeError::None:
        break;
    }
    return {};
}

} // namespace dvddec
