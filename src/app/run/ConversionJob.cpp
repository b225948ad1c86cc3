#include "run/ConversionJob.h"

#include "converter/Converter.h"
#include "core/IniFile.h"
#include "dvdinput/DvdAddress.h"
#include "formats/FormatCatalogue.h"
#include "formats/OutputNames.h"

#include <iterator>

namespace tessaro {

namespace {

// The helpers below take a file row or a DVD title row: their edits have the same names.

template <typename Row> TRowZoom ZoomOf(const std::string& zoomMode, const Row& row) {
    return TRowZoom{zoomMode, row.CropTop, row.CropLeft, row.CropBottom, row.CropRight};
}

template <typename Row> void ApplyTrimStart(const Row& row, TInputOptions& input) {
    if (row.TrimStart >= 0) {
        input.StartTime = row.TrimStart;
    }
}

// The output ends with the trimmed range, and frames go through the frame effects when the
// row has a watermark or colour effects.
template <typename Row> void ApplyTrimLengthAndEffects(const Row& row, TOutputOptions& output) {
    if (row.TrimLength > 0) {
        output.Duration = row.TrimLength;
    }
    output.CustomHook = row.FrameEffects;
}

std::string OutputNameFor(const TRunContext& run, const std::string& source,
                          const TRunFormat& format) {
    if (!run.OutputFolder.empty()) {
        return MakeOutputNameInFolder(run.OutputFolder, source, format.ExtensionText);
    }
    return MakeOutputName(run.Settings, source, format.ExtensionText);
}

TPreparedTask Failed(const std::string& error) {
    TPreparedTask task;
    task.Error = error;
    return task;
}

// Adjusts the record, then sets the task's output; a refused output removes the task again
// so that no task without an output is left in the list.
TPreparedTask SetOutput(TCustomConverter& converter, int taskIndex, const std::string& outputName,
                        TOutputOptions& output, const TOutputAdjustment& adjust) {
    if (adjust) {
        adjust(output);
    }
    if (!converter.SetOutputFile(taskIndex, outputName, &output)) {
        const std::string error = converter.LastError();
        converter.RemoveTask(taskIndex);
        return Failed(error);
    }
    TPreparedTask task;
    task.TaskIndex = taskIndex;
    task.OutputName = outputName;
    return task;
}

} // namespace

int StoredFormatCode(const TIniFile& settings) {
    return settings.ReadInteger(kSettingsSection, "FormatCode", 1);
}

TRunFormat ReadRunFormat(const TRunContext& run) {
    const std::string section = FormatSectionName(run.FormatCode);
    TRunFormat format;
    format.ExtensionText = "." + run.Formats.ReadString(section, "FileExt", "mp4");
    format.ZoomMode = run.Settings.ReadString(section, "parazoom", "lbox");
    return format;
}

void ApplyRunPriority(TCustomConverter& converter, const TIniFile& settings) {
    // Indexed by the stored value.
    constexpr TThreadPriority priorities[] = {tpIdle, tpNormal, tpLower, tpLowest};
    const int stored = settings.ReadInteger(kSettingsSection, "priority", 1);
    if (stored >= 0 && stored < int(std::size(priorities))) {
        converter.SetThreadPriority(priorities[stored]);
    }
}

TPreparedTask AddFileTask(TCustomConverter& converter, const TRunContext& run, const TFileRow& row,
                          const TOutputAdjustment& adjust) {
    TInputOptions input;
    InitInputOptions(input);
    input.FileName = row.SourcePath;
    TMediaProbe& probe = converter.Probe();
    if (!probe.LoadFile(input.FileName)) {
        return Failed(probe.LastError());
    }
    // The probe's file stays open while the task is prepared and is closed in every case.
    struct TCloseProbe {
        TMediaProbe& probe;
        ~TCloseProbe() { probe.CloseFile(); }
    } closeProbe{probe};

    ApplyTrimStart(row, input);
    const TRunFormat format = ReadRunFormat(run);
    const std::string outputName = OutputNameFor(run, probe.GetFileName(), format);

    TOutputOptions output;
    InitOutputOptions(output);
    output.FileName = outputName;
    BuildEncodingOptions({run.Settings, run.Formats}, run.FormatCode, ZoomOf(format.ZoomMode, row),
                         SourceVideoOf(probe), output, input);
    ApplyTrimLengthAndEffects(row, output);

    const int taskIndex = converter.AddTask(input.FileName, &input);
    if (taskIndex < 0) {
        return Failed(converter.LastError());
    }
    return SetOutput(converter, taskIndex, outputName, output, adjust);
}

void BuildDvdTitleOutput(const TRunContext& run, const TDvdRow& row, std::int32_t titleWidth,
                         std::int32_t titleHeight, TOutputOptions& output, TInputOptions& input) {
    InitOutputOptions(output);
    const TRowZoom zoom = ZoomOf(ReadRunFormat(run).ZoomMode, row);
    // The builder clears these again when its letterbox text crops the title itself.
    if (zoom.CropTop > 0 || zoom.CropBottom > 0 || zoom.CropLeft > 0 || zoom.CropRight > 0) {
        output.CropTop = zoom.CropTop;
        output.CropBottom = zoom.CropBottom;
        output.CropLeft = zoom.CropLeft;
        output.CropRight = zoom.CropRight;
    }
    BuildDVDEncodingOptions({run.Settings, run.Formats}, run.FormatCode, zoom, titleWidth,
                            titleHeight, output, input);
    ApplyTrimLengthAndEffects(row, output);
}

TPreparedTask AddDvdTitleTask(TCustomConverter& converter, const TRunContext& run,
                              const TDvdRow& row, const TDVDTitleInfo& title,
                              const TOutputAdjustment& adjust) {
    const std::string outputName = OutputNameFor(run, row.Caption, ReadRunFormat(run));

    TInputOptions input;
    InitInputOptions(input);
    input.FileName = MakeDvdAddress(row.Location, row.Param);
    ApplyTrimStart(row, input);

    TOutputOptions output;
    BuildDvdTitleOutput(run, row, title.Width, title.Height, output, input);

    // The task is added once the input record is complete: audio-only formats add
    // input options of their own.
    const int taskIndex = converter.AddTask(input.FileName, &input);
    if (taskIndex < 0) {
        return Failed(converter.LastError());
    }
    return SetOutput(converter, taskIndex, outputName, output, adjust);
}

} // namespace tessaro
