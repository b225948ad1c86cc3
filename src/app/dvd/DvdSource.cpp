#include "dvd/DvdSource.h"

#include <algorithm>
#include <utility>

namespace tessaro {
namespace {

TMessageRequest Warning(std::string text) {
    return {"Warning", std::move(text), TMessageIcon::Warning, TMessageButtons::Ok};
}

int LineOrFirst(int line, std::size_t count) {
    return line >= 0 && std::size_t(line) < count ? line : 0;
}

} // namespace

TDvdGroupView DvdGroupOf(const TSourceRow& row) {
    const TlvFilesRecord& record = row.Record;
    TDvdGroupView view;
    view.Caption = row.Caption();
    view.AudioLines = DvdAudioLines(record.TitleInfo);
    view.AudioEnabled = !view.AudioLines.empty();
    if (view.AudioEnabled) {
        view.AudioLine = LineOrFirst(record.AudioIndex, view.AudioLines.size());
    }
    view.SubtitleEnabled = true;
    view.SubtitleLines = DvdSubtitleLines(record.TitleInfo);
    view.SubtitleLine = LineOrFirst(record.SubtitleIndex, view.SubtitleLines.size());
    view.From = std::to_string(record.ChapterFrom);
    view.To = std::to_string(record.ChapterTo);
    return view;
}

TChapterChoice StepChapter(TChapterChoice range, int chapterCount, TChapterArrow arrow) {
    const bool from = arrow == TChapterArrow::FromUp || arrow == TChapterArrow::FromDown;
    const bool up = arrow == TChapterArrow::FromUp || arrow == TChapterArrow::ToUp;
    int n = from ? range.From : range.To;
    if (n <= 0) {
        return range;
    }
    if (up && n < chapterCount) {
        ++n;
    } else if (!up && n > 1 && n <= chapterCount) {
        --n;
    }
    if (from) {
        range.From = n;
        range.To = std::max(range.To, n);
    } else {
        range.To = n;
        range.From = std::min(range.From, n);
    }
    return range;
}

TlvFilesRecord NewDvdTitleRecord(const TDvdTitle& title) {
    const TDVDTitleInfo& info = title.Info;
    TlvFilesRecord record;
    record.TitleIndex = title.Index;
    record.DurationSeconds = info.Duration > 0 ? std::int32_t(info.Duration) : 0;
    record.TitleInfo = info;
    if (info.AudioCount > 0) {
        record.AudioID = info.Audio[0].StreamID;
    }
    // "Default", the line after the subtitles: no subtitle is burned into the picture.
    record.SubtitleIndex = std::clamp<std::int32_t>(info.SubtitleCount, 0, DVD_MAX_SUBTITLE);
    record.SubtitleID = 0;
    record.ChapterFrom = 1;
    record.ChapterTo = info.ChapterCount;
    return record;
}

std::string InvalidTitleText(std::int32_t index) {
    return "Title #" + std::to_string(index + 1) + " is invalid";
}

TDvdSource::TDvdSource(TSourceListModel& list, std::string libraryFolder)
    : list_(list), libraryFolder_(std::move(libraryFolder)) {}

bool TDvdSource::Succeeded(const TDvdScan& scan, const THost& host) {
    switch (scan.Status) {
    case TDvdScanStatus::Ok:
        return true;
    case TDvdScanStatus::PlugInMissing:
        break; // the action stops without a message
    case TDvdScanStatus::NoDisc:
        host.Ask(Warning(NoDiscText));
        break;
    case TDvdScanStatus::NoTitles:
        host.Ask({"Message", NoTitlesText, TMessageIcon::Information, TMessageButtons::Ok});
        break;
    case TDvdScanStatus::Encrypted:
        host.Ask(Warning(EncryptedText));
        break;
    }
    return false;
}

void TDvdSource::WarnInvalid(const TDvdTitle& title, const THost& host) {
    host.Ask(Warning(InvalidTitleText(title.Index)));
}

int TDvdSource::Read(const std::string& path, const THost& host) {
    const TDvdScan scan = ScanDvd(libraryFolder_, DvdLocationOf(path));
    if (!Succeeded(scan, host)) {
        return 0;
    }
    if (scan.ValidCount() == 0) {
        for (const TDvdTitle& title : scan.Titles) {
            WarnInvalid(title, host);
        }
        return 0;
    }
    if (!list_.Empty() && host.Ask({"Confirm", ReplaceRowsText, TMessageIcon::Question,
                                    TMessageButtons::YesNo}) != TMessageResult::Yes) {
        return 0;
    }
    host.ClearList();
    folder_ = scan.Location;
    AddRows(scan, host);
    list_.SetCurrent(0);
    return list_.Count();
}

void TDvdSource::AddRows(const TDvdScan& scan, const THost& host) {
    for (std::size_t i = 0; i < scan.Titles.size(); ++i) {
        const TDvdTitle& title = scan.Titles[i];
        if (!title.Valid) {
            WarnInvalid(title, host);
            continue;
        }
        const TTitlePick& pick = scan.Picks[i];
        const int row = list_.AddDvdTitleRow(DvdTitleRowTexts(title.Index, title.Info),
                                             NewDvdTitleRecord(title));
        list_.SetRowHint(row, pick.Reason, pick.Marked);
        if (!pick.Checked) {
            list_.SetChecked(row, false);
        }
    }
}

void TDvdSource::ChooseAudio(int line) {
    const int row = list_.Current();
    if (row < 0) {
        return;
    }
    const TDVDTitleInfo& info = list_.Record(row).TitleInfo;
    if (info.AudioCount < 1 || line < 0 || line >= std::min<int>(info.AudioCount, DVD_MAX_AUDIO)) {
        return;
    }
    list_.EditRecord(row, [&](TlvFilesRecord& record) {
        record.AudioIndex = line;
        record.AudioID = info.Audio[line].StreamID;
    });
}

void TDvdSource::ChooseSubtitle(int line) {
    const int row = list_.Current();
    if (row < 0) {
        return;
    }
    const TDVDTitleInfo& info = list_.Record(row).TitleInfo;
    const int count = std::min<int>(info.SubtitleCount, DVD_MAX_SUBTITLE);
    if (count < 1 || line < 0 || line > count) {
        return;
    }
    list_.EditRecord(row, [&](TlvFilesRecord& record) {
        record.SubtitleIndex = line;
        record.SubtitleID = line == count ? 0 : info.Subtitle[line].StreamID;
    });
}

void TDvdSource::Step(TChapterArrow arrow) {
    const int row = list_.Current();
    if (row < 0) {
        return;
    }
    const TlvFilesRecord& current = list_.Record(row);
    const TChapterChoice next = StepChapter({current.ChapterFrom, current.ChapterTo},
                                            current.TitleInfo.ChapterCount, arrow);
    if (next == TChapterChoice{current.ChapterFrom, current.ChapterTo}) {
        return;
    }
    list_.EditRecord(row, [&](TlvFilesRecord& record) {
        record.ChapterFrom = next.From;
        record.ChapterTo = next.To;
    });
}

TDvdGroupView TDvdSource::Group() const {
    return list_.HasCurrentRow() ? DvdGroupOf(list_.Row(list_.Current())) : TDvdGroupView{};
}

} // namespace tessaro
