// The output parameter boxes without widgets: what each box offers and shows for the current
// format, and what the user's changes write into the settings file. The boxes' lists, default
// positions and H.264 extras come from the format file's section of the format; the current
// values live in the settings file's section of the same name and are written at once.
#pragma once

#include "core/DialogService.h"
#include "core/IniFile.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaro {

enum TParamBox : int {
    pbVideoSize,
    pbVideoEncoder,
    pbVideoBitRate,
    pbFrameRate,
    pbZoom,
    pbSampleRate,
    pbAudioEncoder,
    pbAudioBitRate,
    pbChannel,
    pbVolume,
};
inline constexpr int ParamBoxCount = 10;

// Frame size, both bit rates and the sample rate take typed text; the others are lists.
bool IsEditableBox(TParamBox box);

struct TParamBoxState {
    std::vector<std::string> Entries;
    int Position = -1; // the chosen entry; -1 when the text was typed or nothing is chosen
    std::string Text;  // what the box shows
    bool Enabled = false;
};

// What the widgets do after a change: show the messages in order, and show the boxes again
// when the model changed one of them (a fallback or corrected value).
struct TPanelReaction {
    std::vector<TMessageRequest> Messages; // an empty caption means the application title
    bool BoxesChanged = false;
};

class TParameterPanelModel {
public:
    TParameterPanelModel(std::string settingsPath, std::string formatPath);

    // Fills every box for the format from both files.
    void Load(int formatCode);
    int FormatCode() const { return code_; }
    const TParamBoxState& Box(TParamBox box) const { return boxes_[std::size_t(box)]; }

    // The user chose entry position of a box.
    TPanelReaction Choose(TParamBox box, int position);
    // The user typed into an editable box, which now shows text. The frame size is checked
    // and written only when the box is left.
    TPanelReaction Type(TParamBox box, const std::string& text);
    // The frame size box lost the focus (or a run is about to read the frame size).
    TPanelReaction LeaveVideoSize();
    // Selects the format's default positions and writes every box's value as if chosen.
    TPanelReaction RestoreDefaults();

    // Whether a key typed into an editable box showing text is taken: backspace and digits,
    // and for the frame size one "x". A refused key beeps; for the number boxes message is
    // set to the hint to show.
    static bool AcceptsKey(TParamBox box, const std::string& text, char key, bool& showHint);
    static TMessageRequest NumbersOnlyHint();

private:
    TParamBoxState& MutableBox(TParamBox box) { return boxes_[std::size_t(box)]; }
    void LoadLists();
    void LoadCurrentValues();
    void ApplyEncoderRule();
    void SelectPosition(TParamBox box, int position);
    void ShowValue(TParamBox box, const std::string& value);

    // The change handlers: each writes the box's value into the settings section.
    void Changed(TParamBox box, TPanelReaction& reaction);
    void VideoSizeLeft(TPanelReaction& reaction);
    void NumberChanged(TParamBox box, TPanelReaction& reaction);
    void VideoEncoderChanged();
    void CopyH264Extras();
    void FallBackToSecondEntry(TParamBox box, TPanelReaction& reaction);

    void WriteChoice(TParamBox box, const std::optional<std::string>& value);
    void WritePosition(const char* key, TParamBox box);
    void WriteValue(const char* key, const std::string& value);

    TIniFile settings_;
    TIniFile formats_;
    int code_ = 0;
    std::string section_;
    std::array<TParamBoxState, ParamBoxCount> boxes_;
};

} // namespace tessaro
