// The trim editor's range without widgets: the start and end the user took from the playback
// position, the source's duration, what Ok stores in the row's record and the texts and seek
// bar points of those times.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaro {

// What Ok writes into the row: the record's trim fields and, when the range has a length,
// the text of the list's "Trim Length" column.
struct TTrimStored {
    std::int64_t TrimStart = 0;
    std::int64_t TrimLength = 0;
    std::optional<std::string> ListText;
};

class TTrimEditorModel {
public:
    // A stored length this close (microseconds) to nothing or to the whole rest of the
    // source counts as untrimmed at the end.
    static constexpr std::int64_t EndTolerance = 1000;

    // A source opened: its duration is known, the range starts empty.
    void FileOpened(std::int64_t duration);
    // The range stored in the row (a negative start is no start; no length runs to the end).
    void ShowStored(std::int64_t trimStart, std::int64_t trimLength);
    // The playback position taken as start or end; positions of 0 or less are ignored.
    bool SetStart(std::int64_t position);
    bool SetEnd(std::int64_t position);
    // The whole source.
    void Reset();

    std::int64_t Start() const { return start_; }
    std::int64_t End() const { return end_; }
    std::int64_t Duration() const { return duration_; }
    std::int64_t Length() const { return end_ - start_; }
    bool HasRange() const { return start_ < end_; }

    // Ok: a range inside the source keeps its length; anything else stores the whole source
    // (from the start, when one was set).
    TTrimStored Store() const;

    // Where a time lies on a seek bar of `maximum` steps (0 without a duration).
    int BarPoint(std::int64_t time, int maximum) const;
    // The time of a seek bar point.
    std::int64_t BarTime(int point, int maximum) const;

private:
    std::int64_t start_ = 0;
    std::int64_t end_ = 0;
    std::int64_t duration_ = 0;
};

// The "Trim Length" column's text: three blanks and H:MM:SS (hours unpadded, not wrapped).
std::string TrimListText(std::int64_t microseconds);

} // namespace tessaro
