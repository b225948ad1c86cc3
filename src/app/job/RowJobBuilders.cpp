#include "job/RowJobBuilders.h"

#include "base/EngineException.h"
#include "core/IniFile.h"
#include "dvdinput/DvdAddress.h"
#include "dvdinput/DvdChapterTimes.h"
#include "formats/OutputNames.h"
#include "probe/MediaProbe.h"
#include "sources/SourceRecord.h"

namespace tessaro {

namespace {

TRowZoom ZoomOf(const std::string& zoomMode, const TlvFilesRecord& record) {
    return TRowZoom{zoomMode, record.CropTop, record.CropLeft, record.CropBottom, record.CropRight};
}

std::string OutputNameFor(const TJobContext& context, const std::string& source,
                          const TRunFormat& format) {
    if (!context.OutputFolder.empty()) {
        return MakeOutputNameInFolder(context.OutputFolder, source, format.ExtensionText);
    }
    return MakeOutputName(context.Settings, source, format.ExtensionText);
}

// The record stores 0 for "no trim"; the job says it with no value.
TJobTime StoredTime(std::int64_t microseconds) {
    return microseconds > 0 ? TJobTime(microseconds) : std::nullopt;
}

// The row's trim window, and what it leaves of the row.
void ApplyRowEdits(const TlvFilesRecord& record, TConversionJob& job) {
    job.Range.Start = StoredTime(record.TrimStart);
    job.Range.Length = StoredTime(record.TrimLength);
    job.Effects.FrameHook = HasFrameEffects(record);
}

TBuiltJob Failed(std::string error) {
    TBuiltJob built;
    built.Error = std::move(error);
    return built;
}

// A trim on a chapter span must meet the span; the span's times come from the disc.
void CheckWindowInChapters(const TConversionJob& job, TBuiltJob& built) {
    const TJobRange& range = job.Range;
    if (range.FirstChapter <= 0 || (!range.Start && !range.Length)) {
        return;
    }
    TDVDParam param{};
    param.Title = job.Source.DvdTitle;
    param.FromChapter = range.FirstChapter;
    param.ToChapter = range.LastChapter;
    param.AudioID = job.Audio.DvdStreamId;
    param.AudioChannels = 2;
    const TDvdSpanTimes span = DvdChapterSpanTimes(job.Source.Path, param);
    const TSpanWindow window = WindowInSpan(range, span.Start, span.Length);
    if (!window.Ok()) {
        built.Problems.push_back({TJobProblemKind::WindowOutsideChapters, window.Error});
    }
}

} // namespace

const TJobProblem* TBuiltJob::Problem(TJobProblemKind kind) const {
    for (const TJobProblem& problem : Problems) {
        if (problem.Kind == kind) {
            return &problem;
        }
    }
    return nullptr;
}

TBuiltJob BuildFileJob(const TJobContext& context, const std::string& sourcePath,
                       const TlvFilesRecord& record, TMediaProbe& probe,
                       const TJobAnswers& answers) {
    if (!probe.LoadFile(sourcePath)) {
        return Failed(probe.LastError());
    }
    // The probe's file stays open while the job is built and is closed in every case.
    struct TCloseProbe {
        TMediaProbe& probe;
        ~TCloseProbe() { probe.CloseFile(); }
    } closeProbe{probe};

    TBuiltJob built;
    TConversionJob& job = built.Job;
    job.Source = {TJobSourceKind::File, sourcePath, 0};
    ApplyRowEdits(record, job);
    const TRunFormat format = ReadRunFormat(context.Settings, context.Formats, context.FormatCode);
    job.Output.Path = OutputNameFor(context, probe.GetFileName(), format);
    built.Problems =
        ApplyFileFormat({context.Settings, context.Formats}, context.FormatCode,
                        ZoomOf(format.ZoomMode, record), SourceVideoOf(probe), answers, job);
    return built;
}

TBuiltJob BuildDvdTitleJob(const TJobContext& context, const std::string& location,
                           const TlvFilesRecord& record, const TJobAnswers& answers) {
    TBuiltJob built;
    TConversionJob& job = built.Job;
    job.Source = {TJobSourceKind::DvdTitle, location, record.TitleIndex};
    job.Range.FirstChapter = record.ChapterFrom;
    job.Range.LastChapter = record.ChapterTo;
    job.Audio.DvdStreamId = record.AudioID;
    job.Subtitles.DvdStreamId = record.SubtitleID;
    ApplyRowEdits(record, job);
    try {
        CheckWindowInChapters(job, built);
    } catch (const EngineException& e) {
        return Failed(e.what());
    }

    const TRunFormat format = ReadRunFormat(context.Settings, context.Formats, context.FormatCode);
    const TRowZoom zoom = ZoomOf(format.ZoomMode, record);
    // The format part clears the crop again when its letterbox text crops the title itself.
    job.Picture.Crop = TJobCrop{zoom.CropTop, zoom.CropBottom, zoom.CropLeft, zoom.CropRight};
    const std::vector<TJobProblem> formatProblems =
        ApplyDvdFormat({context.Settings, context.Formats}, context.FormatCode, zoom,
                       record.TitleInfo.Width, record.TitleInfo.Height, answers, job);
    built.Problems.insert(built.Problems.end(), formatProblems.begin(), formatProblems.end());
    job.Output.Path =
        OutputNameFor(context, "DVD Title " + std::to_string(record.TitleIndex + 1), format);
    return built;
}

} // namespace tessaro
