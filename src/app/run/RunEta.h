// Remaining-time estimates of a conversion run, from the throughput measured while it works.
// Throughput is media time converted per second of working time over the last few seconds,
// so the estimate follows a run that speeds up or slows down. Paused time counts neither as
// working time nor in the throughput, so an estimate does not jump after a pause.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace tessaro {

class TRunEta {
public:
    // Working time the throughput is measured over.
    static constexpr std::int64_t WindowMicroseconds = 10'000'000;
    // Less working time than this gives no estimate yet.
    static constexpr std::int64_t WarmUpMicroseconds = 1'000'000;

    // The media length each task of the run is expected to convert (µs; 0 or less when it
    // is not known). now: the run's start on the caller's monotonic clock (µs), as every
    // time below.
    TRunEta(std::vector<std::int64_t> plannedLengths, std::int64_t now);

    void Pause(std::int64_t now);
    void Resume(std::int64_t now);
    bool Paused() const { return paused_; }

    // A progress report of a task: media converted so far and the task's total length (0 or
    // less while unknown; the planned length stands in for it).
    void Report(int task, std::int64_t done, std::int64_t total, std::int64_t now);
    // The task ended (finished, failed or stopped): what it did not convert is not waited for.
    void TaskEnded(int task, std::int64_t now);

    // Working time since the run started, pauses left out.
    std::int64_t Elapsed(std::int64_t now) const;
    // As of the latest report; nothing while the throughput or a length is unknown.
    std::optional<std::int64_t> TaskRemaining() const;
    std::optional<std::int64_t> BatchRemaining() const;

private:
    struct TSample {
        std::int64_t working; // working time when the report came
        std::int64_t media;   // media converted by the whole run by then
    };
    struct TTask {
        std::int64_t length = 0; // reported total, else the planned length; 0 unknown
        std::int64_t done = 0;
        bool ended = false;
    };

    std::int64_t MediaDone() const;
    // Media µs per working µs over the window; nothing before the warm-up.
    std::optional<double> Throughput() const;
    std::optional<std::int64_t> TimeFor(std::int64_t media) const;
    void AddSample(std::int64_t now);

    std::vector<TTask> tasks_;
    int current_ = -1;
    std::int64_t start_;
    std::int64_t pausedTotal_ = 0;
    std::int64_t pausedSince_ = 0;
    bool paused_ = false;
    std::deque<TSample> samples_;
};

} // namespace tessaro
