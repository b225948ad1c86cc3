#include "sources/SourceListModel.h"

#include "formats/OutputNames.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <utility>

namespace tessaro {

namespace {

std::string FileNamePart(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

TSourceRow NewFileRow(const TNewFileRow& file) {
    TSourceRow row;
    row.Kind = TRowKind::File;
    const std::string seconds = std::to_string(file.DurationSeconds);
    row.Cells = {file.Path, seconds, seconds, std::string(), std::string()};
    row.Record.TitleIndex = file.Position;
    row.Record.SourceName = file.Path;
    row.Record.DurationSeconds = file.DurationSeconds;
    row.Record.ZoomMode = file.ZoomMode;
    return row;
}

} // namespace

const std::vector<TListColumn>& ColumnsOf(TRowKind kind) {
    static const std::vector<TListColumn> fileColumns = {{"Source", 140},
                                                         {"Length", 65},
                                                         {"Trimmed Length", 90},
                                                         {"Destination File", 120},
                                                         {"Progress", 60}};
    static const std::vector<TListColumn> dvdColumns = {{"Source", 120},       {"Duration", 70},
                                                        {"Trim Length", 70},   {"Frame Size", 70},
                                                        {"Video Format", 100}, {"Progress", 55}};
    return kind == TRowKind::File ? fileColumns : dvdColumns;
}

int ProgressColumn(TRowKind kind) {
    return kind == TRowKind::File ? int(fcFileProgress) : int(dcDvdProgress);
}

void TSourceListModel::AddObserver(TSourceListObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void TSourceListModel::RemoveObserver(TSourceListObserver* observer) {
    std::erase(observers_, observer);
}

const TSourceRow& TSourceListModel::Row(int index) const {
    if (index < 0 || index >= Count()) {
        throw std::out_of_range("source list row " + std::to_string(index) + " out of range");
    }
    return rows_[static_cast<std::size_t>(index)];
}

TSourceRow& TSourceListModel::MutableRow(int index) {
    return const_cast<TSourceRow&>(std::as_const(*this).Row(index));
}

int TSourceListModel::IndexOf(TRowId id) const {
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [id](const TSourceRow& row) { return row.Id == id; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

bool TSourceListModel::ContainsCaption(const std::string& caption) const {
    return std::any_of(rows_.begin(), rows_.end(),
                       [&caption](const TSourceRow& row) { return row.Caption() == caption; });
}

void TSourceListModel::SetCurrent(int index) {
    ChangeCurrent(index >= 0 && index < Count() ? index : -1);
}

void TSourceListModel::ChangeCurrent(int index) {
    if (index != current_) {
        current_ = index;
        NotifyCurrentRowChanged();
    }
}

void TSourceListModel::PrepareForKind(TRowKind kind) {
    if (kind == kind_) {
        return;
    }
    Clear();
    kind_ = kind;
    NotifyKindChanged();
}

void TSourceListModel::AppendRow(TSourceRow row) {
    row.Id = nextId_++;
    row.Checked = true;
    row.Cells.resize(ColumnsOf(row.Kind).size());
    rows_.push_back(std::move(row));
}

int TSourceListModel::AddFileRows(const std::vector<TNewFileRow>& files) {
    int first = -1;
    for (const TNewFileRow& file : files) {
        if (kind_ == TRowKind::File && ContainsCaption(file.Path)) {
            continue;
        }
        PrepareForKind(TRowKind::File);
        if (first < 0) {
            first = Count();
        }
        AppendRow(NewFileRow(file));
    }
    if (first < 0) {
        return 0;
    }
    // The new rows are announced with their destinations already in place.
    UpdateDestinations(first);
    NotifyRowsInserted(first, Count() - first);
    SetCurrent(0);
    return Count() - first;
}

int TSourceListModel::AddDvdTitleRow(std::vector<std::string> cells, TlvFilesRecord record) {
    PrepareForKind(TRowKind::DvdTitle);
    TSourceRow row;
    row.Kind = TRowKind::DvdTitle;
    row.Cells = std::move(cells);
    row.Record = std::move(record);
    AppendRow(std::move(row));
    NotifyRowsInserted(Count() - 1, 1);
    return Count() - 1;
}

void TSourceListModel::RemoveRow(int index) {
    Row(index); // range check
    const int oldCurrent = current_;
    rows_.erase(rows_.begin() + index);
    if (index < current_) {
        --current_;
    } else if (index == current_) {
        current_ = std::min(index, Count() - 1);
    }
    NotifyRowsRemoved(index, 1);
    RefreshDestinations();
    if (index == oldCurrent || current_ != oldCurrent) {
        NotifyCurrentRowChanged();
    }
}

bool TSourceListModel::RemoveCurrent() {
    if (current_ < 0) {
        return false;
    }
    RemoveRow(current_);
    return true;
}

void TSourceListModel::Clear() {
    if (rows_.empty()) {
        return;
    }
    const int count = Count();
    const bool hadCurrent = current_ >= 0;
    rows_.clear();
    current_ = -1;
    NotifyRowsRemoved(0, count);
    if (hadCurrent) {
        NotifyCurrentRowChanged();
    }
}

void TSourceListModel::SetChecked(int index, bool checked) {
    TSourceRow& row = MutableRow(index);
    if (row.Checked == checked) {
        return;
    }
    row.Checked = checked;
    NotifyRowsChanged(index, index);
    RefreshDestinations();
}

void TSourceListModel::ToggleChecked(int index) {
    SetChecked(index, !Row(index).Checked);
}

void TSourceListModel::SetAllChecked(bool checked) {
    if (rows_.empty()) {
        return;
    }
    for (TSourceRow& row : rows_) {
        row.Checked = checked;
    }
    NotifyRowsChanged(0, Count() - 1);
    RefreshDestinations();
}

void TSourceListModel::ReverseCheck() {
    if (rows_.empty()) {
        return;
    }
    for (TSourceRow& row : rows_) {
        row.Checked = !row.Checked;
    }
    NotifyRowsChanged(0, Count() - 1);
    RefreshDestinations();
}

bool TSourceListModel::SetCurrentChecked(bool checked) {
    if (current_ < 0) {
        return false;
    }
    SetChecked(current_, checked);
    return true;
}

int TSourceListModel::CheckedCount() const {
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(),
                                          [](const TSourceRow& row) { return row.Checked; }));
}

std::vector<int> TSourceListModel::CheckedRows() const {
    std::vector<int> checked;
    for (int index = 0; index < Count(); ++index) {
        if (rows_[static_cast<std::size_t>(index)].Checked) {
            checked.push_back(index);
        }
    }
    return checked;
}

void TSourceListModel::SetCellText(int index, int column, std::string text) {
    TSourceRow& row = MutableRow(index);
    if (column < 0 || column >= static_cast<int>(row.Cells.size())) {
        throw std::out_of_range("source list column " + std::to_string(column) + " out of range");
    }
    if (row.Kind == TRowKind::File && column == fcDestination) {
        throw std::logic_error("the destination of a file row follows the destination rule");
    }
    if (row.Cells[static_cast<std::size_t>(column)] != text) {
        row.Cells[static_cast<std::size_t>(column)] = std::move(text);
        NotifyRowsChanged(index, index);
    }
}

void TSourceListModel::SetProgressText(int index, std::string text, std::string tip) {
    TSourceRow& row = MutableRow(index);
    std::string& cell = row.Cells[static_cast<std::size_t>(ProgressColumn(row.Kind))];
    if (cell != text || row.ProgressTip != tip) {
        cell = std::move(text);
        row.ProgressTip = std::move(tip);
        NotifyRowsChanged(index, index);
    }
}

void TSourceListModel::SetRowHint(int index, std::string hint, bool bold) {
    TSourceRow& row = MutableRow(index);
    if (row.Hint != hint || row.Bold != bold) {
        row.Hint = std::move(hint);
        row.Bold = bold;
        NotifyRowsChanged(index, index);
    }
}

void TSourceListModel::SetDestinationRule(TDestinationRule rule) {
    if (rule == rule_) {
        return;
    }
    rule_ = std::move(rule);
    RefreshDestinations();
}

void TSourceListModel::RefreshDestinations() {
    UpdateDestinations(Count());
}

// Names the rows as a run does, one after another in list order: a run names each checked
// row just before it writes that row's output file, so the names of the checked rows above a
// row count as taken.
void TSourceListModel::UpdateDestinations(int notifyBelow) {
    std::set<std::string> claimed;
    for (int index = 0; index < Count(); ++index) {
        TSourceRow& row = rows_[static_cast<std::size_t>(index)];
        if (row.Kind != TRowKind::File) {
            continue;
        }
        std::string output;
        if (!rule_.ExtensionText.empty()) {
            output = MakeOutputNameInFolder(rule_.Folder, row.Record.SourceName,
                                            rule_.ExtensionText, claimed);
        }
        if (row.Checked && !output.empty()) {
            claimed.insert(output);
        }
        if (output != row.Record.OutputName) {
            row.Cells[fcDestination] = FileNamePart(output);
            row.Record.OutputName = std::move(output);
            if (index < notifyBelow) {
                NotifyRowsChanged(index, index);
            }
        }
    }
}

void TSourceListModel::NotifyKindChanged() {
    for (TSourceListObserver* observer : std::vector(observers_)) {
        observer->KindChanged(kind_);
    }
}

void TSourceListModel::NotifyRowsInserted(int first, int count) {
    for (TSourceListObserver* observer : std::vector(observers_)) {
        observer->RowsInserted(first, count);
    }
}

void TSourceListModel::NotifyRowsRemoved(int first, int count) {
    for (TSourceListObserver* observer : std::vector(observers_)) {
        observer->RowsRemoved(first, count);
    }
}

void TSourceListModel::NotifyRowsChanged(int first, int last) {
    for (TSourceListObserver* observer : std::vector(observers_)) {
        observer->RowsChanged(first, last);
    }
}

void TSourceListModel::NotifyCurrentRowChanged() {
    for (TSourceListObserver* observer : std::vector(observers_)) {
        observer->CurrentRowChanged(current_);
    }
}

} // namespace tessaro
