#include "trim/TrimEditorModel.h"

#include <cstdio>

namespace tessaro {

void TTrimEditorModel::FileOpened(std::int64_t duration) {
    duration_ = duration;
    start_ = 0;
    end_ = 0;
}

void TTrimEditorModel::ShowStored(std::int64_t trimStart, std::int64_t trimLength) {
    if (trimStart >= 0) {
        start_ = trimStart;
    }
    end_ = trimLength > 0 ? start_ + trimLength : duration_;
}

bool TTrimEditorModel::SetStart(std::int64_t position) {
    if (position <= 0) {
        return false;
    }
    start_ = position;
    return true;
}

bool TTrimEditorModel::SetEnd(std::int64_t position) {
    if (position <= 0) {
        return false;
    }
    end_ = position;
    return true;
}

void TTrimEditorModel::Reset() {
    start_ = 0;
    end_ = duration_;
}

TTrimStored TTrimEditorModel::Store() const {
    const bool inside = start_ >= 0 && end_ > 0 && start_ < end_ && end_ <= duration_;
    const std::int64_t length = inside ? end_ - start_ : duration_;
    TTrimStored stored;
    if (length <= 0) {
        return stored;
    }
    stored.TrimStart = start_ > 0 ? start_ : 0;
    const bool toTheEnd = length < EndTolerance || duration_ - length < EndTolerance;
    stored.TrimLength = toTheEnd ? 0 : length;
    stored.ListText = TrimListText(length);
    return stored;
}

int TTrimEditorModel::BarPoint(std::int64_t time, int maximum) const {
    if (duration_ <= 0) {
        return 0;
    }
    return static_cast<int>(static_cast<std::int64_t>(maximum) * time / duration_);
}

std::int64_t TTrimEditorModel::BarTime(int point, int maximum) const {
    if (maximum <= 0) {
        return 0;
    }
    return static_cast<std::int64_t>(double(point) / double(maximum) * double(duration_));
}

std::string TrimListText(std::int64_t microseconds) {
    const std::int64_t seconds = microseconds / 1000000;
    char text[48];
    std::snprintf(text, sizeof text, "   %.1lld:%.2lld:%.2lld",
                  static_cast<long long>(seconds / 60 / 60),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

} // namespace tessaro
