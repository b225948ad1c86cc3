// Building tasks: an input from TInputOptions, an output from TOutputOptions, and the free
// option text of both records.
#include "converter/Converter.h"

#include "base/EngineException.h"
#include "base/TextHelpers.h"
#include "base/TimeTexts.h"
#include "converter/TranscoderTask.h"

#include <ctime>
#include <initializer_list>
#include <map>
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

// The codec, preset, size and filter lines of an output's option text, handed out one by
// one to the streams its "new..." lines create; "def_" entries are the fallbacks.
class TDefaultsList {
public:
    TDefaultsList(const TOutputOptions& o, const std::vector<TOptionLine>& lines) {
        SetDefault("acodec", o.AudioCodec);
        SetDefault("vcodec", o.VideoCodec);
        SetDefault("scodec", o.SubtitleCodec);
        SetDefault("apre", o.AudioPreset);
        SetDefault("vpre", o.VideoPreset);
        SetDefault("spre", o.SubtitlePreset);
        SetDefault("s", o.FrameSize);
        SetDefault("vf", o.VideoFilters);
        for (const TOptionLine& line : lines) {
            if (line.value.empty() ||
                !IsOneOf(line.name, {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s",
                                     "vfilters", "vf"})) {
                continue;
            }
            const std::string name = line.name == "vfilters" ? "vf" : line.name;
            // The record's field wins, then the first line.
            if (Default(name).empty()) {
                SetDefault(name, line.value);
            }
            lines_.push_back({name, line.value});
        }
    }

    const std::string& Default(const std::string& name) const {
        static const std::string none;
        const auto it = defaults_.find(name);
        return it == defaults_.end() ? none : it->second;
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
        SetIfNotEmpty(task, name.c_str(), Default(name));
    }

private:
    void SetDefault(const std::string& name, const std::string& value) {
        if (!value.empty()) {
            defaults_[name] = value;
        }
    }

    std::map<std::string, std::string> defaults_;
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

int TCustomConverter::AddTask(const std::string& fileName, const TInputOptions* inputOptions) {
    CheckNotWorking("AddTask");
    auto task = std::make_unique<TTranscoder>();
    try {
        task->ResetTask();
        task->SetOption("v", std::to_string(verbose_));
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
        if (!task->AddInputFile(fileName)) {
            SetLastError(task->ErrorText());
            return -1;
        }
        task->AttachInputProbe(task->InputFileCount() - 1);
        task->Callbacks().progress = [this,
                                      t](int fileIndex, int frameNumber, int fps, float quality,
                                         float bitRate, std::int64_t currentSize,
                                         std::int64_t currentDuration, std::int64_t totalDuration) {
            DoProgress(*t, fileIndex, frameNumber, fps, quality, bitRate, currentSize,
                       currentDuration, totalDuration);
        };
        task->SetTerminateCallback([this](TTranscoder& ended) { DoTerminate(&ended); });
    } catch (const std::exception& e) {
        SetLastError(e.what());
        return -1;
    }
    return tasks_->Add(std::move(task));
}

bool TCustomConverter::SetOutputFile(int taskIndex, const std::string& fileName,
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

bool TCustomConverter::ApplyOutput(TTranscoder& task, const std::string& fileName,
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
    TDefaultsList defaults(o, lines);

    static const char* const targets[] = {nullptr, "vcd", "svcd", "dvd"};
    if (o.Target >= 1 && o.Target <= 3) {
        task.ApplyTarget(targets[o.Target], TargetNormText(o.TargetNorm),
                         o.TargetFallbackNorm == 1 ? "pal" : "ntsc");
    }
    SetIfNotEmpty(task, "acodec", defaults.Default("acodec"));
    SetIfNotEmpty(task, "vcodec", defaults.Default("vcodec"));
    SetIfNotEmpty(task, "scodec", defaults.Default("scodec"));
    SetIfNotEmpty(task, "apre", defaults.Default("apre"));
    SetIfNotEmpty(task, "vpre", defaults.Default("vpre"));
    SetIfNotEmpty(task, "spre", defaults.Default("spre"));
    ApplyOptionLines(task, lines, false);
    ApplyOutputRecord(task, o);
    SetIfNotEmpty(task, "s", defaults.Default("s"));
    SetIfNotEmpty(task, "vfilters", defaults.Default("vf"));
    if (o.CustomHook) {
        TTranscoder* t = &task;
        task.Callbacks().customHook = [this, t](TBitmap& bitmap, int frameNumber, std::int64_t pts,
                                                bool& update, bool& stopHook) {
            DoCustomHook(*t, bitmap, frameNumber, pts, update, stopHook);
        };
    }
    if (task.AddOutputFile(fileName, o.Join) < 0) {
        SetLastError(task.ErrorText());
        task.ResetOutputOptions(slot);
        return false;
    }
    AddPairedStreams(task, defaults, lines);
    return true;
}

} // namespace tessaro
