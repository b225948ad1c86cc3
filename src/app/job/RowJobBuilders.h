// Turning a source list row into the conversion job that converts it: one builder for each row
// kind. The row's edits (trim, crop, chapters, audio and subtitle choice, frame effects), the
// chosen output format and the settings become one TConversionJob with a fresh output name. The
// main window's runs and tessaro-cli's convert --format build their jobs here.
#pragma once

#include "converter/ConversionJob.h"
#include "formats/RunChoices.h"
#include "job/FormatJobParts.h"

#include <string>
#include <utility>
#include <vector>

namespace tessaro {

class TIniFile;
class TMediaProbe;
struct TlvFilesRecord;

// What every job of a run shares: the settings file (current values, output folder; written
// when the output folder falls back to the default), the format file, the format converted to
// and, when not empty, an output folder that replaces "settings"/"OutPutDir".
struct TJobContext {
    TJobContext(TIniFile& settings, const TIniFile& formats, int formatCode,
                std::string outputFolder = {})
        : Settings(settings), Formats(formats), FormatCode(formatCode),
          OutputFolder(std::move(outputFolder)) {}

    TIniFile& Settings;
    const TIniFile& Formats;
    int FormatCode;
    std::string OutputFolder;
};

// A built job, or why there is none (Error: the source cannot be read). Problems lists what the
// caller is to resolve; a build with a WindowOutsideChapters problem has nothing to convert.
struct TBuiltJob {
    TConversionJob Job;
    std::vector<TJobProblem> Problems;
    std::string Error;

    bool Ok() const { return Error.empty(); }
    // The first problem of that kind, or null.
    const TJobProblem* Problem(TJobProblemKind kind) const;
};

// A file row: probes the source with probe (closed again before returning), builds the
// format's part for its picture, and names the output in the output folder (an existing file
// is never overwritten). Throws what the format part throws (a volume value that is no integer).
TBuiltJob BuildFileJob(const TJobContext& context, const std::string& sourcePath,
                       const TlvFilesRecord& record, TMediaProbe& probe,
                       const TJobAnswers& answers = {});

// A DVD title row of the disc at location (the DVD plug-in loaded): the title of the record's
// TitleIndex, its chapter span with the trim window inside it, its audio and subtitle streams;
// the output is named after "DVD Title " + number.
TBuiltJob BuildDvdTitleJob(const TJobContext& context, const std::string& location,
                           const TlvFilesRecord& record, const TJobAnswers& answers = {});

} // namespace tessaro
