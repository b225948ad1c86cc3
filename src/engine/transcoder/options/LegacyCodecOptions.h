// Codec option keys of the older library generation that today's libraries no longer
// read in the same form (the x264 keys of the built-in presets above all). Each is
// translated into the options that have the same encoding effect now.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tessaro {

struct TCodecOptionValue {
    std::string name;
    std::string value;
    bool x264Param = false; // an entry of libx264's x264-params rather than an option
};

struct TLegacyTranslation {
    bool translated = false; // false: the key is not an old-generation key; use it as is
    std::vector<TCodecOptionValue> options;
    std::vector<std::string> dropped; // "key" or "key token" parts without any equivalent
};

// Bits of the old "flags2" word that libx264 still has as separate options.
enum TLegacyFlags2 : int {
    lf2BPyramid = 1 << 0,
    lf2MixedRefs = 1 << 1,
    lf2WPred = 1 << 2,
    lf2Dct8x8 = 1 << 3,
    lf2FastPSkip = 1 << 4,
    lf2MbTree = 1 << 5,
    lf2Aud = 1 << 6,
    lf2Psy = 1 << 7,
    lf2Ssim = 1 << 8,
    lf2IntraRefresh = 1 << 9,
    lf2BitReservoir = 1 << 10,
    lf2NonLinearQ = 1 << 11,
    lf2DropFrameTimecode = 1 << 12,
};
// The old generation's default word: fast P-skip, macroblock tree, psychovisual
// optimisation and the MP3 bit reservoir on.
inline constexpr int LegacyFlags2Default = lf2FastPSkip | lf2MbTree | lf2Psy | lf2BitReservoir;

// Tells whether Token is a named constant of the generic flags option Unit ("flags",
// "flags2") of today's codec context.
using TGenericFlagTest = std::function<bool(const std::string& unit, const std::string& token)>;

// Translates one codec option. Flags2Word carries the old flags2 word between calls
// (start it at LegacyFlags2Default).
TLegacyTranslation TranslateLegacyCodecOption(const std::string& name, const std::string& value,
                                              int& flags2Word, const TGenericFlagTest& isGeneric);

// The explicit flags2-derived libx264 options for a word (b-pyramid, mixed-refs, weightb,
// 8x8dct, fast-pskip, mbtree): the old encoder wrapper always passed every one of them.
std::vector<TCodecOptionValue> X264OptionsForFlags2(int word);

// Settings the old encoder wrapper passed for keys a libx264 preset body leaves out where
// today's defaults would change the H.264 profile the preset was written for (no
// B-frames, no weighted P prediction, the default flags2 word).
std::vector<std::pair<std::string, std::string>>
LegacyX264DefaultsMissingFrom(const std::vector<std::string>& bodyKeys);

} // namespace tessaro
