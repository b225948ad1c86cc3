// The libraries' own option system as seen by one task: one codec context per
// media type, one format context and one scaler context hold the generic options
// set so far; options that only a particular encoder or muxer defines (libx264's
// "partitions", the MPEG muxer's "muxrate" ...) cannot live on those codec-less
// objects and are kept as text per media type, checked against a codec that
// defines them. The set-up code turns both into the dictionary it passes to
// avcodec_open2 / avformat_write_header.
#pragma once

#include "runtime/FFmpegPtr.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tessaro {

// The five codec-parameter contexts, in lookup order.
inline constexpr AVMediaType OptionMediaTypes[5] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO,
                                                    AVMEDIA_TYPE_DATA, AVMEDIA_TYPE_SUBTITLE,
                                                    AVMEDIA_TYPE_ATTACHMENT};

// Option flag bits a media type's context matches (data and attachment match any option).
int MediaTypeOptionFlags(AVMediaType type);

// Result of setting one option.
enum class TOptionSetResult { NotFound, Set, InvalidValue };

class TLibraryOptionContexts {
public:
    TLibraryOptionContexts();
    ~TLibraryOptionContexts();
    TLibraryOptionContexts(TLibraryOptionContexts&&) noexcept;
    TLibraryOptionContexts& operator=(TLibraryOptionContexts&&) noexcept;

    // Frees the contexts and creates fresh ones (libraries must be loaded); the scaler
    // context is 16x16 with the given flags.
    void Create(int scalerFlags);
    void Free();
    bool IsCreated() const;

    AVCodecContext* Codec(AVMediaType type) const;
    AVFormatContext* Format() const;
    SwsContext* Scaler() const;

    // Generic option of the codec context of Type, or an option private to some encoder
    // (PreferredCodec, when given and defining it, is the one the value is checked
    // against). NotFound when neither knows Name with the media type's flags.
    TOptionSetResult SetCodecContextOption(AVMediaType type, const std::string& name,
                                           const std::string& value,
                                           const std::string& preferredCodec);
    // Generic format option, or one private to some muxer or demuxer.
    TOptionSetResult SetFormatOption(const std::string& name, const std::string& value);
    TOptionSetResult SetScalerOption(const std::string& name, const std::string& value);

    // One "key=value" entry of libx264's x264-params (kept merged, later keys win);
    // an empty value removes the key.
    void SetX264Param(const std::string& key, const std::string& value);
    const std::map<std::string, std::string>& X264Params() const { return x264Params_; }

    // Names set through this object, in the order first set (the library's option names).
    const std::vector<std::string>& SetNames() const { return setNames_; }
    void AddSetName(const std::string& name);

    // Private values kept as text per media type (name -> value).
    const std::map<std::string, std::string>& PrivateCodecOptions(AVMediaType type) const;
    const std::map<std::string, std::string>& PrivateFormatOptions() const {
        return privateFormat_;
    }

    // The options to pass when opening Codec for a stream of Type: each set option whose
    // flags contain all of Flags (e.g. AV_OPT_FLAG_ENCODING_PARAM|AV_OPT_FLAG_VIDEO_PARAM),
    // generic ones read back from the context as text, private ones only when Codec
    // defines them. Adds to *Dict (which the caller frees).
    void CodecOpenOptions(AVMediaType type, int flags, const AVCodec* codec,
                          AVDictionary** dict) const;
    // The same for a format context (Flags 1 output, 2 input); PrivClass is the muxer's or
    // demuxer's private class (may be null).
    void FormatOpenOptions(int flags, const AVClass* privClass, AVDictionary** dict) const;
    // Every option FormatOpenOptions (Type unknown; Target, when given, is an AVFormatContext
    // whose muxer or demuxer decides the private options) or CodecOpenOptions gives for
    // Flags: set on Target when it is given, and added to *LeftOver when that is given.
    void ApplyTo(void* target, int flags, AVMediaType type, const AVCodec* codec,
                 AVDictionary** leftOver) const;
    // Flags read back from the scaler context ("sws_flags").
    int ScalerFlags() const;
    // Integer value of a generic option of a codec context (0 when unknown).
    std::int64_t CodecInt(AVMediaType type, const char* name) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::vector<std::string> setNames_;
    std::map<std::string, std::string> privateCodec_[5];
    std::map<std::string, std::string> privateFormat_;
    std::map<std::string, std::string> x264Params_;
};

} // namespace tessaro
