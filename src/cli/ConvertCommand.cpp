// tessaro-cli convert: one conversion with the converter component, a progress display, and a
// clean stop on Ctrl-C (the output keeps its trailer). Either to an output file with options
// given field by field, or to one of the catalogue's output formats the way the program's
// conversion runs do it (settings file, format file, option builder, fresh output name).
#include "CliCommand.h"
#include "DVDPlugIn.h"
#include "base/EngineException.h"
#include "base/FileHelpers.h"
#include "base/MainThread.h"
#include "converter/Converter.h"
#include "core/AppPaths.h"
#include "core/DefaultSettings.h"
#include "core/IniFile.h"
#include "dvdinput/DvdAddress.h"
#include "formats/FormatCatalogue.h"
#include "job/RowJobBuilders.h"
#include "sources/SourceRecord.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include <unistd.h>

namespace tessaro::cli {
namespace {

using namespace std::chrono_literals;

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

// ---- --opt NAME=VALUE: record fields by their names, anything else as option text ----

using TFieldSetter = std::function<void(TOutputOptions&, const std::string&)>;

std::int64_t ParseInteger(const std::string& text) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') {
        throw std::invalid_argument("not an integer");
    }
    return value;
}

double ParseDecimal(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
        throw std::invalid_argument("not a number");
    }
    return value;
}

bool ParseBoolean(const std::string& text) {
    if (text == "1" || text == "true" || text == "yes") {
        return true;
    }
    if (text == "0" || text == "false" || text == "no") {
        return false;
    }
    throw std::invalid_argument("not a Boolean (1/0, true/false, yes/no)");
}

template <class M> TFieldSetter Text(M TOutputOptions::*field) {
    return [field](TOutputOptions& o, const std::string& v) { o.*field = v; };
}
template <class M> TFieldSetter Integer(M TOutputOptions::*field) {
    return [field](TOutputOptions& o, const std::string& v) { o.*field = M(ParseInteger(v)); };
}
TFieldSetter Decimal(float TOutputOptions::*field) {
    return [field](TOutputOptions& o, const std::string& v) { o.*field = float(ParseDecimal(v)); };
}
TFieldSetter Boolean(bool TOutputOptions::*field) {
    return [field](TOutputOptions& o, const std::string& v) { o.*field = ParseBoolean(v); };
}
// Times are given in seconds on the command line; the record holds microseconds.
TFieldSetter Seconds(std::int64_t TOutputOptions::*field) {
    return [field](TOutputOptions& o, const std::string& v) {
        o.*field = std::llround(ParseDecimal(v) * 1e6);
    };
}
template <class M> TFieldSetter MetadataText(M TStreamInfo::*field) {
    return [field](TOutputOptions& o, const std::string& v) { o.Metadata.*field = v; };
}
template <class M> TFieldSetter MetadataInteger(M TStreamInfo::*field) {
    return [field](TOutputOptions& o, const std::string& v) {
        o.Metadata.*field = M(ParseInteger(v));
    };
}

const std::map<std::string, TFieldSetter>& OutputFields() {
    using O = TOutputOptions;
    static const std::map<std::string, TFieldSetter> fields = {
        {"FileFormat", Text(&O::FileFormat)},
        {"PacketSize", Integer(&O::PacketSize)},
        {"MuxRate", Integer(&O::MuxRate)},
        {"MuxDelay", Decimal(&O::MuxDelay)},
        {"MuxPreload", Decimal(&O::MuxPreload)},
        {"AudioCodec", Text(&O::AudioCodec)},
        {"AudioPreset", Text(&O::AudioPreset)},
        {"DisableAudio", Boolean(&O::DisableAudio)},
        {"AudioVolume", Integer(&O::AudioVolume)},
        {"AudioChannels", Integer(&O::AudioChannels)},
        {"AudioSampleRate", Integer(&O::AudioSampleRate)},
        {"AudioBitrate", Integer(&O::AudioBitrate)},
        {"AudioBitrateTolerance", Integer(&O::AudioBitrateTolerance)},
        {"AudioLanguage", Text(&O::AudioLanguage)},
        {"AudioSyncMethod", Integer(&O::AudioSyncMethod)},
        {"AudioTag", Text(&O::AudioTag)},
        {"VideoCodec", Text(&O::VideoCodec)},
        {"VideoPreset", Text(&O::VideoPreset)},
        {"DisableVideo", Boolean(&O::DisableVideo)},
        {"FrameRate", Text(&O::FrameRate)},
        {"FrameSize", Text(&O::FrameSize)},
        {"FrameAspectRatio", Text(&O::FrameAspectRatio)},
        {"CropTop", Integer(&O::CropTop)},
        {"CropBottom", Integer(&O::CropBottom)},
        {"CropLeft", Integer(&O::CropLeft)},
        {"CropRight", Integer(&O::CropRight)},
        {"GOPSize", Integer(&O::GOPSize)},
        {"VideoBitrate", Integer(&O::VideoBitrate)},
        {"VideoMaxRate", Integer(&O::VideoMaxRate)},
        {"VideoMinRate", Integer(&O::VideoMinRate)},
        {"VideoBitrateTolerance", Integer(&O::VideoBitrateTolerance)},
        {"VideoBufSize", Integer(&O::VideoBufSize)},
        {"VideoSyncMethod", Integer(&O::VideoSyncMethod)},
        {"VideoTag", Text(&O::VideoTag)},
        {"VideoFilters", Text(&O::VideoFilters)},
        {"VideoLanguage", Text(&O::VideoLanguage)},
        {"SubtitleCodec", Text(&O::SubtitleCodec)},
        {"SubtitlePreset", Text(&O::SubtitlePreset)},
        {"DisableSubtitle", Boolean(&O::DisableSubtitle)},
        {"SubtitleLanguage", Text(&O::SubtitleLanguage)},
        {"InputSync", Boolean(&O::InputSync)},
        {"CopyTimestamps", Boolean(&O::CopyTimestamps)},
        {"StartTime", Seconds(&O::StartTime)},
        {"Duration", Seconds(&O::Duration)},
        {"Year", MetadataInteger(&TStreamInfo::Year)},
        {"Track", MetadataInteger(&TStreamInfo::Track)},
        {"Title", MetadataText(&TStreamInfo::Title)},
        {"Author", MetadataText(&TStreamInfo::Author)},
        {"Copyright", MetadataText(&TStreamInfo::Copyright)},
        {"Comment", MetadataText(&TStreamInfo::Comment)},
        {"Album", MetadataText(&TStreamInfo::Album)},
        {"Genre", MetadataText(&TStreamInfo::Genre)},
        {"Target", Integer(&O::Target)},
        {"TargetNorm", Integer(&O::TargetNorm)},
        {"TargetFallbackNorm", Integer(&O::TargetFallbackNorm)},
        {"Join", Boolean(&O::Join)},
    };
    return fields;
}

struct TConvertArguments {
    std::string input;
    std::string output; // the output file; with a format, the output folder (may be empty)
    std::vector<std::string> assignments; // --opt NAME=VALUE, in order
    int formatCode = -1;                  // --format CODE; -1: convert to the output file
    std::string settingsPath;             // --settings FILE
    int codecThreads = -1;                // --threads N; -1: the converter's default
};

// NAME and VALUE of an --opt NAME=VALUE.
std::pair<std::string, std::string> SplitAssignment(const std::string& assignment) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw std::invalid_argument("--opt needs NAME=VALUE, got \"" + assignment + "\"");
    }
    return {assignment.substr(0, equals), assignment.substr(equals + 1)};
}

// Sets a record field by its name; a bad value names the assignment.
void SetField(TOutputOptions& options, const std::string& name, const std::string& value) {
    try {
        OutputFields().at(name)(options, value);
    } catch (const std::invalid_argument& e) {
        throw std::invalid_argument(name + "=" + value + ": " + e.what());
    }
}

// Record field names are matched exactly (they are capitalised, option names are not);
// any other NAME=VALUE becomes a line of the output's option text.
void ApplyOpt(TOutputOptions& options, const std::string& assignment) {
    const auto [name, value] = SplitAssignment(assignment);
    if (OutputFields().count(name) == 0) {
        options.ExtOptions += (options.ExtOptions.empty() ? "" : "\n") + assignment;
        return;
    }
    SetField(options, name, value);
}

// In a conversion to a format, Duration and StartTime (seconds, as for the record) set the job's
// time window; any other NAME=VALUE is a line of the job's option text, applied on top of what
// the format gives. The other record fields belong to conversions without a format.
void ApplyJobOpt(TConversionJob& job, const std::string& assignment) {
    const auto [name, value] = SplitAssignment(assignment);
    if (name == "Duration" || name == "StartTime") {
        TOutputOptions seconds;
        SetField(seconds, name, value);
        if (name == "Duration") {
            job.Range.Length = seconds.Duration;
        } else {
            job.Range.Start = seconds.StartTime;
        }
        return;
    }
    if (OutputFields().count(name) != 0) {
        throw std::invalid_argument(name + " is a field of the output record, which a conversion "
                                           "to a format does not use; give an option word");
    }
    job.Output.OptionText += (job.Output.OptionText.empty() ? "" : "\n") + assignment;
}

// The value after an option such as --format.
const std::string& OptionValue(const std::vector<std::string>& args, std::size_t& i,
                               const char* expected) {
    if (i + 1 >= args.size()) {
        throw std::invalid_argument(args[i] + " needs " + expected);
    }
    return args[++i];
}

// 0 lets the codecs choose for the machine (what a run does without the option).
int ParseThreadCount(const std::string& text) {
    std::int64_t count = -1;
    try {
        count = ParseInteger(text);
    } catch (const std::invalid_argument&) {
    }
    if (count < 0 || count > 64) {
        throw std::invalid_argument("--threads needs a thread count from 0 (automatic) to 64, "
                                    "got \"" +
                                    text + "\"");
    }
    return int(count);
}

int ParseFormatCode(const std::string& text) {
    std::int64_t code = -1;
    try {
        code = ParseInteger(text);
    } catch (const std::invalid_argument&) {
    }
    if (code < 0 || code > 9999 || FormatDisplayName(int(code)).empty()) {
        throw std::invalid_argument("unknown format code \"" + text +
                                    "\"; tessaro-cli formats lists the codes");
    }
    return int(code);
}

TConvertArguments ParseArguments(const std::vector<std::string>& args) {
    TConvertArguments parsed;
    TOutputOptions check;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--opt") {
            parsed.assignments.push_back(OptionValue(args, i, "NAME=VALUE"));
        } else if (args[i] == "--format") {
            parsed.formatCode = ParseFormatCode(OptionValue(args, i, "a format CODE"));
        } else if (args[i] == "--settings") {
            parsed.settingsPath = OptionValue(args, i, "a settings FILE");
        } else if (args[i] == "--threads") {
            parsed.codecThreads = ParseThreadCount(OptionValue(args, i, "a thread count"));
        } else if (args[i].rfind("--", 0) == 0) {
            throw std::invalid_argument("unknown option \"" + args[i] + "\"");
        } else {
            positional.push_back(args[i]);
        }
    }
    // A bad assignment is refused before anything starts.
    TConversionJob checkJob;
    for (const std::string& assignment : parsed.assignments) {
        if (parsed.formatCode < 0) {
            ApplyOpt(check, assignment);
        } else {
            ApplyJobOpt(checkJob, assignment);
        }
    }
    if (parsed.formatCode < 0 && !parsed.settingsPath.empty()) {
        throw std::invalid_argument("--settings needs --format");
    }
    if (parsed.formatCode < 0 && positional.size() != 2) {
        throw std::invalid_argument("convert needs INPUT and OUTPUT");
    }
    if (parsed.formatCode >= 0 && (positional.empty() || positional.size() > 2)) {
        throw std::invalid_argument("convert --format needs INPUT and at most an OUTPUT-FOLDER");
    }
    parsed.input = positional[0];
    parsed.output = positional.size() > 1 ? positional[1] : std::string();
    return parsed;
}

void ApplyOpts(TOutputOptions& options, const std::vector<std::string>& assignments) {
    for (const std::string& assignment : assignments) {
        ApplyOpt(options, assignment);
    }
}

// ---- progress display ----

std::string ClockText(double seconds) {
    const long long s = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    }
    return text;
}

class TProgressDisplay {
public:
    TProgressDisplay() : terminal_(isatty(STDOUT_FILENO) != 0), start_(Clock::now()) {}

    void Show(const TProgressInfo& info) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        double percent = -1;
        if (info.TotalDuration > 0) {
            percent = 100.0 * double(info.CurrentDuration) / double(info.TotalDuration);
            percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
        }
        std::string left = "--:--";
        if (percent > 0) {
            left = ClockText(elapsed * (100 - percent) / percent);
        }
        const int fps = info.FPS < 0 ? 0 : info.FPS;
        char text[160];
        if (terminal_) {
            constexpr int width = 30;
            const int filled = percent < 0 ? 0 : int(percent * width / 100);
            const std::string bar = std::string(std::size_t(filled), '#') +
                                    std::string(std::size_t(width - filled), '.');
            std::snprintf(text, sizeof text, "\r[%s] %5.1f%%  %4d fps  %s left ", bar.c_str(),
                          percent < 0 ? 0.0 : percent, fps, left.c_str());
            std::cout << text << std::flush;
            lineOpen_ = true;
        } else {
            std::snprintf(text, sizeof text, "progress %.1f%% frame=%d fps=%d left=%s",
                          percent < 0 ? 0.0 : percent, info.FrameNumber, fps, left.c_str());
            std::cout << text << std::endl;
        }
    }

    void Finish() {
        if (lineOpen_) {
            std::cout << '\n' << std::flush;
            lineOpen_ = false;
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    bool terminal_;
    bool lineOpen_ = false;
    Clock::time_point start_;
};

// ---- the run ----

// ---- preparing the task ----

struct TPreparedTask {
    int TaskIndex = -1; // -1 when the task could not be prepared
    std::string OutputName;
    std::string Error; // the reason when TaskIndex is -1
    bool Ok() const { return TaskIndex >= 0; }
};

// Titles of "opendvd:" inputs are read through the DVD plug-in beside the executable.
void LoadDvdPlugInForInput(const std::string& input) {
    if (std::string error; !LoadDvdPlugInFor(input, error)) {
        throw std::invalid_argument(error);
    }
}

// The output file with the record built from --opt assignments alone.
TPreparedTask AddPlainTask(TConverter& converter, const TConvertArguments& arguments) {
    TPreparedTask prepared;
    LoadDvdPlugInForInput(arguments.input);
    const int task = converter.AddTask(arguments.input);
    if (task < 0) {
        prepared.Error = converter.LastError();
        return prepared;
    }
    TOutputOptions options;
    InitOutputOptions(options);
    ApplyOpts(options, arguments.assignments);
    if (!converter.SetOutputFile(task, arguments.output, &options)) {
        prepared.Error = converter.LastError();
        return prepared;
    }
    prepared.TaskIndex = task;
    prepared.OutputName = arguments.output;
    return prepared;
}

// The settings file of a format conversion: the one given, else the program's own; either is
// made from the shipped defaults when it does not exist yet.
std::string PrepareSettingsFile(const TConvertArguments& arguments, const std::string& formatPath) {
    const std::string path =
        arguments.settingsPath.empty() ? SettingsFilePath(ProgramFolder()) : arguments.settingsPath;
    InstallDefaultSettings(path, DefaultSettingsPath(formatPath));
    return path;
}

// The list row of a DVD title named by its full "opendvd:" address, described by the DVD
// plug-in: its title, chapters, audio and subtitle streams.
TlvFilesRecord DvdTitleRecord(const TDvdAddress& address) {
    if (!address.param) {
        throw std::invalid_argument("convert --format needs the title in the DVD address, as in "
                                    "opendvd:LOCATION|Title=1");
    }
    if (DVDEnumTitle(address.location) < 1) {
        throw std::invalid_argument("\"" + address.location +
                                    "\" is not a DVD: no DVD-Video titles found");
    }
    const TDVDParam& param = *address.param;
    TlvFilesRecord record;
    record.TitleIndex = param.Title;
    if (!DVDGetTitle(param.Title, record.TitleInfo)) {
        throw std::invalid_argument("Title #" + std::to_string(param.Title + 1) + " is invalid");
    }
    record.ChapterFrom = param.FromChapter;
    record.ChapterTo = param.ToChapter;
    record.AudioID = param.AudioID;
    record.SubtitleID = param.SubtitleID;
    return record;
}

// The job of a file or DVD title converted to a catalogue format, as the program's runs build
// it. A stored frame size that is unreadable gives way to the format's default size, with a
// line saying why.
TConversionJob BuildFormatJob(TConverter& converter, const TConvertArguments& arguments,
                              const TJobContext& context) {
    const bool dvd = IsDvdAddress(arguments.input);
    TlvFilesRecord record;
    TDvdAddress address;
    if (dvd) {
        LoadDvdPlugInForInput(arguments.input);
        address = ParseDvdAddress(arguments.input);
        record = DvdTitleRecord(address);
    }
    const auto build = [&](const TJobAnswers& answers) {
        return dvd ? BuildDvdTitleJob(context, address.location, record, answers)
                   : BuildFileJob(context, arguments.input, record, converter.Probe(), answers);
    };
    TBuiltJob built = build({});
    if (const TJobProblem* size = built.Problem(TJobProblemKind::UnreadableFrameSize)) {
        TJobAnswers answers;
        answers.FrameSize =
            FormatDefaultFrameSize({context.Settings, context.Formats}, context.FormatCode);
        const std::string used = answers.FrameSize
                                     ? std::to_string(answers.FrameSize->Width) + "x" +
                                           std::to_string(answers.FrameSize->Height)
                                     : "the source's size";
        std::cout << "tessaro-cli: " << size->Message << "; converting at " << used << "\n";
        if (answers.FrameSize) {
            built = build(answers);
        }
    }
    if (!built.Ok()) {
        throw std::invalid_argument(built.Error);
    }
    if (const TJobProblem* outside = built.Problem(TJobProblemKind::WindowOutsideChapters)) {
        throw std::invalid_argument(outside->Message);
    }
    return built.Job;
}

TPreparedTask AddFormatTask(TConverter& converter, const TConvertArguments& arguments) {
    const std::string formatPath = FormatFilePath(ProgramFolder());
    TIniFile settings(PrepareSettingsFile(arguments, formatPath));
    const TIniFile formats(formatPath);
    if (!arguments.output.empty()) {
        std::error_code error;
        std::filesystem::create_directories(arguments.output, error);
        if (!std::filesystem::is_directory(arguments.output, error)) {
            throw std::invalid_argument("cannot create the output folder \"" + arguments.output +
                                        "\"");
        }
    }
    const TJobContext context{settings, formats, arguments.formatCode, arguments.output};
    ApplyRunPriority(converter, settings);
    TConversionJob job = BuildFormatJob(converter, arguments, context);
    for (const std::string& assignment : arguments.assignments) {
        ApplyJobOpt(job, assignment);
    }
    TPreparedTask prepared;
    prepared.TaskIndex = converter.AddJob(job);
    prepared.OutputName = job.Output.Path;
    if (!prepared.Ok()) {
        prepared.Error = converter.LastError();
    }
    return prepared;
}

// ---- the run ----

int RunConvert(const std::vector<std::string>& args) {
    TConvertArguments arguments;
    try {
        arguments = ParseArguments(args);
    } catch (const std::invalid_argument& e) {
        return Fail(e.what());
    }
    TConverter converter;
    if (!converter.LoadLibraries(LibraryFolder(ProgramFolder()))) {
        return Fail(converter.LastError());
    }
    if (arguments.codecThreads >= 0) {
        converter.SetCodecThreads(arguments.codecThreads);
    }
    TPreparedTask prepared;
    try {
        prepared = arguments.formatCode < 0 ? AddPlainTask(converter, arguments)
                                            : AddFormatTask(converter, arguments);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    if (!prepared.Ok()) {
        return Fail(prepared.Error);
    }
    const std::string output = prepared.OutputName;

    TProgressDisplay display;
    std::mutex resultLock;
    TTerminateInfo result;
    std::atomic<bool> done{false};
    converter.SetProgressInterval(250);
    converter.SetOnProgress([&](TConverter&, PProgressInfo info) { display.Show(*info); });
    converter.SetOnTerminate([&](TConverter&, const TTerminateInfo& info) {
        if (info.TaskIndex == -1) {
            done = true;
            return;
        }
        std::lock_guard guard(resultLock);
        result = info;
    });

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);
    interrupted = 0;

    converter.StartTask(1);
    bool stopped = false;
    while (!done) {
        WaitAndProcessPendingMessages(100ms);
        if (interrupted != 0 && !stopped) {
            stopped = true;
            // A second Ctrl-C ends the program at once.
            sigaction(SIGINT, &previous, nullptr);
            converter.StopAll(true);
        }
    }
    sigaction(SIGINT, &previous, nullptr);
    display.Finish();

    std::lock_guard guard(resultLock);
    if (result.Exception) {
        return Fail(result.ExceptionMsg);
    }
    if (stopped) {
        Fail("interrupted; \"" + output + "\" holds what was converted so far");
        return 130;
    }
    if (!result.Finished) {
        return Fail("the conversion did not finish");
    }
    std::cout << "converted \"" << arguments.input << "\" to \"" << output << "\"\n";
    return 0;
}

const TCommandRegistration
    registration({"convert", "INPUT OUTPUT [--threads N] [--opt NAME=VALUE ...]",
                  "convert a file; NAME is an output record field (times in seconds) or an "
                  "option; N codec threads (0, the default, chooses for the machine)",
                  &RunConvert});
const TCommandRegistration formatRegistration(
    {"convert",
     "--format CODE [--settings FILE] [--threads N] INPUT [OUTPUT-FOLDER] [--opt NAME=VALUE ...]",
     "convert a file or an opendvd: title to a format of tessaro-cli formats; --opt "
     "Duration=S or StartTime=S sets the time window, any other NAME=VALUE is an option "
     "word applied on top of the format",
     &RunConvert});

} // namespace
} // namespace tessaro::cli
