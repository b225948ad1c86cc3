#include "transcoder/options/Presets.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tessaro {

namespace {

// Keys of the speed presets in body order; each row below gives their values ("" = the
// line is absent). The eight lines every speed preset shares sit among them.
constexpr std::array<const char*, 15> SpeedKeys = {
    "coder", "flags", "partitions", "me_method", "subq",   "me_range", "sc_threshold", "b_strategy",
    "bf",    "refs",  "directpred", "trellis",   "flags2", "wpredp",   "cqp"};

struct TSpeedRow {
    const char* name;
    std::array<const char*, 15> values;
};

const TSpeedRow SpeedRows[] = {
    {"libx264-fast",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "1", "3", "2",
      "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", ""}},
    {"libx264-fast_firstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1",
      "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", ""}},
    {"libx264-faster",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "4", "16", "40", "1", "3", "2",
      "1", "1", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip", "1", ""}},
    {"libx264-faster_firstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1",
      "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "1", ""}},
    {"libx264-fastfirstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "2", "16", "40", "1",
      "3", "1", "3", "0", "-bpyramid-wpred-mixed_refs-dct8x8+fastpskip", "2", ""}},
    {"libx264-hq",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "umh", "8", "16", "40", "2", "3", "4",
      "3", "1", "+wpred+mixed_refs+dct8x8+fastpskip", "2", ""}},
    {"libx264-lossless_fast",
     {"0", "+loop", "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8", "hex", "3", "16", "40", "1",
      "", "", "1", "", "+fastpskip", "0", "0"}},
    {"libx264-lossless_max",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "esa", "8", "16", "40", "1",
      "", "16", "1", "", "+mixed_refs+dct8x8+fastpskip", "2", "0"}},
    {"libx264-lossless_medium",
     {"1", "+loop", "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "hex", "5", "16", "40", "1",
      "", "", "1", "", "+fastpskip", "2", "0"}},
    {"libx264-lossless_slow",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "6", "16", "40", "1",
      "", "2", "1", "", "+dct8x8+fastpskip", "2", "0"}},
    {"libx264-lossless_slower",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "8", "16", "40", "1",
      "", "4", "1", "", "+mixed_refs+dct8x8+fastpskip", "2", "0"}},
    {"libx264-lossless_ultrafast",
     {"0", "+loop", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "0", "16", "40", "1",
      "", "", "1", "", "+fastpskip", "", "0"}},
    {"libx264-max",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2",
      "3", "16", "3", "2", "+wpred+mixed_refs+dct8x8-fastpskip", "2", ""}},
    {"libx264-medium",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "7", "16", "40", "1", "3", "3",
      "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", ""}},
    {"libx264-medium_firstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1",
      "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", ""}},
    {"libx264-normal",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "1", "3", "2",
      "3", "0", "+wpred+dct8x8+fastpskip", "2", ""}},
    {"libx264-placebo",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2",
      "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "2", ""}},
    {"libx264-placebo_firstpass",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40", "2",
      "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "2", ""}},
    {"libx264-slow",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "umh", "8", "16", "40", "2", "3", "5",
      "3", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", ""}},
    {"libx264-slow_firstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "2", "3", "1",
      "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", ""}},
    {"libx264-slower",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "umh", "9", "16", "40", "2",
      "3", "8", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", ""}},
    {"libx264-slower_firstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "2", "3", "1",
      "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", ""}},
    {"libx264-slowfirstpass",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "2", "3", "1",
      "3", "0", "+wpred+dct8x8+fastpskip", "2", ""}},
    {"libx264-superfast",
     {"1", "+loop", "+parti8x8+parti4x4-partp8x8-partb8x8", "dia", "1", "16", "40", "1", "3", "1",
      "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "0", ""}},
    {"libx264-superfast_firstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "1", "16", "40", "1", "3", "1",
      "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "0", ""}},
    {"libx264-ultrafast",
     {"0", "-loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "0", "16", "0", "0", "0", "1",
      "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "0", ""}},
    {"libx264-ultrafast_firstpass",
     {"0", "-loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "0", "16", "0", "0", "0", "1",
      "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "0", ""}},
    {"libx264-veryfast",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "2", "16", "40", "1", "3", "1",
      "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "0", ""}},
    {"libx264-veryfast_firstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40", "1", "3", "1",
      "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "0", ""}},
    {"libx264-veryslow",
     {"1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "umh", "10", "24", "40", "2",
      "8", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", ""}},
    {"libx264-veryslow_firstpass",
     {"1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "24", "40", "2", "8", "1",
      "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", ""}},
};

void AddLine(std::string& body, const char* key, const char* value) {
    if (*value != '\0') {
        body += std::string(key) + "=" + value + "\n";
    }
}

std::string SpeedBody(const TSpeedRow& row) {
    auto value = [&](const char* key) {
        const auto it = std::find_if(SpeedKeys.begin(), SpeedKeys.end(),
                                     [&](const char* k) { return std::string(k) == key; });
        return row.values[std::size_t(it - SpeedKeys.begin())];
    };
    std::string body;
    AddLine(body, "coder", value("coder"));
    AddLine(body, "flags", value("flags"));
    AddLine(body, "cmp", "+chroma");
    AddLine(body, "partitions", value("partitions"));
    AddLine(body, "me_method", value("me_method"));
    AddLine(body, "subq", value("subq"));
    AddLine(body, "me_range", value("me_range"));
    AddLine(body, "g", "250");
    AddLine(body, "keyint_min", "25");
    AddLine(body, "sc_threshold", value("sc_threshold"));
    AddLine(body, "i_qfactor", "0.71");
    AddLine(body, "b_strategy", value("b_strategy"));
    AddLine(body, "qcomp", "0.6");
    AddLine(body, "qmin", "10");
    AddLine(body, "qmax", "51");
    AddLine(body, "qdiff", "4");
    AddLine(body, "bf", value("bf"));
    AddLine(body, "refs", value("refs"));
    AddLine(body, "directpred", value("directpred"));
    AddLine(body, "trellis", value("trellis"));
    AddLine(body, "flags2", value("flags2"));
    AddLine(body, "wpredp", value("wpredp"));
    AddLine(body, "cqp", value("cqp"));
    return body;
}

// The handheld-player presets share everything but a few rate and partition lines.
std::string DeviceBody(const char* coder, const char* partitions, const char* bf, const char* b,
                       const char* maxrate) {
    std::string body;
    AddLine(body, "coder", coder);
    AddLine(body, "flags", "+loop");
    AddLine(body, "level", "30");
    AddLine(body, "cmp", "+chroma");
    AddLine(body, "partitions", partitions);
    AddLine(body, "me_method", "umh");
    AddLine(body, "subq", "7");
    AddLine(body, "me_range", "16");
    AddLine(body, "g", "250");
    AddLine(body, "keyint_min", "25");
    AddLine(body, "sc_threshold", "40");
    AddLine(body, "i_qfactor", "0.71");
    AddLine(body, "b_strategy", "1");
    AddLine(body, "qcomp", "0.6");
    AddLine(body, "qmin", "10");
    AddLine(body, "qmax", "51");
    AddLine(body, "qdiff", "4");
    AddLine(body, "bf", bf);
    AddLine(body, "refs", "1");
    AddLine(body, "directpred", "1");
    AddLine(body, "trellis", "2");
    AddLine(body, "b", b);
    AddLine(body, "maxrate", maxrate);
    AddLine(body, "bufsize", "4000000");
    AddLine(body, "bt", "256000");
    AddLine(body, "sc_threshold", "40");
    return body;
}

const char* const DefaultBody = "coder=1\nflags=+loop\ncmp=+chroma\n"
                                "partitions=+parti8x8+parti4x4+partp8x8+partb8x8\n"
                                "me_method=hex\nsubq=7\nme_range=16\ng=250\nkeyint_min=25\n"
                                "sc_threshold=40\ni_qfactor=0.71\nb_strategy=1\nqcomp=0.6\n"
                                "qmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirectpred=1\n"
                                "trellis=1\nflags2=+mixed_refs+wpred+dct8x8+fastpskip\n"
                                "wpredp=2\n";

std::vector<TOptionsPreset> MakePresets() {
    const char* const psp = "+parti4x4+parti8x8+partp8x8+partb8x8"; // also ps3's partitions
    std::vector<TOptionsPreset> presets = {
        {"libx264-baseline", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0\n"},
        {"libx264-default", DefaultBody},
        {"libx264-ipod320", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nlevel=13\nmaxrate=768000\n"
                            "bufsize=3000000\nwpredp=0\n"},
        {"libx264-ipod640", "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\n"
                            "maxrate=10000000\nbufsize=10000000\nwpredp=0\n"},
        {"libx264-main", "flags2=-dct8x8\n"},
        {"libx264-psp", DeviceBody("1", psp, "3", "1250000", "1500000")},
        {"libx264-ps3", DeviceBody("1", psp, "3", "", "3500000")},
        {"libx264-ipod", DeviceBody("0", "+parti4x4+parti8x8+partp8x8", "", "1000000", "1250000")},
    };
    presets.push_back({"libx264-mp4", presets[5].Options});
    for (const TSpeedRow& row : SpeedRows) {
        presets.push_back({row.name, SpeedBody(row)});
    }
    return presets;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

const std::vector<TOptionsPreset>& BuiltInPresets() {
    static const std::vector<TOptionsPreset> presets = MakePresets();
    return presets;
}

const TOptionsPreset* FindBuiltInPreset(const std::string& name) {
    for (const TOptionsPreset& preset : BuiltInPresets()) {
        if (SameText(preset.Name, name)) {
            return &preset;
        }
    }
    return nullptr;
}

} // namespace tessaro
