#include "transcoder/options/LibraryOptionContexts.h"

#include <algorithm>
#include <cstdio>

namespace tessaro {

namespace {

constexpr int FakeObject = AV_OPT_SEARCH_FAKE_OBJ;

int TypeIndex(AVMediaType type) {
    const int index = static_cast<int>(type);
    return index >= 0 && index < 5 ? index : 0;
}

// The option Name of a class (no children), as a fake-object lookup.
const AVOption* FindInClass(const AVClass* const* cls, const std::string& name, int flags) {
    if (cls == nullptr || *cls == nullptr) {
        return nullptr;
    }
    return ff::av_opt_find2(const_cast<const AVClass**>(cls), name.c_str(), nullptr, flags,
                            FakeObject, nullptr);
}

// True when a freshly allocated context of Codec takes Value for its private option Name.
bool CodecAcceptsValue(const AVCodec* codec, const std::string& name, const std::string& value) {
    AVCodecContextPtr ctx(ff::avcodec_alloc_context3(codec));
    if (!ctx || ctx->priv_data == nullptr) {
        return false;
    }
    return ff::av_opt_set(ctx->priv_data, name.c_str(), value.c_str(), 0) >= 0;
}

bool MuxerAcceptsValue(const AVOutputFormat* format, const std::string& name,
                       const std::string& value) {
    AVFormatContext* raw = nullptr;
    if (ff::avformat_alloc_output_context2(&raw, format, nullptr, nullptr) < 0 || raw == nullptr) {
        return false;
    }
    AVOutputFormatContextPtr ctx(raw);
    return ctx->priv_data != nullptr &&
           ff::av_opt_set(ctx->priv_data, name.c_str(), value.c_str(), 0) >= 0;
}

// Parses "k=v:k=v" (x264-params syntax) into key/value pairs.
std::vector<std::pair<std::string, std::string>> SplitX264Params(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(':', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string item = text.substr(start, end - start);
        if (!item.empty()) {
            const std::size_t eq = item.find('=');
            if (eq == std::string::npos) {
                result.emplace_back(item, "1");
            } else {
                result.emplace_back(item.substr(0, eq), item.substr(eq + 1));
            }
        }
        start = end + 1;
    }
    return result;
}

std::string ReadOptionText(void* obj, const std::string& name) {
    uint8_t* text = nullptr;
    if (ff::av_opt_get(obj, name.c_str(), 0, &text) < 0 || text == nullptr) {
        return {};
    }
    std::string result(reinterpret_cast<const char*>(text));
    ff::av_free(text);
    return result;
}

} // namespace

int MediaTypeOptionFlags(AVMediaType type) {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return AV_OPT_FLAG_VIDEO_PARAM;
    case AVMEDIA_TYPE_AUDIO:
        return AV_OPT_FLAG_AUDIO_PARAM;
    case AVMEDIA_TYPE_SUBTITLE:
        return AV_OPT_FLAG_SUBTITLE_PARAM;
    default:
        return 0;
    }
}

struct TLibraryOptionContexts::Impl {
    AVCodecContextPtr codec[5];
    AVOutputFormatContextPtr format; // a bare context: only its generic options are used
    SwsContextPtr scaler;
};

TLibraryOptionContexts::TLibraryOptionContexts() = default;
TLibraryOptionContexts::~TLibraryOptionContexts() {
    Free();
}
TLibraryOptionContexts::TLibraryOptionContexts(TLibraryOptionContexts&&) noexcept = default;
TLibraryOptionContexts& TLibraryOptionContexts::operator=(TLibraryOptionContexts&& other) noexcept {
    if (this != &other) {
        Free();
        impl_ = std::move(other.impl_);
        setNames_ = std::move(other.setNames_);
        std::move(std::begin(other.privateCodec_), std::end(other.privateCodec_), privateCodec_);
        privateFormat_ = std::move(other.privateFormat_);
        x264Params_ = std::move(other.x264Params_);
    }
    return *this;
}

void TLibraryOptionContexts::Create(int scalerFlags) {
    Free();
    auto impl = std::make_unique<Impl>();
    for (AVMediaType type : OptionMediaTypes) {
        impl->codec[TypeIndex(type)].reset(ff::avcodec_alloc_context3(nullptr));
        impl->codec[TypeIndex(type)]->codec_type = type;
    }
    impl->format.reset(ff::avformat_alloc_context());
    impl->scaler.reset(ff::sws_alloc_context());
    ff::av_opt_set_int(impl->scaler.get(), "srcw", 16, 0);
    ff::av_opt_set_int(impl->scaler.get(), "srch", 16, 0);
    ff::av_opt_set_int(impl->scaler.get(), "dstw", 16, 0);
    ff::av_opt_set_int(impl->scaler.get(), "dsth", 16, 0);
    ff::av_opt_set_int(impl->scaler.get(), "sws_flags", scalerFlags, 0);
    impl_ = std::move(impl);
}

void TLibraryOptionContexts::Free() {
    impl_.reset(); // the holders call the library's free functions
    setNames_.clear();
    for (auto& map : privateCodec_) {
        map.clear();
    }
    privateFormat_.clear();
    x264Params_.clear();
}

bool TLibraryOptionContexts::IsCreated() const {
    return impl_ != nullptr;
}

AVCodecContext* TLibraryOptionContexts::Codec(AVMediaType type) const {
    return impl_ ? impl_->codec[TypeIndex(type)].get() : nullptr;
}
AVFormatContext* TLibraryOptionContexts::Format() const {
    return impl_ ? impl_->format.get() : nullptr;
}
SwsContext* TLibraryOptionContexts::Scaler() const {
    return impl_ ? impl_->scaler.get() : nullptr;
}

void TLibraryOptionContexts::AddSetName(const std::string& name) {
    if (std::find(setNames_.begin(), setNames_.end(), name) == setNames_.end()) {
        setNames_.push_back(name);
    }
}

const std::map<std::string, std::string>&
TLibraryOptionContexts::PrivateCodecOptions(AVMediaType type) const {
    return privateCodec_[TypeIndex(type)];
}

void TLibraryOptionContexts::SetX264Param(const std::string& key, const std::string& value) {
    if (value.empty()) {
        x264Params_.erase(key);
    } else {
        x264Params_[key] = value;
    }
}

TOptionSetResult TLibraryOptionContexts::SetCodecContextOption(AVMediaType type,
                                                               const std::string& name,
                                                               const std::string& value,
                                                               const std::string& preferredCodec) {
    AVCodecContext* ctx = Codec(type);
    if (ctx == nullptr) {
        return TOptionSetResult::NotFound;
    }
    const int flags = MediaTypeOptionFlags(type);
    if (ff::av_opt_find2(ctx, name.c_str(), nullptr, flags, 0, nullptr) != nullptr) {
        if (ff::av_opt_set(ctx, name.c_str(), value.c_str(), 0) < 0) {
            return TOptionSetResult::InvalidValue;
        }
        AddSetName(name);
        return TOptionSetResult::Set;
    }

    // An option of some encoder's or decoder's own class: check the value against the
    // preferred codec when it has the option, else against the first codec that takes it.
    std::vector<const AVCodec*> candidates;
    if (!preferredCodec.empty()) {
        if (const AVCodec* c = ff::avcodec_find_encoder_by_name(preferredCodec.c_str())) {
            candidates.push_back(c);
        }
    }
    void* iter = nullptr;
    while (const AVCodec* c = ff::av_codec_iterate(&iter)) {
        if (c->type == type && c->priv_class != nullptr) {
            candidates.push_back(c);
        }
    }
    bool known = false;
    for (const AVCodec* c : candidates) {
        if (FindInClass(&c->priv_class, name, flags) == nullptr) {
            continue;
        }
        known = true;
        if (name == "x264-params") {
            for (const auto& [key, itemValue] : SplitX264Params(value)) {
                SetX264Param(key, itemValue);
            }
            return TOptionSetResult::Set;
        }
        if (CodecAcceptsValue(c, name, value)) {
            privateCodec_[TypeIndex(type)][name] = value;
            AddSetName(name);
            return TOptionSetResult::Set;
        }
    }
    return known ? TOptionSetResult::InvalidValue : TOptionSetResult::NotFound;
}

TOptionSetResult TLibraryOptionContexts::SetFormatOption(const std::string& name,
                                                         const std::string& value) {
    AVFormatContext* ctx = Format();
    if (ctx == nullptr) {
        return TOptionSetResult::NotFound;
    }
    if (ff::av_opt_find2(ctx, name.c_str(), nullptr, 0, 0, nullptr) != nullptr) {
        if (ff::av_opt_set(ctx, name.c_str(), value.c_str(), 0) < 0) {
            return TOptionSetResult::InvalidValue;
        }
        AddSetName(name);
        return TOptionSetResult::Set;
    }
    bool known = false;
    void* iter = nullptr;
    while (const AVOutputFormat* muxer = ff::av_muxer_iterate(&iter)) {
        if (FindInClass(&muxer->priv_class, name, 0) == nullptr) {
            continue;
        }
        known = true;
        if (MuxerAcceptsValue(muxer, name, value)) {
            privateFormat_[name] = value;
            AddSetName(name);
            return TOptionSetResult::Set;
        }
    }
    if (known) {
        return TOptionSetResult::InvalidValue;
    }
    // Demuxer options cannot be checked without opening an input; they are kept as
    // given and the input set-up reports what the demuxer refuses.
    iter = nullptr;
    while (const AVInputFormat* demuxer = ff::av_demuxer_iterate(&iter)) {
        if (FindInClass(&demuxer->priv_class, name, 0) != nullptr) {
            privateFormat_[name] = value;
            AddSetName(name);
            return TOptionSetResult::Set;
        }
    }
    return TOptionSetResult::NotFound;
}

TOptionSetResult TLibraryOptionContexts::SetScalerOption(const std::string& name,
                                                         const std::string& value) {
    SwsContext* sws = Scaler();
    if (sws == nullptr || ff::av_opt_find2(sws, name.c_str(), nullptr, 0, 0, nullptr) == nullptr) {
        return TOptionSetResult::NotFound;
    }
    if (ff::av_opt_set(sws, name.c_str(), value.c_str(), 0) < 0) {
        return TOptionSetResult::InvalidValue;
    }
    AddSetName(name);
    return TOptionSetResult::Set;
}

void TLibraryOptionContexts::CodecOpenOptions(AVMediaType type, int flags, const AVCodec* codec,
                                              AVDictionary** dict) const {
    AVCodecContext* ctx = Codec(type);
    if (ctx == nullptr) {
        return;
    }
    for (const std::string& name : setNames_) {
        if (ff::av_opt_find2(ctx, name.c_str(), nullptr, flags, 0, nullptr) != nullptr) {
            ff::av_dict_set(dict, name.c_str(), ReadOptionText(ctx, name).c_str(), 0);
        }
    }
    if (codec == nullptr || codec->priv_class == nullptr) {
        return;
    }
    for (const auto& [name, value] : privateCodec_[TypeIndex(type)]) {
        if (FindInClass(&codec->priv_class, name, flags) != nullptr) {
            ff::av_dict_set(dict, name.c_str(), value.c_str(), 0);
        }
    }
    if (FindInClass(&codec->priv_class, "x264-params", flags) == nullptr) {
        return;
    }
    auto params = x264Params_;
    // libx264 no longer reads the generic bit-rate tolerance; it takes it as a ratio.
    // Only with a bit rate of the task's own; libx264 ignores the tolerance in CRF mode.
    const auto isSet = [this](const char* n) {
        return std::find(setNames_.begin(), setNames_.end(), n) != setNames_.end();
    };
    const std::int64_t bitRate = CodecInt(type, "b");
    if (isSet("bt") && isSet("b") && bitRate > 0 && params.count("ratetol") == 0) {
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%g", double(CodecInt(type, "bt")) / double(bitRate));
        params["ratetol"] = ratio;
    }
    std::string text;
    for (const auto& [key, value] : params) {
        text += (text.empty() ? "" : ":") + key + "=" + value;
    }
    if (!text.empty()) {
        ff::av_dict_set(dict, "x264-params", text.c_str(), 0);
    }
}

void TLibraryOptionContexts::FormatOpenOptions(int flags, const AVClass* privClass,
                                               AVDictionary** dict) const {
    AVFormatContext* ctx = Format();
    if (ctx == nullptr) {
        return;
    }
    for (const std::string& name : setNames_) {
        if (ff::av_opt_find2(ctx, name.c_str(), nullptr, flags, 0, nullptr) != nullptr) {
            ff::av_dict_set(dict, name.c_str(), ReadOptionText(ctx, name).c_str(), 0);
        }
    }
    if (privClass == nullptr) {
        return;
    }
    for (const auto& [name, value] : privateFormat_) {
        if (FindInClass(&privClass, name, flags) != nullptr) {
            ff::av_dict_set(dict, name.c_str(), value.c_str(), 0);
        }
    }
}

int TLibraryOptionContexts::ScalerFlags() const {
    std::int64_t value = SWS_BICUBIC;
    if (Scaler() != nullptr) {
        ff::av_opt_get_int(Scaler(), "sws_flags", 0, &value);
    }
    return static_cast<int>(value);
}

std::int64_t TLibraryOptionContexts::CodecInt(AVMediaType type, const char* name) const {
    std::int64_t value = 0;
    if (Codec(type) != nullptr && ff::av_opt_get_int(Codec(type), name, 0, &value) < 0) {
        value = 0;
    }
    return value;
}

void TLibraryOptionContexts::ApplyTo(void* target, int flags, AVMediaType type,
                                     const AVCodec* codec, AVDictionary** leftOver) const {
    if (!IsCreated()) {
        return;
    }
    AVDictionaryHolder dict;
    if (type == AVMEDIA_TYPE_UNKNOWN) {
        const AVClass* privClass = nullptr;
        if (const auto* ctx = static_cast<AVFormatContext*>(target)) {
            privClass = ctx->oformat != nullptr   ? ctx->oformat->priv_class
                        : ctx->iformat != nullptr ? ctx->iformat->priv_class
                                                  : nullptr;
        }
        FormatOpenOptions(flags, privClass, dict.Get());
    } else {
        CodecOpenOptions(type, flags, codec, dict.Get());
    }
    if (target != nullptr) {
        ff::av_opt_set_dict2(target, dict.Get(), AV_OPT_SEARCH_CHILDREN);
    }
    if (leftOver != nullptr) {
        ff::av_dict_copy(leftOver, dict.Value(), 0);
    }
}

} // namespace tessaro
