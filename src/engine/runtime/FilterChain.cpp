#include "runtime/FilterChain.h"

namespace tessaro {

int LinkFilterChain(AVFilterGraph* graph, AVFilterContext* from, AVFilterContext* to,
                    const std::string& text) {
    // The library names the open ends of a parsed chain "in" and "out"; they are given the
    // filters they join, and freed whatever the parse did with them.
    AVFilterInOut* outputs = ff::avfilter_inout_alloc();
    AVFilterInOut* inputs = ff::avfilter_inout_alloc();
    int ret = AVERROR(ENOMEM);
    if (outputs != nullptr && inputs != nullptr) {
        outputs->name = ff::av_strdup("in");
        outputs->filter_ctx = from;
        outputs->pad_idx = 0;
        inputs->name = ff::av_strdup("out");
        inputs->filter_ctx = to;
        inputs->pad_idx = 0;
        ret = ff::avfilter_graph_parse_ptr(graph, text.c_str(), &inputs, &outputs, nullptr);
    }
    ff::avfilter_inout_free(&outputs);
    ff::avfilter_inout_free(&inputs);
    return ret;
}

} // namespace tessaro
