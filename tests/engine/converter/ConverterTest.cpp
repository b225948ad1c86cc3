// The converter component: building tasks from the option records, the run and its
// events, stopping, pausing and thread priorities.
#include "ConverterTestSupport.h"
#include "EngineTestSupport.h"
#include "base/EngineException.h"
#include "probe/MediaProbe.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>

#include <cerrno>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tessaro::test {
namespace {

using namespace std::chrono_literals;

class ConverterTest : public TConverterLibrariesTest {
protected:
    // Adds a task converting the fixture Input into Output; returns its index.
    int AddConversion(const std::string& input, const std::string& output,
                      const TOutputOptions& options) {
        const int index = converter.AddTask(Fixture(input));
        EXPECT_GE(index, 0) << converter.LastError();
        EXPECT_TRUE(converter.SetOutputFile(index, Out(output), &options)) << converter.LastError();
        return index;
    }
    std::string Out(const std::string& name) const { return (temp.Path() / name).string(); }

    TTempDir temp;
    TConverter converter;
    TNoticeLog log;
};

TEST_F(ConverterTest, PropertiesKeepTheirRules) {
    EXPECT_EQ(converter.ProgressInterval(), 500);
    converter.SetProgressInterval(50);
    EXPECT_EQ(converter.ProgressInterval(), 100);
    converter.SetProgressInterval(101);
    EXPECT_EQ(converter.ProgressInterval(), 101);
    EXPECT_EQ(converter.ThreadPriority(), tpNormal);
    EXPECT_TRUE(converter.TriggerEventInMainThread());
    EXPECT_EQ(converter.CodecThreads(), 0);
    converter.SetCodecThreads(-2);
    EXPECT_EQ(converter.CodecThreads(), 0);
    converter.SetCodecThreads(3);
    EXPECT_EQ(converter.CodecThreads(), 3);
}

TEST_F(ConverterTest, ThreeTasksOneAtATimeNoticeInOrderThenTheFinalNotice) {
    log.Attach(converter);
    std::vector<int> progressTasks;
    std::vector<bool> progressOnMain;
    converter.SetProgressInterval(100);
    converter.SetOnProgress([&](TConverter&, PProgressInfo info) {
        progressTasks.push_back(info->TaskIndex);
        progressOnMain.push_back(IsMainThread());
    });
    for (int i = 0; i < 3; ++i) {
        AddConversion("h264_aac.mp4", "out" + std::to_string(i) + ".mkv", Mpeg4Output(2000000));
    }
    converter.StartTask(1);
    ServeMainThreadUntil([&] { return log.FinalSeen(); });

    EXPECT_EQ(log.Indexes(), (std::vector<int>{0, 1, 2, -1}));
    for (const TTerminateInfo& info : log.Notices()) {
        EXPECT_TRUE(info.Finished);
        EXPECT_FALSE(info.Exception) << info.ExceptionMsg;
    }
    for (std::thread::id id : log.Threads()) {
        EXPECT_NE(id, std::this_thread::get_id()); // never on the main thread
    }
    // Progress comes on the main thread and never from a task before the previous ended.
    ASSERT_FALSE(progressTasks.empty());
    EXPECT_TRUE(std::is_sorted(progressTasks.begin(), progressTasks.end()));
    for (bool onMain : progressOnMain) {
        EXPECT_TRUE(onMain);
    }
    for (int i = 0; i < 3; ++i) {
        TMediaProbe probe;
        ASSERT_TRUE(probe.LoadFile(Out("out" + std::to_string(i) + ".mkv"))) << probe.LastError();
        EXPECT_EQ(probe.VideoStreamCount(), 1);
        EXPECT_EQ(probe.AudioStreamCount(), 1);
    }

    // The finished run refuses new work until the list is cleared.
    const std::pair<const char*, std::function<void()>> refused[] = {
        {"Cannot AddTask while working.", [&] { converter.AddTask(Fixture("h264_aac.mp4")); }},
        {"Cannot SetOutputFile while working.",
         [&] { converter.SetOutputFile(0, Out("late.mkv")); }},
        {"Cannot RemoveTask while working.", [&] { converter.RemoveTask(0); }},
        {"Cannot StartTask while working.", [&] { converter.StartTask(1); }},
    };
    for (const auto& [message, operation] : refused) {
        try {
            operation();
            ADD_FAILURE() << message;
        } catch (const EngineException& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
    EXPECT_EQ(converter.TaskCount(), 3);
    converter.ClearTasks();
    EXPECT_EQ(converter.TaskCount(), 0);
    EXPECT_EQ(converter.AddTask(Fixture("h264_aac.mp4")), 0) << converter.LastError();
}

TEST_F(ConverterTest, RunOnTheCallingThreadReturnsAfterTheFinalNotice) {
    log.Attach(converter);
    AddConversion("h264_aac.mp4", "a.mkv", Mpeg4Output(1000000));
    AddConversion("audio.mp3", "b.mp3", TOutputOptions{});
    converter.StartTask(0);

    EXPECT_EQ(log.Indexes(), (std::vector<int>{0, 1, -1}));
    for (std::thread::id id : log.Threads()) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
    EXPECT_TRUE(std::filesystem::file_size(Out("b.mp3")) > 0);
}

TEST_F(ConverterTest, StopAllDuringTheSecondTaskEndsTheRun) {
    log.Attach(converter);
    std::atomic<bool> secondRunning{false};
    converter.SetProgressInterval(100);
    converter.SetOnProgress([&](TConverter&, PProgressInfo info) {
        if (info->TaskIndex == 1) {
            secondRunning = true;
        }
    });
    AddConversion("h264_aac.mp4", "t0.mkv", Mpeg4Output(1000000));
    AddConversion("mpeg2_ac3.mpg", "t1.mkv", Mpeg4Output());
    AddConversion("h264_aac.mp4", "t2.mkv", Mpeg4Output());
    converter.StartTask(1);
    ServeMainThreadUntil([&] { return secondRunning.load(); });

    EXPECT_THROW(converter.ClearTasks(), EngineException);
    converter.StopAll(true);
    EXPECT_TRUE(converter.Task(1)->Terminated());
    ServeMainThreadUntil([&] { return log.FinalSeen(); });

    const std::vector<TTerminateInfo> notices = log.Notices();
    ASSERT_EQ(log.Indexes(), (std::vector<int>{0, 1, 2, -1}));
    EXPECT_TRUE(notices[0].Finished);
    EXPECT_FALSE(notices[1].Finished);
    EXPECT_FALSE(notices[1].Exception) << notices[1].ExceptionMsg;
    EXPECT_FALSE(notices[2].Finished);
    EXPECT_FALSE(notices[2].Exception);
    EXPECT_TRUE(notices[3].Finished);
    // The stopped task's file got its trailer: it opens and is shorter than the source.
    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Out("t1.mkv"))) << probe.LastError();
    TFileStreamInfo info;
    probe.GetFileStreamInfo(info);
    EXPECT_GT(info.Duration, 0);
    EXPECT_LT(info.Duration, 11000000);
    // The file made for the task that never ran goes with the task.
    converter.ClearTasks();
    EXPECT_FALSE(std::filesystem::exists(Out("t2.mkv")));
    EXPECT_TRUE(std::filesystem::exists(Out("t1.mkv")));
}

// The handler runs on the main thread while one worker waits for it and the other may wait
// for that worker's event lock: the stop must not wait for either.
TEST_F(ConverterTest, StopAllInsideAProgressEventOfParallelTasksDoesNotWait) {
    log.Attach(converter);
    converter.SetProgressInterval(100);
    converter.SetOnProgress([&](TConverter& sender, PProgressInfo) { sender.StopAll(true); });
    AddConversion("mpeg2_ac3.mpg", "s0.mkv", Mpeg4Output());
    AddConversion("mpeg2_ac3.mpg", "s1.mkv", Mpeg4Output());
    converter.StartTask(2);
    ServeMainThreadUntil([&] { return log.FinalSeen(); });
    std::vector<int> indexes = log.Indexes();
    ASSERT_EQ(indexes.size(), 3u);
    EXPECT_EQ(indexes.back(), -1);
    std::sort(indexes.begin(), indexes.end() - 1);
    EXPECT_EQ(indexes, (std::vector<int>{0, 1, -1}));
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_FALSE(log.Notices()[i].Finished);
    }
}

TEST_F(ConverterTest, TaskWithoutOutputEndsWithAnExceptionNotice) {
    log.Attach(converter);
    ASSERT_EQ(converter.AddTask(Fixture("h264_aac.mp4")), 0) << converter.LastError();
    converter.StartTask(0);
    const std::vector<TTerminateInfo> notices = log.Notices();
    ASSERT_EQ(log.Indexes(), (std::vector<int>{0, -1}));
    EXPECT_TRUE(notices[0].Exception);
    EXPECT_FALSE(notices[0].Finished);
    EXPECT_EQ(notices[0].ExceptionMsg, "At least one output file must be specified");
}

TEST_F(ConverterTest, BuildingTasksReportsErrors) {
    EXPECT_EQ(converter.AddTask(Out("missing.mp4")), -1);
    EXPECT_NE(converter.LastError().find("No such file or directory"), std::string::npos)
        << converter.LastError();
    EXPECT_EQ(converter.TaskCount(), 0);

    TInputOptions input;
    InitInputOptions(input);
    input.ExtOptions = "ss=abc";
    EXPECT_EQ(converter.AddTask(Fixture("h264_aac.mp4"), &input), -1);
    EXPECT_EQ(converter.LastError(), "Invalid duration specification for ss: abc");

    const int task = converter.AddTask(Fixture("h264_aac.mp4"));
    ASSERT_EQ(task, 0);
    TOutputOptions output = Mpeg4Output();
    output.AudioTag = "abc";
    EXPECT_FALSE(converter.SetOutputFile(task, Out("x.mkv"), &output));
    EXPECT_EQ(converter.LastError(), "audio tag parameter must be 4 chars");
    for (int i = 0; i < MaxFiles; ++i) {
        ASSERT_TRUE(converter.SetOutputFile(task, Out("o" + std::to_string(i) + ".mkv")))
            << converter.LastError();
    }
    EXPECT_FALSE(converter.SetOutputFile(task, Out("one-too-many.mkv")));
    EXPECT_EQ(converter.LastError(), "max output files 20 reached");
    EXPECT_THROW(converter.SetOutputFile(5, Out("y.mkv")), EngineException);
}

TEST_F(ConverterTest, ExtraAudioStreamsTakeTheCodecLinesInTurnThenTheRecordCodec) {
    TOutputOptions output = Mpeg4Output(1000000);
    output.AudioCodec = "aac";
    output.ExtOptions = "newaudio=<CRLF>acodec=mp2<CRLF>newaudio=";
    const int task = AddConversion("h264_aac.mp4", "pair.mkv", output);
    // The name argument fills the copy of a record that names no file.
    EXPECT_EQ(converter.Task(task)->OutputOptions(0)->FileName, Out("pair.mkv"));
    ASSERT_NE(converter.InputProbe(task, 0), nullptr);
    EXPECT_EQ(converter.InputProbe(task, 0)->VideoStreamCount(), 1);
    EXPECT_EQ(converter.InputProbe(task, 1), nullptr);
    log.Attach(converter);
    converter.StartTask(0);
    ASSERT_EQ(log.Indexes(), (std::vector<int>{0, -1}));
    ASSERT_FALSE(log.Notices()[0].Exception) << log.Notices()[0].ExceptionMsg;

    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Out("pair.mkv"))) << probe.LastError();
    ASSERT_EQ(probe.AudioStreamCount(), 3);
    std::vector<std::string> codecs;
    for (int stream = 0; stream < probe.StreamCount(); ++stream) {
        if (probe.IsAudioStream(stream)) {
            TAudioStreamInfo info;
            probe.GetAudioStreamInfo(stream, info);
            codecs.push_back(info.CodecName.substr(0, info.CodecName.find('(')));
        }
    }
    EXPECT_EQ(codecs, (std::vector<std::string>{"aac", "mp2", "aac"}));
}

TEST_F(ConverterTest, PausedAndResumedRunWritesTheSameFramesAsAnUnpausedRun) {
    log.Attach(converter);
    converter.SetProgressInterval(100);
    std::atomic<int> reports{0};
    converter.SetOnProgress([&](TConverter&, PProgressInfo) { ++reports; });
    const TOutputOptions output = Mpeg4Output();
    AddConversion("mpeg2_ac3.mpg", "plain.mkv", output);
    converter.StartTask(1);
    ServeMainThreadUntil([&] { return log.FinalSeen(); });
    ASSERT_FALSE(log.Notices()[0].Exception) << log.Notices()[0].ExceptionMsg;

    converter.ClearTasks();
    TNoticeLog pausedLog;
    pausedLog.Attach(converter);
    AddConversion("mpeg2_ac3.mpg", "paused.mkv", output);
    converter.StartTask(1);
    for (int pause = 0; pause < 3 && !pausedLog.FinalSeen(); ++pause) {
        const int seen = reports;
        ServeMainThreadUntil([&] { return reports > seen || pausedLog.FinalSeen(); });
        converter.PauseAll();
        if (!pausedLog.FinalSeen()) {
            EXPECT_TRUE(converter.Task(0)->Parked());
        }
        ProcessPendingMessages();
        converter.ResumeAll();
    }
    ServeMainThreadUntil([&] { return pausedLog.FinalSeen(); });
    ASSERT_TRUE(pausedLog.Notices()[0].Finished);

    const std::vector<std::uint64_t> plain = VideoFrameChecksums(Out("plain.mkv"));
    const std::vector<std::uint64_t> paused = VideoFrameChecksums(Out("paused.mkv"));
    EXPECT_GE(plain.size(), 350u);
    EXPECT_EQ(plain, paused);
}

// The ids of this process's threads.
std::set<pid_t> ThreadIds() {
    std::set<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.insert(pid_t(std::stoi(entry.path().filename().string())));
    }
    return ids;
}

// Scheduling policy and nice value of every thread a run started, seen from the hook (on the
// worker for every picture, while the codecs' and the encoding stage's threads are alive).
class TRunThreads {
public:
    // Output: its record gets the hook switched on.
    void Attach(TConverter& run, TOutputOptions& output) {
        before_ = ThreadIds();
        output.CustomHook = true;
        run.SetOnCustomHook([this](TConverter&, PHookInfo) { Look(); });
    }
    struct TThreadState {
        int policy = -1;
        int nice = 0;
    };
    std::map<pid_t, TThreadState> Seen() const {
        std::lock_guard guard(lock_);
        return seen_;
    }

private:
    void Look() {
        for (const pid_t tid : ThreadIds()) {
            if (before_.count(tid) != 0) {
                continue;
            }
            errno = 0;
            const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
            const int policy = sched_getscheduler(tid);
            if (errno == 0 && policy >= 0) { // a thread that ended meanwhile is left out
                std::lock_guard guard(lock_);
                seen_[tid] = TThreadState{policy, nice};
            }
        }
    }

    std::set<pid_t> before_;
    mutable std::mutex lock_;
    std::map<pid_t, TThreadState> seen_;
};

// The threads a one-second conversion at Priority with CodecThreads started, as its hook saw
// them.
std::map<pid_t, TRunThreads::TThreadState> ThreadsOfARun(TThreadPriority priority, int codecThreads,
                                                         const std::string& output) {
    TConverter run;
    TNoticeLog notices;
    notices.Attach(run);
    TOutputOptions options = Mpeg4Output(1000000);
    TRunThreads threads;
    threads.Attach(run, options);
    run.SetThreadPriority(priority);
    run.SetCodecThreads(codecThreads);
    const int task = run.AddTask(Fixture("h264_aac.mp4"));
    EXPECT_TRUE(run.SetOutputFile(task, output, &options)) << run.LastError();
    run.StartTask(1);
    ServeMainThreadUntil([&] { return notices.FinalSeen(); });
    EXPECT_FALSE(notices.Notices().at(0).Exception) << notices.Notices().at(0).ExceptionMsg;
    return threads.Seen();
}

TEST_F(ConverterTest, EveryThreadOfATaskRunsAtTheRequestedPriority) {
    struct TCase {
        TThreadPriority priority;
        int policy;
        int niceOffset;
    };
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    for (const TCase& c : {TCase{tpIdle, SCHED_IDLE, 0}, TCase{tpLowest, SCHED_OTHER, 10},
                           TCase{tpLower, SCHED_OTHER, 5}, TCase{tpNormal, SCHED_OTHER, 0}}) {
        const auto seen = ThreadsOfARun(c.priority, 3, Out("prio.mkv"));
        // The worker, the encoding stage and the decoder's and encoder's own threads.
        EXPECT_GE(seen.size(), 4u) << "priority " << c.priority;
        for (const auto& [tid, state] : seen) {
            EXPECT_EQ(state.policy, c.policy) << "priority " << c.priority << ", thread " << tid;
            // Niceness stops at 19 (a suite run under nice reaches it).
            EXPECT_EQ(state.nice, std::min(19, base + c.niceOffset))
                << "priority " << c.priority << ", thread " << tid;
        }
        // The main thread keeps its own priority.
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), base);
    }
}

TEST_F(ConverterTest, CodecThreadsGoToEveryCodecOfTheRun) {
    // One thread each: no codec or filter starts a thread of its own, only the task's worker
    // and its encoding stage run.
    EXPECT_EQ(ThreadsOfARun(tpNormal, 1, Out("one.mkv")).size(), 2u);
    // Three each: the decoder's and the encoder's helpers come along.
    EXPECT_GE(ThreadsOfARun(tpNormal, 3, Out("three.mkv")).size(), 5u);
}

TEST_F(ConverterTest, RecordFieldsReachTheOutput) {
    TInputOptions input;
    InitInputOptions(input);
    input.StartTime = 10000000; // the last two of twelve seconds
    TOutputOptions output = Mpeg4Output();
    output.AudioSampleRate = 22050;
    output.AudioChannels = 1;
    output.FrameSize = "160x120";
    output.Metadata.Title = "Two seconds";
    const int task = converter.AddTask(Fixture("h264_aac.mp4"), &input);
    ASSERT_EQ(task, 0) << converter.LastError();
    EXPECT_EQ(converter.Task(task)->InputOptions(0)->FileName, Fixture("h264_aac.mp4"));
    ASSERT_TRUE(converter.SetOutputFile(task, Out("fields.mkv"), &output)) << converter.LastError();
    log.Attach(converter);
    converter.StartTask(0);
    ASSERT_FALSE(log.Notices().at(0).Exception) << log.Notices()[0].ExceptionMsg;

    TMediaProbe probe;
    ASSERT_TRUE(probe.LoadFile(Out("fields.mkv"))) << probe.LastError();
    TFileStreamInfo file;
    probe.GetFileStreamInfo(file);
    EXPECT_NEAR(double(file.Duration), 2e6, 0.2e6);
    EXPECT_EQ(file.Title, "Two seconds");
    TVideoStreamInfo video;
    probe.GetVideoStreamInfo(-1, video);
    EXPECT_EQ(video.Width, 160);
    EXPECT_EQ(video.Height, 120);
    TAudioStreamInfo audio;
    probe.GetAudioStreamInfo(-1, audio);
    EXPECT_EQ(audio.SampleRate, 22050);
    EXPECT_EQ(audio.Channels, 1);
}

TEST_F(ConverterTest, PreviewBitmapsComeOnTheMainThreadWhenSwitchedOnForExistingTasks) {
    std::vector<int> frames;
    bool offMain = false;
    converter.SetOnPreviewBitmap([&](TConverter&, const TPreviewInfo& info) {
        frames.push_back(info.FrameNumber);
        offMain = offMain || !IsMainThread();
        EXPECT_EQ(info.TaskIndex, 0);
        EXPECT_EQ(info.Bitmap->Width(), 320);
        EXPECT_EQ(info.Bitmap->Height(), 240);
    });
    AddConversion("h264_aac.mp4", "preview.mkv", Mpeg4Output(3000000));
    converter.SetPreviewBitmap(true);
    log.Attach(converter);
    converter.StartTask(1);
    ServeMainThreadUntil([&] { return log.FinalSeen(); });
    EXPECT_FALSE(offMain);
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
    EXPECT_EQ(frames.front(), 1);
}

TEST_F(ConverterTest, CustomHookRunsOnTheWorkerForEveryPicture) {
    std::vector<int> frames;
    std::atomic<bool> onMain{false};
    converter.SetOnCustomHook([&](TConverter&, PHookInfo info) {
        frames.push_back(info->FrameNumber);
        onMain = onMain || IsMainThread();
        EXPECT_EQ(info->Bitmap->Width(), 320);
        EXPECT_TRUE(info->Update);
        info->StopHook = info->FrameNumber == 10;
    });
    TOutputOptions output = Mpeg4Output(2000000);
    output.CustomHook = true;
    AddConversion("h264_aac.mp4", "hook.mkv", output);
    log.Attach(converter);
    converter.StartTask(1);
    ServeMainThreadUntil([&] { return log.FinalSeen(); });
    EXPECT_FALSE(onMain);
    ASSERT_EQ(frames.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(frames[std::size_t(i)], i + 1);
    }
}

// Twenty short tasks, paused, resumed and stopped at random points from the main thread:
// the run always ends, every task gets one notice and the final notice comes last.
TEST_F(ConverterTest, RandomPausesResumesAndStopsLoseNoNotice) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 4; ++round) {
        TConverter run;
        TNoticeLog notices;
        notices.Attach(run);
        run.SetProgressInterval(100);
        std::atomic<int> reports{0};
        run.SetOnProgress([&](TConverter&, PProgressInfo) { ++reports; });
        for (int i = 0; i < 20; ++i) {
            const int task = run.AddTask(Fixture("h264_aac.mp4"));
            ASSERT_GE(task, 0) << run.LastError();
            const TOutputOptions output = Mpeg4Output(200000 + std::int64_t(random() % 800000));
            ASSERT_TRUE(run.SetOutputFile(task, Out(std::to_string(i) + ".mkv"), &output))
                << run.LastError();
        }
        run.StartTask(1 + int(random() % 3));
        for (int step = 0; step < 60 && !notices.FinalSeen(); ++step) {
            switch (random() % 8) {
            case 0:
            case 1:
                run.PauseAll();
                break;
            case 2:
            case 3:
                run.ResumeAll();
                break;
            case 4:
                if (round > 0 && random() % 4 == 0) {
                    run.StopAll(random() % 2 == 0);
                }
                break;
            default:
                WaitAndProcessPendingMessages(std::chrono::milliseconds(random() % 30));
                break;
            }
        }
        run.ResumeAll();
        if (round > 0) {
            run.StopAll(true);
        }
        ServeMainThreadUntil([&] { return notices.FinalSeen(); });
        run.ClearTasks(); // joins every worker

        std::vector<int> indexes = notices.Indexes();
        ASSERT_EQ(indexes.size(), 21u) << "round " << round;
        EXPECT_EQ(indexes.back(), -1) << "round " << round;
        indexes.pop_back();
        std::sort(indexes.begin(), indexes.end());
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(indexes[std::size_t(i)], i) << "round " << round;
        }
        if (round == 0) {
            for (const TTerminateInfo& info : notices.Notices()) {
                EXPECT_TRUE(info.Finished) << info.TaskIndex << " " << info.ExceptionMsg;
            }
        }
    }
}

} // namespace
} // namespace tessaro::test
