// Turning a source row of a conversion run into one converter task: the chosen output
// format, the option builder, a fresh output name and the converter's task list. Both the
// file run and the DVD run of the main window and tessaro-cli's convert --format use it.
#pragma once

#include "DVDDecApi.h"
#include "converter/ConverterOptions.h"
#include "formats/EncodingOptionBuilder.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace tessaro {

class TCustomConverter;
class TIniFile;

// What every task of a run shares: the settings file (current values, output folder;
// written when the output folder falls back to the default), the format file, the format
// converted to and, when not empty, an output folder that replaces "settings"/"OutPutDir".
struct TRunContext {
    TRunContext(TIniFile& settings, const TIniFile& formats, int formatCode,
                std::string outputFolder = {})
        : Settings(settings), Formats(formats), FormatCode(formatCode),
          OutputFolder(std::move(outputFolder)) {}

    TIniFile& Settings;
    const TIniFile& Formats;
    int FormatCode;
    std::string OutputFolder;
};

// The format the windows convert to: "settings"/"FormatCode" (default 1).
int StoredFormatCode(const TIniFile& settings);

// What a run reads about its format: "." + "FileExt" (default "mp4") of the format file
// and the zoom mode "parazoom" (default "lbox") of the settings file.
struct TRunFormat {
    std::string ExtensionText;
    std::string ZoomMode;
};
TRunFormat ReadRunFormat(const TRunContext& run);

// "settings"/"priority" onto the converter's worker priority: 0 idle, 1 normal, 2 lower,
// 3 lowest; other values leave the priority as it is.
void ApplyRunPriority(TCustomConverter& converter, const TIniFile& settings);

// A file row: its source and what the row decided about its picture and time range.
struct TFileRow {
    std::string SourcePath;
    std::int64_t TrimStart = -1;  // microseconds; below 0: from the beginning
    std::int64_t TrimLength = -1; // microseconds; above 0 limits the output's duration
    std::int32_t CropTop = 0;
    std::int32_t CropLeft = 0;
    std::int32_t CropBottom = 0;
    std::int32_t CropRight = 0;
    bool FrameEffects = false; // the row's watermark or colour effects are set
};

// A DVD title row. Param.Title is the 0-based title the address names; chapters, audio and
// subtitle stream ids, channels and deinterlacing go into the address as they are.
struct TDvdRow {
    std::string Caption; // "DVD Title " + number; the output name is made from it
    std::string Location;
    TDVDParam Param{};
    std::int64_t TrimStart = -1;  // microseconds; below 0: from the start of the chapters
    std::int64_t TrimLength = -1; // microseconds; above 0 limits the output's duration
    std::int32_t CropTop = 0;
    std::int32_t CropLeft = 0;
    std::int32_t CropBottom = 0;
    std::int32_t CropRight = 0;
    bool FrameEffects = false; // the row's watermark or colour effects are set
};

// Called with the built output record before the output is set, so a caller can refine it.
using TOutputAdjustment = std::function<void(TOutputOptions&)>;

struct TPreparedTask {
    int TaskIndex = -1; // -1 when the task could not be prepared
    std::string OutputName;
    std::string Error; // the reason when TaskIndex is -1
    bool Ok() const { return TaskIndex >= 0; }
};

// Probes the source with the converter's probe, builds the options of the run's format,
// names the output in the output folder (an existing file is never overwritten) and adds the task
// with its output. A source the probe cannot open adds no task. The probe's file is closed again
// before returning. Throws what the option builder throws (a volume value that is no integer).
TPreparedTask AddFileTask(TCustomConverter& converter, const TRunContext& run, const TFileRow& row,
                          const TOutputAdjustment& adjust = {});

// The output record of a DVD title row of titleWidth x titleHeight: the row's crop, the DVD
// variant of the option builder with the run's format and zoom, the trim length and the frame
// effects (the file name is left empty). Input receives what an audio-only format adds.
void BuildDvdTitleOutput(const TRunContext& run, const TDvdRow& row, std::int32_t titleWidth,
                         std::int32_t titleHeight, TOutputOptions& output, TInputOptions& input);

// The same for a DVD title described by title: its "opendvd:" address as the input and the
// DVD variant of the option builder. When the output cannot be set the task is removed.
TPreparedTask AddDvdTitleTask(TCustomConverter& converter, const TRunContext& run,
                              const TDvdRow& row, const TDVDTitleInfo& title,
                              const TOutputAdjustment& adjust = {});

} // namespace tessaro
