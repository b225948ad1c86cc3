#include "formatpanel/ParameterPanelModel.h"

#include "base/TextHelpers.h"
#include "formats/FormatCatalogue.h"
#include "formats/FormatValueWords.h"
#include "formats/TextRules.h"

#include <optional>

namespace tessaro {

namespace {

struct TBoxKeys {
    const char* List;         // list key of the format file; null for the zoom box
    const char* PositionKey;  // "i" key; null for the zoom box
    const char* ValueKey;     // "para" key of the settings file
    const char* DefaultValue; // the value shown when the settings file has none
    bool EmptyMeansNone;      // an empty list value offers nothing, like "null"
};

// Indexed by TParamBox.
constexpr std::array<TBoxKeys, ParamBoxCount> kBoxes = {{
    {"VideoSize", "iVideoSize", "paraVideoSize", "320x240", false},
    {"VideoEncoder", "iVideoEncoder", "paraVideoEncoder", nullptr, true},
    {"VideoBitRate", "iVideoBitRate", "paraVideoBitRate", "768", false},
    {"FrameRate", "iFrameRate", "paraFrameRate", nullptr, false},
    {nullptr, nullptr, "paraZoom", "full", false},
    {"SampleRate", "iSampleRate", "paraSampleRate", "44100", true},
    {"AudioEncoder", "iAudioEncoder", "paraAudioEncoder", nullptr, true},
    {"AudioBitRate", "iAudioBitRate", "paraAudioBitRate", "96", true},
    {"Channel", "iChannel", "paraChannel", nullptr, true},
    {"Volume", "iVolume", "paraVolume", nullptr, true},
}};

const TBoxKeys& KeysOf(TParamBox box) {
    return kBoxes[std::size_t(box)];
}

constexpr std::array<TParamBox, 5> kVideoBoxes = {pbVideoSize, pbVideoBitRate, pbFrameRate,
                                                  pbVideoEncoder, pbZoom};
constexpr std::array<TParamBox, 5> kAudioBoxes = {pbSampleRate, pbChannel, pbVolume, pbAudioEncoder,
                                                  pbAudioBitRate};

const std::vector<std::string>& ZoomEntries() {
    static const std::vector<std::string> entries = {"Full Screen", "Letter Box", "Pan and Scan"};
    return entries;
}

TMessageRequest PlainMessage(std::string text) {
    return TMessageRequest{"", std::move(text), TMessageIcon::None, TMessageButtons::Ok};
}

const char* InvalidValueText(TParamBox box) {
    switch (box) {
    case pbVideoSize:
        return "Frame Size is not a valid value!";
    case pbVideoBitRate:
        return "Video BitRate is not a valid value!";
    case pbSampleRate:
        return "Audio SampleRate is not a valid value!";
    default:
        return "Audio BitRate is not a valid value!";
    }
}

// Bit rates and the sample rate: an integer or exactly "as source"; the audio bit rate also
// takes a decimal number.
bool IsValidNumberText(TParamBox box, const std::string& text) {
    std::int32_t integer = 0;
    double decimal = 0;
    return text == "as source" || TryParseInteger(text, integer) ||
           (box == pbAudioBitRate && TryParseDecimal(text, decimal));
}

// W and H of "WxH" split at the last "x"; nothing when either is not an integer or is
// negative.
std::optional<std::pair<std::int32_t, std::int32_t>> ParseFrameSize(const std::string& text) {
    const std::size_t x = text.rfind('x');
    if (x == std::string::npos) {
        return std::nullopt;
    }
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (!TryParseInteger(text.substr(0, x), width) ||
        !TryParseInteger(text.substr(x + 1), height) || width < 0 || height < 0) {
        return std::nullopt;
    }
    return std::make_pair(width, height);
}

// The nearest even size toward zero; 0 becomes 2.
std::int32_t EvenSize(std::int32_t size) {
    const std::int32_t even = size / 2 * 2;
    return even == 0 ? 2 : even;
}

} // namespace

bool IsEditableBox(TParamBox box) {
    return box == pbVideoSize || box == pbVideoBitRate || box == pbSampleRate ||
           box == pbAudioBitRate;
}

TParameterPanelModel::TParameterPanelModel(std::string settingsPath, std::string formatPath)
    : settings_(std::move(settingsPath)), formats_(std::move(formatPath)) {}

void TParameterPanelModel::Load(int formatCode) {
    code_ = formatCode;
    section_ = FormatSectionName(formatCode);
    LoadLists();
    LoadCurrentValues();
    ApplyEncoderRule();
}

void TParameterPanelModel::LoadLists() {
    for (int index = 0; index < ParamBoxCount; ++index) {
        const auto box = TParamBox(index);
        TParamBoxState& state = MutableBox(box);
        state = TParamBoxState{};
        if (box == pbZoom) {
            state.Entries = ZoomEntries();
            continue;
        }
        const std::string value = formats_.ReadString(section_, KeysOf(box).List, "null");
        if (value != "null" && !(value.empty() && KeysOf(box).EmptyMeansNone)) {
            state.Entries = SplitAtEvery(value, ',');
        }
    }
}

void TParameterPanelModel::LoadCurrentValues() {
    for (const TParamBox box : {pbVideoSize, pbVideoBitRate, pbSampleRate, pbAudioBitRate}) {
        ShowValue(box,
                  settings_.ReadString(section_, KeysOf(box).ValueKey, KeysOf(box).DefaultValue));
    }
    for (const TParamBox box : {pbFrameRate, pbVideoEncoder, pbChannel, pbVolume, pbAudioEncoder}) {
        SelectPosition(box, settings_.ReadInteger(section_, KeysOf(box).PositionKey, 0));
    }
    const std::string zoom = settings_.ReadString(section_, "paraZoom", "full");
    const int position = zoom == "full" ? 0 : zoom == "lbox" ? 1 : zoom == "pan" ? 2 : -1;
    SelectPosition(pbZoom, position);
}

// A format without a video encoder list converts no video, one without an audio encoder
// list no audio: their boxes are off.
void TParameterPanelModel::ApplyEncoderRule() {
    const bool video = !Box(pbVideoEncoder).Entries.empty();
    const bool audio = !Box(pbAudioEncoder).Entries.empty();
    for (const TParamBox box : kVideoBoxes) {
        MutableBox(box).Enabled = video;
    }
    for (const TParamBox box : kAudioBoxes) {
        MutableBox(box).Enabled = audio;
    }
}

void TParameterPanelModel::SelectPosition(TParamBox box, int position) {
    TParamBoxState& state = MutableBox(box);
    if (position >= 0 && position < int(state.Entries.size())) {
        state.Position = position;
        state.Text = state.Entries[std::size_t(position)];
    } else {
        state.Position = -1;
        state.Text.clear();
    }
}

// An entry equal to value is chosen; any other value is shown as typed text.
void TParameterPanelModel::ShowValue(TParamBox box, const std::string& value) {
    TParamBoxState& state = MutableBox(box);
    state.Position = -1;
    state.Text = value;
    for (std::size_t i = 0; i < state.Entries.size(); ++i) {
        if (state.Entries[i] == value) {
            state.Position = int(i);
        }
    }
}

TPanelReaction TParameterPanelModel::Choose(TParamBox box, int position) {
    SelectPosition(box, position);
    TPanelReaction reaction;
    if (box == pbVideoSize) {
        WritePosition("iVideoSize", box);
        WriteValue("paraVideoSize", Box(box).Text);
    } else {
        Changed(box, reaction);
    }
    return reaction;
}

TPanelReaction TParameterPanelModel::Type(TParamBox box, const std::string& text) {
    TParamBoxState& state = MutableBox(box);
    state.Position = -1;
    state.Text = text;
    TPanelReaction reaction;
    if (box != pbVideoSize && IsEditableBox(box)) {
        NumberChanged(box, reaction);
    }
    return reaction;
}

TPanelReaction TParameterPanelModel::LeaveVideoSize() {
    TPanelReaction reaction;
    VideoSizeLeft(reaction);
    return reaction;
}

TPanelReaction TParameterPanelModel::RestoreDefaults() {
    for (int index = 0; index < ParamBoxCount; ++index) {
        const auto box = TParamBox(index);
        if (box != pbZoom) {
            SelectPosition(box, formats_.ReadInteger(section_, KeysOf(box).PositionKey, 0));
        }
    }
    SelectPosition(pbZoom, 0);
    TPanelReaction reaction;
    reaction.BoxesChanged = true;
    // The handlers in this order, so that every value is checked and written. Boxes that are
    // off belong to a stream the format does not convert, and a box without entries offers
    // nothing: nothing is checked or written for them.
    for (const TParamBox box :
         {pbVideoEncoder, pbVideoSize, pbFrameRate, pbVideoBitRate, pbZoom, pbAudioEncoder,
          pbAudioBitRate, pbSampleRate, pbChannel, pbVolume}) {
        if (!Box(box).Enabled || Box(box).Entries.empty()) {
            continue;
        }
        if (box == pbVideoSize) {
            VideoSizeLeft(reaction);
        } else {
            Changed(box, reaction);
        }
    }
    return reaction;
}

void TParameterPanelModel::Changed(TParamBox box, TPanelReaction& reaction) {
    const std::string& text = Box(box).Text;
    switch (box) {
    case pbVideoSize:
        VideoSizeLeft(reaction);
        return;
    case pbVideoBitRate:
    case pbSampleRate:
    case pbAudioBitRate:
        NumberChanged(box, reaction);
        return;
    case pbFrameRate:
        WritePosition("iFrameRate", box);
        WriteValue("paraFrameRate", text);
        return;
    case pbVideoEncoder:
        VideoEncoderChanged();
        return;
    case pbAudioEncoder:
        WriteChoice(box, AudioEncoderValue(text));
        return;
    case pbChannel:
        WriteChoice(box, ChannelValue(text));
        return;
    case pbVolume:
        WriteChoice(box, VolumeValue(text));
        return;
    case pbZoom:
        if (const auto value = ZoomValue(Box(box).Position)) {
            WriteValue("paraZoom", *value);
        }
        return;
    }
}

void TParameterPanelModel::VideoSizeLeft(TPanelReaction& reaction) {
    TParamBoxState& state = MutableBox(pbVideoSize);
    if (LowerText(state.Text).find("as source") != std::string::npos) {
        return;
    }
    const auto size = ParseFrameSize(state.Text);
    if (!size) {
        reaction.Messages.push_back(PlainMessage(InvalidValueText(pbVideoSize)));
        FallBackToSecondEntry(pbVideoSize, reaction);
        return;
    }
    const auto [width, height] = *size;
    if (width % 2 != 0 || height % 2 != 0 || width == 0 || height == 0) {
        const std::string corrected =
            std::to_string(EvenSize(width)) + "x" + std::to_string(EvenSize(height));
        reaction.Messages.push_back(TMessageRequest{
            "Input Error!", "Frame Size must be a multiple of 2.\nThe correct value:" + corrected,
            TMessageIcon::Warning, TMessageButtons::Ok});
        ShowValue(pbVideoSize, corrected);
        reaction.BoxesChanged = true;
    }
    WritePosition("iVideoSize", pbVideoSize);
    WriteValue("paraVideoSize", state.Text);
}

void TParameterPanelModel::NumberChanged(TParamBox box, TPanelReaction& reaction) {
    if (IsValidNumberText(box, Box(box).Text)) {
        WritePosition(KeysOf(box).PositionKey, box);
        WriteValue(KeysOf(box).ValueKey, Box(box).Text);
        return;
    }
    reaction.Messages.push_back(PlainMessage(InvalidValueText(box)));
    FallBackToSecondEntry(box, reaction);
}

// The box shows its second entry after a value that is not valid, and that entry is written
// too, so that the box and the settings file agree.
void TParameterPanelModel::FallBackToSecondEntry(TParamBox box, TPanelReaction& reaction) {
    if (Box(box).Entries.size() <= 1) {
        return;
    }
    SelectPosition(box, 1);
    reaction.BoxesChanged = true;
    WritePosition(KeysOf(box).PositionKey, box);
    WriteValue(KeysOf(box).ValueKey, Box(box).Text);
}

void TParameterPanelModel::VideoEncoderChanged() {
    WritePosition("iVideoEncoder", pbVideoEncoder);
    const std::optional<std::string> value = VideoEncoderValue(Box(pbVideoEncoder).Text);
    if (!value) {
        return;
    }
    WriteValue("paraVideoEncoder", *value);
    if (*value == "libx264") {
        CopyH264Extras();
    }
}

// The H.264 tuning values of the format file that pass their test.
void TParameterPanelModel::CopyH264Extras() {
    const std::string bitExact = formats_.ReadString(section_, "paraBitExact", "");
    if (LowerText(bitExact) == "true") {
        WriteValue("paraBitExact", bitExact);
    }
    for (const char* key :
         {"paraMaxBitrate", "paraBufferSize", "paraLevel", "paraQscale", "paraGop"}) {
        const std::string value = formats_.ReadString(section_, key, "");
        double number = 0;
        if (TryParseDecimal(value, number) && number > 0) {
            WriteValue(key, value);
        }
    }
    const std::string coder = formats_.ReadString(section_, "paraCoder", "");
    double number = 0;
    if (TryParseDecimal(coder, number) && number >= 0) {
        WriteValue("paraCoder", coder);
    }
}

// The position, and the value when the entry's word has one.
void TParameterPanelModel::WriteChoice(TParamBox box, const std::optional<std::string>& value) {
    WritePosition(KeysOf(box).PositionKey, box);
    if (value) {
        WriteValue(KeysOf(box).ValueKey, *value);
    }
}

void TParameterPanelModel::WritePosition(const char* key, TParamBox box) {
    settings_.WriteInteger(section_, key, Box(box).Position);
}

void TParameterPanelModel::WriteValue(const char* key, const std::string& value) {
    settings_.WriteString(section_, key, value);
}

bool TParameterPanelModel::AcceptsKey(TParamBox box, const std::string& text, char key,
                                      bool& showHint) {
    showHint = false;
    const bool digit = key >= '0' && key <= '9';
    if (key == '\b' || digit) {
        return true;
    }
    if (box == pbVideoSize) {
        return key == 'x' && text.find('x') == std::string::npos;
    }
    showHint = true;
    return false;
}

TMessageRequest TParameterPanelModel::NumbersOnlyHint() {
    return PlainMessage("Please enter numerical.");
}

} // namespace tessaro
