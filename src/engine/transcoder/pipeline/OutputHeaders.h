// What the output files get from their inputs before their headers are written: metadata
// and chapters; and the session description of RTP outputs.
#pragma once

#include "transcoder/TaskLog.h"
#include "transcoder/options/TranscoderOptions.h"

namespace tessaro {

class TInputSet;
class TOutputSet;

// The "map_meta_data" maps (an output or input index out of range throws), then the chapters
// of every input into every output, shifted by the input's time-stamp offset and clipped to
// the recording time.
void CopyMetadataAndChapters(const TInputSet& inputs, const TOutputSet& outputs,
                             const TTranscoderOptions& options);

// When every output is an RTP stream, the session description a receiver needs to play them.
void LogRtpSessionDescription(const TOutputSet& outputs, const TTaskLog& log);

} // namespace tessaro
