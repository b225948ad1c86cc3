#include "transcoder/pipeline/OutputHeaders.h"

#include "base/EngineException.h"
#include "base/EngineLogger.h"
#include "transcoder/pipeline/InputSet.h"
#include "transcoder/pipeline/OutputSet.h"

#include <cstring>

namespace tessaro {

namespace {

void AppendChapter(AVFormatContext* out, const AVChapter* chapter, std::int64_t start,
                   std::int64_t end) {
    auto** grown = static_cast<AVChapter**>(
        ff::av_realloc(out->chapters, sizeof(AVChapter*) * (out->nb_chapters + 1)));
    auto* copy = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
    if (grown != nullptr) {
        out->chapters = grown;
    }
    if (grown == nullptr || copy == nullptr) {
        ff::av_free(copy);
        throw EngineException("av_mallocz fail");
    }
    copy->id = chapter->id;
    copy->time_base = chapter->time_base;
    copy->start = start;
    copy->end = end;
    ff::av_dict_copy(&copy->metadata, chapter->metadata, 0);
    out->chapters[out->nb_chapters++] = copy;
}

void CopyChapters(const TInputFile& input, AVFormatContext* out,
                  const TTranscoderOptions& options) {
    const AVFormatContext* in = input.context.get();
    for (unsigned c = 0; c < in->nb_chapters; ++c) {
        const AVChapter* chapter = in->chapters[c];
        const std::int64_t shift =
            ff::av_rescale_q(input.tsOffset, AV_TIME_BASE_Q, chapter->time_base);
        const std::int64_t limit =
            options.recordingTime == INT64_MAX
                ? INT64_MAX
                : ff::av_rescale_q(options.recordingTime, AV_TIME_BASE_Q, chapter->time_base);
        const std::int64_t start = chapter->start + shift;
        const std::int64_t end = chapter->end + shift;
        if (end < 0 || start > limit) {
            continue;
        }
        AppendChapter(out, chapter, std::max<std::int64_t>(start, 0), std::min(end, limit));
    }
}

} // namespace

void CopyMetadataAndChapters(const TInputSet& inputs, const TOutputSet& outputs,
                             const TTranscoderOptions& options) {
    for (const TMetaDataMap& map : options.metaDataMaps) {
        if (map.outFile < 0 || map.outFile >= outputs.Count()) {
            throw EngineException(FormatText("Invalid output file index %d map_meta_data(%d,%d)",
                                             map.outFile, map.outFile, map.inFile));
        }
        if (map.inFile < 0 || map.inFile >= inputs.Count()) {
            throw EngineException(FormatText("Invalid input file index %d map_meta_data(%d,%d)",
                                             map.inFile, map.outFile, map.inFile));
        }
        ff::av_dict_copy(&outputs.Context(map.outFile)->metadata,
                         inputs.Context(map.inFile)->metadata, AV_DICT_DONT_OVERWRITE);
    }
    for (int i = 0; i < inputs.Count(); ++i) {
        if (inputs.Context(i)->nb_chapters == 0) {
            continue;
        }
        for (const auto& output : outputs.Files()) {
            CopyChapters(inputs.File(i), output->context.get(), options);
        }
    }
}

void LogRtpSessionDescription(const TOutputSet& outputs, const TTaskLog& log) {
    std::vector<AVFormatContext*> contexts;
    for (const auto& output : outputs.Files()) {
        if (std::strcmp(output->context->oformat->name, "rtp") != 0) {
            return;
        }
        contexts.push_back(output->context.get());
    }
    if (contexts.empty()) {
        return;
    }
    char sdp[2048];
    if (ff::av_sdp_create(contexts.data(), int(contexts.size()), sdp, sizeof(sdp)) < 0) {
        return;
    }
    log(llInfo, std::string("SDP:\r\n") + sdp);
}

} // namespace tessaro
