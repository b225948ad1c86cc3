// The DVD side of the source list, without widgets: reading a disc into title rows, the DVD
// location the rows are read from, and what the DVD group shows and changes for the selected
// row (audio track, subtitle, chapter range).
#pragma once

#include "DvdTitleBrowser.h"
#include "core/DialogService.h"
#include "sources/SourceListModel.h"

#include <functional>
#include <string>
#include <vector>

namespace tessaro {

// What the DVD group shows.
struct TDvdGroupView {
    std::string Caption;
    bool AudioEnabled = false;
    std::vector<std::string> AudioLines;
    int AudioLine = -1; // the selected line, -1 for none
    bool SubtitleEnabled = false;
    std::vector<std::string> SubtitleLines;
    int SubtitleLine = -1;
    std::string From; // first and last chapter, decimal
    std::string To;

    friend bool operator==(const TDvdGroupView&, const TDvdGroupView&) = default;
};

// The group for a row of either kind: its caption, its title's audio lines (the box is off
// without audio), the subtitle lines with "Default", the row's choices selected, and its
// chapters.
TDvdGroupView DvdGroupOf(const TSourceRow& row);

// The arrows beside the chapter boxes.
enum class TChapterArrow { FromUp, FromDown, ToUp, ToDown };

struct TChapterChoice {
    int From = 0;
    int To = 0;
    friend bool operator==(const TChapterChoice&, const TChapterChoice&) = default;
};

// One step of an arrow on a title of chapterCount chapters. The arrow moves its chapter within
// 1..chapterCount and pulls the other one along so that From never passes To; a chapter of 0
// or less (no title) does not move.
TChapterChoice StepChapter(TChapterChoice range, int chapterCount, TChapterArrow arrow);

// The record of a new title row: title, duration, description, the first audio track, the
// "Default" subtitle (nothing burned in) and every chapter.
TlvFilesRecord NewDvdTitleRecord(const TDvdTitle& title);

// The messages of a failed read; none for a plug-in that cannot be loaded.
inline constexpr const char* NoDiscText = "Can't find a DVD Disk!";
inline constexpr const char* NoTitlesText = "No DVD title(s) found. Maybe not a valid DVD.";
inline constexpr const char* EncryptedText =
    "This DVD is encrypted and cannot be read without libdvdcss. On Debian, install the "
    "package libdvd-pkg.";
inline constexpr const char* ReplaceRowsText =
    "Replace the rows of the list with the titles of this DVD? Their choices, trims, crops and "
    "effects are lost.";
// "Title #" + number counted from 1 + " is invalid".
std::string InvalidTitleText(std::int32_t index);

class TDvdSource {
public:
    // What reading a disc needs from the window: message boxes, and emptying the list as
    // Clear does (the preview stops).
    struct THost {
        std::function<TMessageResult(const TMessageRequest&)> Ask;
        std::function<void()> ClearList;
    };

    // The plug-in is loaded from libraryFolder on first use.
    TDvdSource(TSourceListModel& list, std::string libraryFolder);

    // The DVD the title rows were read from (device, mount or disc folder, or image); empty
    // before the first disc. The preview, the editors and the run read titles from it.
    const std::string& Folder() const { return folder_; }
    void ForgetFolder() { folder_.clear(); }

    // Reads the disc at path (a VIDEO_TS folder stands for its parent) and puts one row per
    // valid title into the list, checked when the title is the main feature or an episode, and
    // selects the first row. A list with rows is replaced only when the user agrees. Nothing
    // in the list changes when the disc cannot be read, has no valid title or the user keeps
    // the rows. Returns the number of rows added.
    int Read(const std::string& path, const THost& host);

    // The choices of the selected row; without a selected row (or a title without audio or
    // subtitles) nothing changes.
    void ChooseAudio(int line);
    void ChooseSubtitle(int line);
    void Step(TChapterArrow arrow);

    // The group for the selected row; disabled and empty without one.
    TDvdGroupView Group() const;

private:
    // Shows the message of a failed scan; false when the scan failed.
    static bool Succeeded(const TDvdScan& scan, const THost& host);
    static void WarnInvalid(const TDvdTitle& title, const THost& host);
    void AddRows(const TDvdScan& scan, const THost& host);

    TSourceListModel& list_;
    std::string libraryFolder_;
    std::string folder_;
};

} // namespace tessaro
