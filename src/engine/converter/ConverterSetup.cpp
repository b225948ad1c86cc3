// Building tasks: an input from TInputOptions, an output from TOutputOptions, and the free
// option text of both records.
#include "converter/Converter.h"

#include "base/EngineException.h"
#include "base/TextHelpers.h"
#include "base/TimeTexts.h"
#include "converter/TranscoderTask.h"
#include "dvdinput/DvdAddress.h"
#include "dvdinput/DvdChapterTimes.h"

#include <ctime>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <vector>

namespace tessaro {
namespace {

struct TOptionLine {
    std::string name; // lower case
    std::string value;
};

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* candidate : names) {
        if (name == candidate) {
            return true;
        }
    }
    return false;
}

// One name=value line per option; line breaks of any kind and the text "<CRLF>" separate
// lines. A line without "=" is a name with an empty value.
std::vector<TOptionLine> SplitOptionText(const std::string& text) {
    std::string rest;
    const std::string unified = UnifyLineBreaks(TrimText(text));
    for (std::size_t i = 0; i < unified.size(); ++i) {
        if (unified.compare(i, 6, "<CRLF>") == 0) {
            rest += '\n';
            i += 5;
        } else {
            rest += unified[i];
        }
    }
    std::vector<TOptionLine> lines;
    while (!rest.empty()) {
        std::string line = SplitFirst(rest, "\n", true);
        if (line.empty()) {
            continue;
        }
        const std::string name = SplitFirst(line, "=", true);
        lines.push_back({LowerText(name), line});
    }
    return lines;
}

// Lines every option-text pass leaves to the stream pairing of an output.
bool IsPairedLine(const std::string& name) {
    return IsOneOf(
        name, {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"});
}

void ApplyOptionLines(TTranscoder& task, const std::vector<TOptionLine>& lines, bool inputs) {
    for (const TOptionLine& line : lines) {
        if (IsPairedLine(line.name)) {
            continue;
        }
        // For outputs the codecs and the size arrive through the defaults list.
        if (!inputs && IsOneOf(line.name, {"acodec", "vcodec", "scodec", "s"})) {
            continue;
        }
        task.SetOption(line.name, line.value);
    }
}

// A date-time in days since 1899-12-30, local time, as the UTC date text of option
// "timestamp"; 0 means now.
std::string TimeStampText(double days) {
    if (days == 0) {
        return "now";
    }
    const long long localSeconds = std::llround((days - 25569.0) * 86400.0);
    std::time_t asUtc = static_cast<std::time_t>(localSeconds);
    std::tm broken{};
    gmtime_r(&asUtc, &broken);
    broken.tm_isdst = -1;
    const std::time_t utc = std::mktime(&broken); // reads the fields as local time
    std::tm utcParts{};
    gmtime_r(&utc, &utcParts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utcParts);
    return text;
}

void SetIfPositive(TTranscoder& task, const char* name, std::int64_t value) {
    if (value > 0) {
        task.SetOption(name, std::to_string(value));
    }
}

void SetIfPositive(TTranscoder& task, const char* name, float value) {
    if (value > 0) {
        task.SetOption(name, FormatText("%g", double(value)));
    }
}

void SetIfNotEmpty(TTranscoder& task, const char* name, const std::string& value) {
    if (!value.empty()) {
        task.SetOption(name, value);
    }
}

void SetIfTrue(TTranscoder& task, const char* name, bool value) {
    if (value) {
        task.SetOption(name, "1");
    }
}

void ApplyMetadata(TTranscoder& task, const TStreamInfo& info) {
    if (info.TimeStamp >= 0) {
        task.SetOption("timestamp", TimeStampText(info.TimeStamp));
    }
    if (info.Year > 0) {
        task.SetOption("metadata", "year=" + std::to_string(info.Year));
    }
    if (info.Track > 0) {
        task.SetOption("metadata", "track=" + std::to_string(info.Track));
    }
    const std::pair<const char*, const std::string*> texts[] = {
        {"title", &info.Title},     {"author", &info.Author}, {"copyright", &info.Copyright},
        {"comment", &info.Comment}, {"album", &info.Album},   {"genre", &info.Genre}};
    for (const auto& [key, value] : texts) {
        if (!value->empty()) {
            task.SetOption("metadata", std::string(key) + "=" + *value);
        }
    }
}

// The record's fields in their declaration order.
void ApplyOutputRecord(TTranscoder& task, const TOutputOptions& o) {
    SetIfNotEmpty(task, "f", o.FileFormat);
    SetIfPositive(task, "packetsize", std::int64_t(o.PacketSize));
    SetIfPositive(task, "muxrate", std::int64_t(o.MuxRate));
    SetIfPositive(task, "muxdelay", o.MuxDelay);
    SetIfPositive(task, "muxpreload", o.MuxPreload);
    SetIfTrue(task, "an", o.DisableAudio);
    if (o.AudioVolume >= 0) {
        task.SetOption("vol", std::to_string(o.AudioVolume));
    }
    SetIfPositive(task, "ac", std::int64_t(o.AudioChannels));
    SetIfPositive(task, "ar", std::int64_t(o.AudioSampleRate));
    SetIfPositive(task, "ab", std::int64_t(o.AudioBitrate));
    SetIfPositive(task, "abt", std::int64_t(o.AudioBitrateTolerance));
    task.SetOption("alang", o.AudioLanguage);
    task.SetOption("async", std::to_string(o.AudioSyncMethod));
    SetIfNotEmpty(task, "atag", o.AudioTag);
    SetIfTrue(task, "vn", o.DisableVideo);
    SetIfNotEmpty(task, "r", o.FrameRate);
    SetIfNotEmpty(task, "aspect", o.FrameAspectRatio);
    SetIfPositive(task, "croptop", std::int64_t(o.CropTop));
    SetIfPositive(task, "cropbottom", std::int64_t(o.CropBottom));
    SetIfPositive(task, "cropleft", std::int64_t(o.CropLeft));
    SetIfPositive(task, "cropright", std::int64_t(o.CropRight));
    SetIfPositive(task, "g", std::int64_t(o.GOPSize));
    SetIfPositive(task, "vb", std::int64_t(o.VideoBitrate));
    SetIfPositive(task, "maxrate", std::int64_t(o.VideoMaxRate));
    SetIfPositive(task, "minrate", std::int64_t(o.VideoMinRate));
    SetIfPositive(task, "bt", std::int64_t(o.VideoBitrateTolerance));
    SetIfPositive(task, "bufsize", std::int64_t(o.VideoBufSize));
    task.SetOption("vsync", std::to_string(o.VideoSyncMethod));
    SetIfNotEmpty(task, "vtag", o.VideoTag);
    task.SetOption("vlang", o.VideoLanguage);
    SetIfTrue(task, "sn", o.DisableSubtitle);
    task.SetOption("slang", o.SubtitleLanguage);
    task.SetOption("isync", o.InputSync ? "1" : "0");
    SetIfTrue(task, "copyts", o.CopyTimestamps);
    if (o.StartTime != kNoTimeValue) {
        task.SetOption("ss", SecondsText(o.StartTime));
    }
    if (o.Duration != kNoTimeValue) {
        task.SetOption("t", SecondsText(o.Duration));
    }
    ApplyMetadata(task, o.Metadata);
}

const char* TargetNormText(int norm) {
    switch (norm) {
    case 1:
        return "pal";
    case 2:
        return "ntsc";
    default:
        return "auto";
    }
}

// The codec, preset, size and filter settings of an output's main streams, and the lines of
// its option text that name them, handed out one by one to the streams its "new..." lines
// create; the defaults are what those streams get when the text has no line left for them.
class TDefaultsList {
public:
    using TApply = std::function<void(TTranscoder&)>;

    explicit TDefaultsList(const std::vector<TOptionLine>& lines) {
        for (const TOptionLine& line : lines) {
            if (!line.value.empty() &&
                IsOneOf(line.name, {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s",
                                    "vfilters", "vf"})) {
                lines_.push_back({line.name == "vfilters" ? "vf" : line.name, line.value});
            }
        }
    }

    // An empty apply leaves the setting alone.
    void SetDefault(const std::string& name, TApply apply) {
        if (apply) {
            defaults_[name] = std::move(apply);
        }
    }
    // A record field's text; empty leaves the setting alone.
    void SetDefault(const std::string& name, const std::string& value) {
        if (!value.empty()) {
            SetDefault(name, OptionSetter(name, value));
        }
    }
    // The first line of each name becomes its default: always when the text is to win over the
    // record or job, else only where no default is set.
    void TakeFirstLines(bool textWins) {
        std::set<std::string> seen;
        for (const TOptionLine& line : lines_) {
            if (seen.insert(line.name).second && (textWins || !defaults_.count(line.name))) {
                SetDefault(line.name, line.value);
            }
        }
    }

    void ApplyDefault(TTranscoder& task, const std::string& name) const {
        if (const auto it = defaults_.find(name); it != defaults_.end()) {
            it->second(task);
        }
    }

    // Applies the next line of that name (removing it), else the default.
    void Take(TTranscoder& task, const std::string& name) {
        for (auto it = lines_.begin(); it != lines_.end(); ++it) {
            if (it->name == name) {
                const std::string value = it->value;
                lines_.erase(it);
                task.SetOption(name, value);
                return;
            }
        }
        ApplyDefault(task, name);
    }

private:
    static TApply OptionSetter(const std::string& name, const std::string& value) {
        return [name, value](TTranscoder& task) { task.SetOption(name, value); };
    }

    std::map<std::string, TApply> defaults_;
    std::vector<TOptionLine> lines_;
};

// The extra streams of an output, each with its codec, preset, size and filters.
void AddPairedStreams(TTranscoder& task, TDefaultsList& defaults,
                      const std::vector<TOptionLine>& lines) {
    for (const TOptionLine& line : lines) {
        if (line.name == "newaudio") {
            defaults.Take(task, "acodec");
            defaults.Take(task, "apre");
        } else if (line.name == "newvideo") {
            defaults.Take(task, "vcodec");
            defaults.Take(task, "vpre");
            defaults.Take(task, "s");
            defaults.Take(task, "vf");
        } else if (line.name == "newsubtitle") {
            defaults.Take(task, "scodec");
            defaults.Take(task, "spre");
        } else {
            continue;
        }
        task.SetOption(line.name, line.value);
    }
}

} // namespace

std::unique_ptr<TTranscoder> TConverter::NewTask() {
    auto task = std::make_unique<TTranscoder>();
    task->ResetTask();
    task->Options().verbose = verbose_;
    task->SetThreadCount(codecThreads_);
    {
        std::lock_guard flags(PreviewLock());
        task->SetFlags((preview_ ? TaskFlagPreviewWindow : 0) |
                       (previewBitmap_ ? TaskFlagPreviewBitmap : 0));
    }
    TTranscoder* t = task.get();
    task->Callbacks().previewBitmap = [this, t](TBitmap& bitmap, int frameNumber,
                                                std::int64_t pts) {
        DoPreviewBitmap(*t, bitmap, frameNumber, pts);
    };
    return task;
}

bool TConverter::OpenTaskInput(TTranscoder& task, const std::string& fileName) {
    if (!task.AddInputFile(fileName)) {
        SetLastError(task.ErrorText());
        return false;
    }
    task.AttachInputProbe(task.InputFileCount() - 1);
    TTranscoder* t = &task;
    task.Callbacks().progress = [this, t](int fileIndex, int frameNumber, int fps, float quality,
                                          float bitRate, std::int64_t currentSize,
                                          std::int64_t currentDuration,
                                          std::int64_t totalDuration) {
        DoProgress(*t, fileIndex, frameNumber, fps, quality, bitRate, currentSize, currentDuration,
                   totalDuration);
    };
    task.SetTerminateCallback([this](TTranscoder& ended) { DoTerminate(&ended); });
    return true;
}

void TConverter::RouteFramesThroughHook(TTranscoder& task) {
    TTranscoder* t = &task;
    task.Callbacks().customHook = [this, t](TBitmap& bitmap, int frameNumber, std::int64_t pts,
                                            bool& update, bool& stopHook) {
        DoCustomHook(*t, bitmap, frameNumber, pts, update, stopHook);
    };
}

int TConverter::AddTask(const std::string& fileName, const TInputOptions* inputOptions) {
    CheckNotWorking("AddTask");
    std::unique_ptr<TTranscoder> task;
    try {
        task = NewTask();
        if (inputOptions != nullptr) {
            TInputOptions copy = *inputOptions;
            if (copy.FileName.empty()) {
                copy.FileName = fileName;
            }
            task->StoreInputOptions(task->InputFileCount(), copy);
            ApplyOptionLines(*task, SplitOptionText(copy.ExtOptions), true);
            SetIfNotEmpty(*task, "f", copy.FileFormat);
            if (copy.StartTime != kNoTimeValue) {
                task->SetOption("ss", SecondsText(copy.StartTime));
            }
            if (copy.ProgramID >= 0) {
                task->SetOption("programid", std::to_string(copy.ProgramID));
            }
        }
        if (!OpenTaskInput(*task, fileName)) {
            return -1;
        }
    } catch (const std::exception& e) {
        SetLastError(e.what());
        return -1;
    }
    return tasks_->Add(std::move(task));
}

bool TConverter::SetOutputFile(int taskIndex, const std::string& fileName,
                               const TOutputOptions* outputOptions) {
    CheckNotWorking("SetOutputFile");
    TTranscoder& task = TaskAt(taskIndex);
    if (task.OutputFileCount() >= MaxFiles) {
        SetLastError(FormatText("max output files %d reached", MaxFiles));
        return false;
    }
    try {
        return ApplyOutput(task, fileName, outputOptions);
    } catch (const std::exception& e) {
        SetLastError(e.what());
        return false;
    }
}

bool TConverter::ApplyOutput(TTranscoder& task, const std::string& fileName,
                             const TOutputOptions* outputOptions) {
    const int slot = task.OutputFileCount();
    if (outputOptions == nullptr) {
        task.ResetOutputOptions(slot);
        if (task.AddOutputFile(fileName, false) < 0) {
            SetLastError(task.ErrorText());
            return false;
        }
        return true;
    }
    TOutputOptions o = *outputOptions;
    if (o.FileName.empty()) {
        o.FileName = fileName;
    }
    task.StoreOutputOptions(slot, o);
    const std::vector<TOptionLine> lines = SplitOptionText(o.ExtOptions);
    TDefaultsList defaults(lines);
    defaults.SetDefault("acodec", o.AudioCodec);
    defaults.SetDefault("vcodec", o.VideoCodec);
    defaults.SetDefault("scodec", o.SubtitleCodec);
    defaults.SetDefault("apre", o.AudioPreset);
    defaults.SetDefault("vpre", o.VideoPreset);
    defaults.SetDefault("spre", o.SubtitlePreset);
    defaults.SetDefault("s", o.FrameSize);
    defaults.SetDefault("vf", o.VideoFilters);
    defaults.TakeFirstLines(false);

    static const char* const targets[] = {nullptr, "vcd", "svcd", "dvd"};
    if (o.Target >= 1 && o.Target <= 3) {
        task.ApplyTarget(targets[o.Target], TargetNormText(o.TargetNorm),
                         o.TargetFallbackNorm == 1 ? "pal" : "ntsc");
    }
    for (const char* name : {"acodec", "vcodec", "scodec", "apre", "vpre", "spre"}) {
        defaults.ApplyDefault(task, name);
    }
    ApplyOptionLines(task, lines, false);
    ApplyOutputRecord(task, o);
    defaults.ApplyDefault(task, "s");
    defaults.ApplyDefault(task, "vf");
    if (o.CustomHook) {
        RouteFramesThroughHook(task);
    }
    if (task.AddOutputFile(fileName, o.Join) < 0) {
        SetLastError(task.ErrorText());
        task.ResetOutputOptions(slot);
        return false;
    }
    AddPairedStreams(task, defaults, lines);
    return true;
}

// ---- conversion jobs ----------------------------------------------------------------------

namespace {

// The opendvd: address of a job's DVD title: its chapter span (or the whole title), audio and
// subpicture streams, two audio channels.
std::string DvdTitleAddress(const TConversionJob& job, bool wholeTitle) {
    TDVDParam param{};
    param.Title = job.Source.DvdTitle;
    const bool span = job.Range.FirstChapter > 0 && !wholeTitle;
    param.FromChapter = span ? job.Range.FirstChapter : 0;
    param.ToChapter = span ? job.Range.LastChapter : DVD_LAST_CHAPTER;
    param.AudioID = job.Audio.DvdStreamId;
    param.SubtitleID = job.Subtitles.DvdStreamId;
    param.AudioChannels = 2;
    param.Deinterlace = 0;
    return MakeDvdAddress(job.Source.Path, param);
}

// What the task reads: the input's name, where reading starts in it and how long the output
// lasts.
struct TReadPlan {
    std::string Input;
    std::int64_t Seek = 0;
    TJobTime Length;
    std::string Error;
};

// A time window on a chapter span of a DVD title counts from the title's start, as the trim
// editor shows the title: the whole title is read from the window's start, cut to the span, so
// that the seek lands on the picture of that time in the title.
TReadPlan ReadPlanOf(const TConversionJob& job) {
    const TJobRange& range = job.Range;
    TReadPlan plan;
    const bool dvd = job.Source.Kind == TJobSourceKind::DvdTitle;
    const bool windowOnSpan = dvd && range.FirstChapter > 0 && (range.Start || range.Length);
    plan.Input = dvd ? DvdTitleAddress(job, windowOnSpan) : job.Source.Path;
    if (!windowOnSpan) {
        plan.Seek = range.Start.value_or(0);
        plan.Length = range.Length;
        return plan;
    }
    const TDvdAddress span = ParseDvdAddress(DvdTitleAddress(job, false));
    const TDvdSpanTimes times = DvdChapterSpanTimes(span.location, *span.param);
    const TSpanWindow window = WindowInSpan(range, times.Start, times.Length);
    plan.Error = window.Error;
    plan.Seek = times.Start + window.Seek;
    plan.Length = window.Length ? window.Length : TJobTime(times.Start + times.Length - plan.Seek);
    return plan;
}

const char* TargetWord(TJobTarget target) {
    switch (target) {
    case TJobTarget::Vcd:
        return "vcd";
    case TJobTarget::Svcd:
        return "svcd";
    case TJobTarget::Dvd:
        return "dvd";
    default:
        return nullptr;
    }
}

// The job's own values for the settings that option text may also name ("acodec", "s" ...):
// what the main streams get unless a line of the text says otherwise.
void SetJobDefaults(TDefaultsList& defaults, const TConversionJob& job) {
    const auto codec = [](AVMediaType type, const std::string& word) -> TDefaultsList::TApply {
        if (word.empty()) {
            return {};
        }
        return [type, word](TTranscoder& task) { task.SetCodec(type, word); };
    };
    const auto preset = [](const char* kind, const std::string& name) -> TDefaultsList::TApply {
        if (name.empty()) {
            return {};
        }
        return [kind, name](TTranscoder& task) { task.ApplyPreset(kind, name); };
    };
    defaults.SetDefault("acodec", codec(AVMEDIA_TYPE_AUDIO, job.Audio.Codec));
    defaults.SetDefault("vcodec", codec(AVMEDIA_TYPE_VIDEO, job.Encoding.VideoCodec));
    defaults.SetDefault("vpre", preset("vpre", job.Encoding.VideoPreset));
    if (job.Picture.FrameSize.Set()) {
        const TJobSize size = job.Picture.FrameSize;
        defaults.SetDefault("s", [size](TTranscoder& task) {
            task.Options().frameWidth = size.Width;
            task.Options().frameHeight = size.Height;
        });
    }
    if (!job.Picture.Filters.empty()) {
        const std::string filters = job.Picture.Filters;
        defaults.SetDefault(
            "vf", [filters](TTranscoder& task) { task.Options().videoFilters = filters; });
    }
}

// The picture and sound values of the job, in the order the transcoder needs them: the crop is
// cut from the input's size before the frame size is set.
void ApplyJobValues(TTranscoder& task, const TConversionJob& job) {
    TTranscoderOptions& o = task.Options();
    if (!job.Output.Container.empty()) {
        o.forcedFormat = job.Output.Container;
    }
    o.audioDisable = job.Audio.Disabled;
    o.audioVolume = job.Audio.Volume;
    if (job.Audio.Channels > 0) {
        o.audioChannels = job.Audio.Channels;
    }
    if (job.Audio.SampleRate > 0) {
        o.audioSampleRate = job.Audio.SampleRate;
    }
    if (job.Audio.BitRate > 0) {
        task.SetBitRate(AVMEDIA_TYPE_AUDIO, job.Audio.BitRate);
    }
    o.videoDisable = job.Picture.Disabled;
    if (job.Encoding.FrameRate > 0) {
        task.SetFrameRate(job.Encoding.FrameRate);
    }
    if (job.Picture.AspectRatio.Set()) {
        task.SetAspectRatio(double(job.Picture.AspectRatio.Num) /
                            double(job.Picture.AspectRatio.Den));
    }
    const TJobCrop& crop = job.Picture.Crop;
    task.SetCrop("croptop", crop.Top);
    task.SetCrop("cropbottom", crop.Bottom);
    task.SetCrop("cropleft", crop.Left);
    task.SetCrop("cropright", crop.Right);
    if (job.Encoding.VideoBitRate > 0) {
        task.SetBitRate(AVMEDIA_TYPE_VIDEO, job.Encoding.VideoBitRate);
    }
    o.deinterlace = job.Picture.Deinterlace;
    o.subtitleDisable = job.Subtitles.Disabled;
}

} // namespace

int TConverter::AddJob(const TConversionJob& job) {
    CheckNotWorking("AddJob");
    try {
        const TReadPlan plan = ReadPlanOf(job);
        if (!plan.Error.empty()) {
            SetLastError(plan.Error);
            return -1;
        }
        std::unique_ptr<TTranscoder> task = NewTask();
        if (job.Encoding.CodecThreads) {
            task->SetThreadCount(*job.Encoding.CodecThreads);
        }
        // An output without video reads no video either.
        task->Options().videoDisable = job.Picture.Disabled;
        if (plan.Seek > 0) {
            task->Options().startTime = plan.Seek;
        }
        if (!OpenTaskInput(*task, plan.Input)) {
            return -1;
        }
        if (plan.Length) {
            task->SetRecordingTime(*plan.Length);
        }
        if (!ApplyJobOutput(*task, job)) {
            return -1;
        }
        return tasks_->Add(std::move(task));
    } catch (const std::exception& e) {
        SetLastError(e.what());
        return -1;
    }
}

bool TConverter::ApplyJobOutput(TTranscoder& task, const TConversionJob& job) {
    const std::vector<TOptionLine> lines = SplitOptionText(job.Output.OptionText);
    TDefaultsList defaults(lines);
    SetJobDefaults(defaults, job);
    defaults.TakeFirstLines(true);

    if (const char* target = TargetWord(job.Encoding.Target)) {
        const int norm = int(job.Encoding.TargetNorm);
        task.ApplyTarget(target, TargetNormText(norm), "pal");
    }
    for (const char* name : {"acodec", "vcodec", "scodec", "apre", "vpre", "spre"}) {
        defaults.ApplyDefault(task, name);
    }
    ApplyJobValues(task, job);
    ApplyOptionLines(task, lines, false);
    defaults.ApplyDefault(task, "s");
    defaults.ApplyDefault(task, "vf");
    if (job.Effects.FrameHook) {
        RouteFramesThroughHook(task);
    }
    if (task.AddOutputFile(job.Output.Path, false) < 0) {
        SetLastError(task.ErrorText());
        return false;
    }
    AddPairedStreams(task, defaults, lines);
    return true;
}

} // namespace tessaro
