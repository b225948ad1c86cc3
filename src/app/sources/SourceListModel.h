// The source list without any widget: its rows in order, each with a stable identity, a kind,
// a check state, the texts of its columns and its record; the current (selected) row; the
// list's operations (add, remove, clear, the check operations) and the destination names of
// file rows. Widgets and other parts follow it through TSourceListObserver.
#pragma once

#include "sources/SourceRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// Identifies a row for as long as it is in the list; never reused by a later row.
using TRowId = std::uint64_t;

struct TListColumn {
    const char* Caption;
    int Width; // pixels
};

// Columns of each row kind, in order. Column 0 is the row caption.
const std::vector<TListColumn>& ColumnsOf(TRowKind kind);

enum TFileColumn { fcSource, fcLength, fcTrimmedLength, fcDestination, fcFileProgress };
enum TDvdColumn { dcSource, dcDuration, dcTrimLength, dcFrameSize, dcVideoFormat, dcDvdProgress };

// The last column of each kind, where a run writes its percentage.
int ProgressColumn(TRowKind kind);

struct TSourceRow {
    TRowId Id = 0;
    TRowKind Kind = TRowKind::File;
    bool Checked = true;
    std::vector<std::string> Cells; // one text per column of the kind
    std::string ProgressTip;        // why the last conversion of the row failed (tooltip)
    std::string Hint;               // why the row is as it is (the caption's tooltip)
    bool Bold = false;              // the caption stands out (a DVD's main feature)
    TlvFilesRecord Record;

    const std::string& Caption() const { return Cells.front(); }
};

// A file chosen for the list, already probed.
struct TNewFileRow {
    std::string Path;
    std::int32_t Position = 0;        // position in the open dialog's selection
    std::int32_t DurationSeconds = 0; // whole seconds
    std::string ZoomMode;
};

// Where the next run writes its files: the output folder and the text appended to a source's
// base name after "_(new)" ("." + the format's file extension).
struct TDestinationRule {
    std::string Folder;
    std::string ExtensionText;

    friend bool operator==(const TDestinationRule&, const TDestinationRule&) = default;
};

// Notifications of a changed list, sent after the change. Indexes are positions at the time
// of the call.
class TSourceListObserver {
public:
    virtual ~TSourceListObserver() = default;
    // The list switched to rows of another kind, so its columns change. Sent while the list
    // is empty, before the first row of the new kind is inserted.
    virtual void KindChanged(TRowKind kind) { (void)kind; }
    virtual void RowsInserted(int first, int count) { (void)first, (void)count; }
    virtual void RowsRemoved(int first, int count) { (void)first, (void)count; }
    // Texts, check states or records of rows first..last changed.
    virtual void RowsChanged(int first, int last) { (void)first, (void)last; }
    // Another row (or none, -1) became the current row.
    virtual void CurrentRowChanged(int index) { (void)index; }
};

class TSourceListModel {
public:
    TSourceListModel() = default;
    TSourceListModel(const TSourceListModel&) = delete;
    TSourceListModel& operator=(const TSourceListModel&) = delete;

    // Observers are not owned and must be removed before they go.
    void AddObserver(TSourceListObserver* observer);
    void RemoveObserver(TSourceListObserver* observer);

    int Count() const { return static_cast<int>(rows_.size()); }
    bool Empty() const { return rows_.empty(); }
    // The kind of the rows, which decides the columns; an emptied list keeps its last kind.
    TRowKind Kind() const { return kind_; }
    const TSourceRow& Row(int index) const;
    const TlvFilesRecord& Record(int index) const { return Row(index).Record; }
    // The position of the row with that identity, or -1 once it has left the list.
    int IndexOf(TRowId id) const;
    // True when a row with that caption (exact, letter case counted) is in the list.
    bool ContainsCaption(const std::string& caption) const;

    // The selected row, or -1.
    int Current() const { return current_; }
    bool HasCurrentRow() const { return current_ >= 0; }
    // Index -1 (or one outside the list) selects nothing.
    void SetCurrent(int index);

    // Appends a checked file row for each file whose path is not a caption in the list yet
    // (the same path twice in one call gives one row) and selects the first row. A list
    // holding DVD titles holds one kind only: once a file row is added, the titles are
    // removed first. Returns the number of rows added.
    int AddFileRows(const std::vector<TNewFileRow>& files);
    // Appends a checked DVD title row with the given column texts (those of ColumnsOf
    // (TRowKind::DvdTitle); missing ones are empty). File rows in the list are removed first.
    // Returns the new row's position.
    int AddDvdTitleRow(std::vector<std::string> cells, TlvFilesRecord record);

    // Removes the row; when it was the current row, the row now at its position (or the new
    // last row) becomes current.
    void RemoveRow(int index);
    // Removes the current row; false when there is none.
    bool RemoveCurrent();
    void Clear();

    void SetChecked(int index, bool checked);
    void ToggleChecked(int index);
    void CheckAll() { SetAllChecked(true); }
    void UncheckAll() { SetAllChecked(false); }
    void ReverseCheck();
    // Checks or unchecks the current row; false when there is none.
    bool SetCurrentChecked(bool checked);
    int CheckedCount() const;
    // Positions of the checked rows, in list order.
    std::vector<int> CheckedRows() const;

    // Replaces one column text (the trim editor's length, a run's progress). The destination
    // column of file rows follows the destination rule and is not set from outside.
    void SetCellText(int index, int column, std::string text);
    // Writes a run's progress into the row's last column, with the tip its cell shows (the
    // reason of a failed conversion; empty for none).
    void SetProgressText(int index, std::string text, std::string tip = {});
    // Sets the caption's tooltip and whether the caption is drawn in bold.
    void SetRowHint(int index, std::string hint, bool bold);
    // Changes a row's record through edit(record), then notifies.
    template <typename Edit> void EditRecord(int index, Edit&& edit) {
        edit(MutableRow(index).Record);
        NotifyRowsChanged(index, index);
    }

    // File rows show the name the next run writes for them: the rule's folder, the source's
    // base name, "_(new)" or "_(new_n)" and the extension text, passing over existing files
    // and names that checked rows above them take. Each row's OutputName holds the full path.
    void SetDestinationRule(TDestinationRule rule);
    const TDestinationRule& DestinationRule() const { return rule_; }
    // Recomputes the destinations (files may have appeared in the output folder).
    void RefreshDestinations();

private:
    TSourceRow& MutableRow(int index);
    void SetAllChecked(bool checked);
    // Empties a list whose rows are not of kind, then switches the list to kind.
    void PrepareForKind(TRowKind kind);
    void AppendRow(TSourceRow row);
    void ChangeCurrent(int index);
    // Recomputes every destination; rows from notifyBelow on are not announced yet.
    void UpdateDestinations(int notifyBelow);

    void NotifyKindChanged();
    void NotifyRowsInserted(int first, int count);
    void NotifyRowsRemoved(int first, int count);
    void NotifyRowsChanged(int first, int last);
    void NotifyCurrentRowChanged();

    std::vector<TSourceRow> rows_;
    std::vector<TSourceListObserver*> observers_;
    TRowKind kind_ = TRowKind::File;
    int current_ = -1;
    TRowId nextId_ = 1;
    TDestinationRule rule_;
};

} // namespace tessaro
