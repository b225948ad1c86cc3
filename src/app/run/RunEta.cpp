#include "run/RunEta.h"

#include <cmath>
#include <numeric>

namespace tessaro {

TRunEta::TRunEta(std::vector<std::int64_t> plannedLengths, std::int64_t now) : start_(now) {
    tasks_.reserve(plannedLengths.size());
    for (const std::int64_t length : plannedLengths) {
        tasks_.push_back(TTask{length > 0 ? length : 0});
    }
    samples_.push_back(TSample{0, 0});
}

void TRunEta::Pause(std::int64_t now) {
    if (!paused_) {
        paused_ = true;
        pausedSince_ = now;
    }
}

void TRunEta::Resume(std::int64_t now) {
    if (paused_) {
        paused_ = false;
        pausedTotal_ += now - pausedSince_;
    }
}

std::int64_t TRunEta::Elapsed(std::int64_t now) const {
    const std::int64_t pausedNow = paused_ ? now - pausedSince_ : 0;
    return now - start_ - pausedTotal_ - pausedNow;
}

void TRunEta::Report(int task, std::int64_t done, std::int64_t total, std::int64_t now) {
    if (task < 0 || task >= int(tasks_.size())) {
        return;
    }
    current_ = task;
    TTask& t = tasks_[std::size_t(task)];
    t.done = done > 0 ? done : 0;
    if (total > 0) {
        t.length = total;
    }
    AddSample(now);
}

void TRunEta::TaskEnded(int task, std::int64_t now) {
    if (task < 0 || task >= int(tasks_.size())) {
        return;
    }
    tasks_[std::size_t(task)].ended = true;
    AddSample(now);
}

std::int64_t TRunEta::MediaDone() const {
    return std::accumulate(tasks_.begin(), tasks_.end(), std::int64_t(0),
                           [](std::int64_t sum, const TTask& t) { return sum + t.done; });
}

void TRunEta::AddSample(std::int64_t now) {
    const TSample sample{Elapsed(now), MediaDone()};
    samples_.push_back(sample);
    // Keep one sample at or before the window's start as the base of the measurement.
    while (samples_.size() > 2 && samples_[1].working <= sample.working - WindowMicroseconds) {
        samples_.pop_front();
    }
}

std::optional<double> TRunEta::Throughput() const {
    const TSample& first = samples_.front();
    const TSample& last = samples_.back();
    const std::int64_t working = last.working - first.working;
    if (last.working < WarmUpMicroseconds || working <= 0 || last.media <= first.media) {
        return std::nullopt;
    }
    return double(last.media - first.media) / double(working);
}

std::optional<std::int64_t> TRunEta::TimeFor(std::int64_t media) const {
    const std::optional<double> throughput = Throughput();
    if (!throughput) {
        return std::nullopt;
    }
    return std::llround(double(media) / *throughput);
}

std::optional<std::int64_t> TRunEta::TaskRemaining() const {
    if (current_ < 0) {
        return std::nullopt;
    }
    const TTask& t = tasks_[std::size_t(current_)];
    if (t.ended) {
        return 0;
    }
    if (t.length <= 0) {
        return std::nullopt;
    }
    return TimeFor(t.length > t.done ? t.length - t.done : 0);
}

std::optional<std::int64_t> TRunEta::BatchRemaining() const {
    std::int64_t media = 0;
    for (const TTask& t : tasks_) {
        if (t.ended) {
            continue;
        }
        if (t.length <= 0) {
            return std::nullopt;
        }
        media += t.length > t.done ? t.length - t.done : 0;
    }
    return TimeFor(media);
}

} // namespace tessaro
