#include "formats/FormatCatalogue.h"

#include "base/TextHelpers.h"
#include "core/IniFile.h"
#include "formats/RunChoices.h"
#include "formats/TextRules.h"

namespace tessaro {

const std::vector<TFormatGroup>& FormatGroups() {
    static const std::vector<TFormatGroup> groups = {
        {"Sony PSP",
         {"PSP MPEG-4 Excellent Quality (*.mp4)", "PSP MPEG-4 Normal Quality (*.mp4)",
          "PSP MPEG-4 Mini Size (*.mp4)", "PSP H.264/AVC Video (*.mp4)",
          "PSP Video (480P) (*.mp4)"}},
        {"Sony PS3",
         {"PS3 MPEG-4 Video (480P) (*.mp4)", "PS3 MPEG-4 Video (480P) Excellent (*.mp4)",
          "PS3 MPEG-4 Video (720P) (*.mp4)", "PS3 MPEG-4 Video (1080P) (*.mp4)"}},
        {"General Video formats",
         {"MPEG-1 Video (*.mpg)", "MPEG-2 Video (*.mpg)", "MPEG-4 Video (*.mp4)",
          "H.264/MPEG-4 AVC Video (*.mp4)", "AVI Video (*.avi)", "WMV Video (*.wmv)",
          "Divx Video (*.avi)", "Xvid Video (*.avi)", "DV - NTSC -Digital Video Format (*.dv)",
          "DV - PAL -Digital Video Format (*.dv)"}},
        {"General Audio formats",
         {"MP3 MPEG Layer-3 Audio (*.mp3)", "AAC Advanced Audio Codec (*.aac)",
          "M4A MPEG-4 Audio (*.m4a)", "WMA - Windows Media Audio (*.wma)",
          "WAV - Waveform Audio (*.wav)", "OGG Vorbis Audio Codec (*.ogg)",
          "AC-3 Audio Codec (*.ac3)"}},
    };
    return groups;
}

std::string FormatSectionName(int code) {
    return "formatInfo" + std::to_string(code);
}

std::string FormatDisplayName(int code) {
    if (code < 0) {
        return {};
    }
    const auto& groups = FormatGroups();
    const std::size_t group = static_cast<std::size_t>(code / 100);
    const std::size_t position = static_cast<std::size_t>(code % 100);
    if (group >= groups.size() || position >= groups[group].Formats.size()) {
        return {};
    }
    return groups[group].Formats[position];
}

namespace {

struct TFormerName {
    int Code;
    const char* Name;
};

// Names older versions showed, misspelt, and stored as "settings"/"FormatName".
constexpr TFormerName kFormerNames[] = {
    {301, "AAC Advenced Audio Codec (*.aac)"},
    {303, "WMA - Windows Meida Audio (*.wma)"},
};

} // namespace

int FormatCodeOfName(const std::string& name) {
    const std::string wanted = TrimText(name);
    for (const int code : AllFormatCodes()) {
        if (SameTextNoCase(FormatDisplayName(code), wanted)) {
            return code;
        }
    }
    for (const TFormerName& former : kFormerNames) {
        if (SameTextNoCase(former.Name, wanted)) {
            return former.Code;
        }
    }
    return -1;
}

std::vector<int> AllFormatCodes() {
    std::vector<int> codes;
    const auto& groups = FormatGroups();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (std::size_t p = 0; p < groups[g].Formats.size(); ++p) {
            codes.push_back(FormatCodeOf(static_cast<int>(g), static_cast<int>(p)));
        }
    }
    return codes;
}

void TFormatChooserModel::Fill(const std::array<bool, 4>& collapsed) {
    rows_.clear();
    for (auto& group : names_) {
        group.fill(std::string());
    }
    selected_ = -1;
    const auto& groups = FormatGroups();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        TChooserRow groupRow{groups[g].Name,
                             TItemInfo{false, true, collapsed[g], static_cast<std::int32_t>(g)}};
        rows_.push_back(groupRow);
        for (std::size_t p = 0; p < groups[g].Formats.size(); ++p) {
            names_[g][p] = groups[g].Formats[p];
        }
        if (!collapsed[g]) {
            const auto formatRows = FormatRowsOfGroup(static_cast<int>(g));
            rows_.insert(rows_.end(), formatRows.begin(), formatRows.end());
        }
    }
}

void TFormatChooserModel::Fill(const TIniFile& settings) {
    std::array<bool, 4> collapsed{};
    for (std::size_t g = 0; g < collapsed.size(); ++g) {
        collapsed[g] = settings.ReadBool(kGroupStateSection, std::to_string(g), true);
    }
    Fill(collapsed);
    ShowStoredFormat(settings);
}

void TFormatChooserModel::ShowStoredFormat(const TIniFile& settings) {
    const int code = StoredFormatCode(settings);
    formatBoxText_ = FormatDisplayName(code);
    selected_ = RowOfFormat(code);
}

void TFormatChooserModel::StoreGroupStates(TIniFile& settings) const {
    for (const auto& row : rows_) {
        if (row.Info.IsGroup) {
            settings.WriteBool(kGroupStateSection, std::to_string(row.Info.Code),
                               row.Info.Collapsed);
        }
    }
}

std::vector<TChooserRow> TFormatChooserModel::FormatRowsOfGroup(int group) const {
    std::vector<TChooserRow> result;
    const auto& slots = names_[static_cast<std::size_t>(group)];
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        if (!slots[slot].empty()) {
            result.push_back({slots[slot], TItemInfo{true, false, false,
                                                     FormatCodeOf(group, static_cast<int>(slot))}});
        }
    }
    return result;
}

// The last row that belongs to the group starting at row (the group row itself when
// no format rows follow it).
int TFormatChooserModel::LastRowOfGroup(int row) const {
    int last = row;
    while (last + 1 < static_cast<int>(rows_.size()) &&
           !rows_[static_cast<std::size_t>(last + 1)].Info.IsGroup) {
        ++last;
    }
    return last;
}

void TFormatChooserModel::Expand(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return;
    }
    TItemInfo& info = rows_[static_cast<std::size_t>(row)].Info;
    if (!info.IsGroup || !info.Collapsed) {
        return;
    }
    const auto formatRows = FormatRowsOfGroup(info.Code);
    info.Collapsed = false;
    rows_.insert(rows_.begin() + row + 1, formatRows.begin(), formatRows.end());
    if (selected_ > row) {
        selected_ += static_cast<int>(formatRows.size());
    }
}

void TFormatChooserModel::Collapse(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return;
    }
    TItemInfo& info = rows_[static_cast<std::size_t>(row)].Info;
    if (!info.IsGroup || info.Collapsed) {
        return;
    }
    info.Collapsed = true;
    const int last = LastRowOfGroup(row);
    rows_.erase(rows_.begin() + row + 1, rows_.begin() + last + 1);
    if (selected_ > last) {
        selected_ -= last - row;
    } else if (selected_ > row) {
        selected_ = -1; // the selected format row went away with its group
    }
}

void TFormatChooserModel::ToggleGroup(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return;
    }
    if (rows_[static_cast<std::size_t>(row)].Info.Collapsed) {
        Expand(row);
    } else {
        Collapse(row);
    }
}

int TFormatChooserModel::FilledHeight() const {
    const int count = static_cast<int>(rows_.size());
    return count * kRowHeight < 363 ? (count + 1) * kRowHeight : 362;
}

int TFormatChooserModel::OpenedHeight() const {
    const int height = static_cast<int>(rows_.size()) * kRowHeight + kRowHeight;
    return height < 386 ? height : 386;
}

bool TFormatChooserModel::StoreChosenFormat(int row, TIniFile& settings) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return false;
    }
    const TChooserRow& chosen = rows_[static_cast<std::size_t>(row)];
    if (!chosen.Info.IsFormat) {
        return false;
    }
    settings.WriteString(kSettingsSection, "FormatName", chosen.Text);
    settings.WriteString(kSettingsSection, "FormatCode", std::to_string(chosen.Info.Code));
    return true;
}

int TFormatChooserModel::FindRow(const std::string& name) const {
    return RowOfFormat(FormatCodeOfName(name));
}

int TFormatChooserModel::RowOfFormat(int code) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].Info.IsFormat && rows_[i].Info.Code == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace tessaro
