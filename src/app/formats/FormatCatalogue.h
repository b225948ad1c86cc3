// The built-in catalogue of output formats and the model behind the format chooser.
//
// A format is known everywhere by its code: group number x 100 + position within the
// group. Everything else about a format (container, extension, value lists) lives in
// the format file; the user's current values live in the settings file. Both files
// name the format's section "formatInfo" + code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

class TIniFile;

struct TFormatGroup {
    const char* Name;
    std::vector<const char*> Formats; // display names in catalogue order
};

// The four groups in order: Sony PSP, Sony PS3, general video, general audio.
const std::vector<TFormatGroup>& FormatGroups();

inline constexpr int FormatCodeOf(int group, int position) {
    return group * 100 + position;
}

// "formatInfo" + the code in decimal.
std::string FormatSectionName(int code);

// The display name of a catalogue code, or empty for a code that names no format.
std::string FormatDisplayName(int code);

// The catalogue code a format name stands for, read as a name stored in the settings file:
// trimmed, without regard to letter case, in the catalogue's spelling or in the spelling an
// older version showed and stored. -1 for a name that names no format.
int FormatCodeOfName(const std::string& name);

// Every catalogue code, in catalogue order.
std::vector<int> AllFormatCodes();

// The name table of the main window: 51 groups x 51 names, empty slots skipped.
inline constexpr int kFormatNameTableSize = 51;
using TFormatNameTable =
    std::array<std::array<std::string, kFormatNameTableSize>, kFormatNameTableSize>;

// The record attached to each row of a format chooser list.
struct TItemInfo {
    bool IsFormat = false;
    bool IsGroup = false;
    bool Collapsed = false;
    std::int32_t Code = 0; // group number on a group row, format code on a format row
};

struct TChooserRow {
    std::string Text;
    TItemInfo Info;
};

// Settings section and key used by the chooser.
inline constexpr const char* kGroupStateSection = "lstformat";
inline constexpr const char* kSettingsSection = "settings";

// The rows of the format chooser without any widget: groups with their format rows
// below them when expanded, the remembered collapse states, the list geometry and the
// selected row. The chooser window draws these rows and forwards clicks here.
class TFormatChooserModel {
public:
    static constexpr int kRowHeight = 20;

    // Rebuilds rows and name table; collapsed[g] is the stored state of group g.
    void Fill(const std::array<bool, 4>& collapsed);
    // Rebuilds from the settings file: collapse states from "lstformat" (default
    // collapsed), then shows the stored format as ShowStoredFormat does.
    void Fill(const TIniFile& settings);
    // The format box text and the selected row for the format the runs convert to: the
    // catalogue's name of "settings"/"FormatCode" (default 1), whatever name is stored beside
    // it; empty, with no row selected, for a code that names no format.
    void ShowStoredFormat(const TIniFile& settings);
    // Writes "lstformat"/<group> := collapsed for every group row.
    void StoreGroupStates(TIniFile& settings) const;

    const std::vector<TChooserRow>& Rows() const { return rows_; }
    const TFormatNameTable& NameTable() const { return names_; }

    // Expanding inserts the group's formats below its row; collapsing removes them.
    // Rows that are not group rows are left alone.
    void Expand(int row);
    void Collapse(int row);
    void ToggleGroup(int row);

    // Height after filling: (rows + 1) x 20 while rows x 20 is below 363, else 362;
    // the list opens upwards from the format box.
    int FilledHeight() const;
    int FilledTop(int formatBoxTop) const { return formatBoxTop - FilledHeight() + 395; }
    // Height when the chooser is opened: rows x 20 + 20, at most 386.
    int OpenedHeight() const;

    // The row of the format FormatCodeOfName reads from name; -1 for no format or while the
    // format's group is collapsed.
    int FindRow(const std::string& name) const;
    void SelectByName(const std::string& name) { selected_ = FindRow(name); }
    int SelectedRow() const { return selected_; }
    void SetSelectedRow(int row) { selected_ = row; }

    // Choosing a format row stores its name and code as "settings"/"FormatName" and
    // "settings"/"FormatCode"; other rows store nothing. Returns whether it stored.
    bool StoreChosenFormat(int row, TIniFile& settings) const;

    // The text the format box shows after filling or ShowStoredFormat.
    const std::string& FormatBoxText() const { return formatBoxText_; }

private:
    std::vector<TChooserRow> FormatRowsOfGroup(int group) const;
    // The row of the format with code, or -1 while its group is collapsed or for no format.
    int RowOfFormat(int code) const;
    int LastRowOfGroup(int row) const;

    std::vector<TChooserRow> rows_;
    TFormatNameTable names_;
    std::string formatBoxText_;
    int selected_ = -1;
};

} // namespace tessaro
