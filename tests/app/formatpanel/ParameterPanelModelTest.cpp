// The parameter boxes without widgets: loading a format, the checks and words of each box's
// change, the keys typed and Default, on real format and settings files.
#include "formatpanel/ParameterPanelModel.h"
#include "AppTestSupport.h"
#include "EngineTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tessaro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kFormats = R"([formatInfo203]
FileExt=mp4
VideoSize=as source,320x240,640x480
iVideoSize=1
VideoBitRate=512,768,1024
iVideoBitRate=2
FrameRate=29.97,25
iFrameRate=1
VideoEncoder=h264,mpeg-4,Theora
iVideoEncoder=0
AudioBitRate=64,96.5,128
iAudioBitRate=2
SampleRate=48000,44100
iSampleRate=1
AudioEncoder=aac,mp3
iAudioEncoder=1
Channel=stereo 2 channels,mono 1 channel,as source
iChannel=1
Volume=50%,100%,225%
iVolume=1
paraBitExact=TRUE
paraLevel=30
paraGop=0
paraCoder=0
paraQscale=junk

[formatInfo300]
FileExt=mp3
VideoSize=320x240
AudioBitRate=128,192
SampleRate=
AudioEncoder=mp3
Channel=as source
Volume=100%,
)";

class ParameterPanel : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteTextFile(FormatPath(), kFormats);
        test::WriteTextFile(SettingsPath(), "[formatInfo203]\nparaVideoSize=400x300\n"
                                            "paraVideoBitRate=1024\niFrameRate=1\nparaZoom=pan\n");
        model_.Load(203);
    }
    std::string FormatPath() const { return temp_.Str() + "/formats.ini"; }
    std::string SettingsPath() const { return temp_.Str() + "/settings.ini"; }
    std::string Stored(const char* key, int code = 203) const {
        return TIniFile(SettingsPath())
            .ReadString("formatInfo" + std::to_string(code), key, "<none>");
    }
    static std::vector<std::string> Texts(const TPanelReaction& reaction) {
        std::vector<std::string> texts;
        for (const TMessageRequest& message : reaction.Messages) {
            texts.push_back(message.text);
        }
        return texts;
    }

    test::TTempDir temp_;
    TParameterPanelModel model_{SettingsPath(), FormatPath()};
};

TEST_F(ParameterPanel, LoadShowsTheListsAndTheStoredValues) {
    EXPECT_THAT(model_.Box(pbVideoSize).Entries, ElementsAre("as source", "320x240", "640x480"));
    EXPECT_EQ(model_.Box(pbVideoSize).Text, "400x300") << "a value not in the list is typed text";
    EXPECT_EQ(model_.Box(pbVideoSize).Position, -1);
    EXPECT_EQ(model_.Box(pbVideoBitRate).Position, 2);
    EXPECT_EQ(model_.Box(pbFrameRate).Text, "25");
    EXPECT_EQ(model_.Box(pbZoom).Text, "Pan and Scan");
    EXPECT_EQ(model_.Box(pbSampleRate).Text, "44100") << "the default value";
    EXPECT_EQ(model_.Box(pbAudioBitRate).Text, "96");
    for (int box = 0; box < ParamBoxCount; ++box) {
        EXPECT_TRUE(model_.Box(TParamBox(box)).Enabled) << box;
    }

    // An audio format: no video encoder list turns every video box off, the frame size list
    // included; an empty sample rate list offers nothing; a trailing comma gives an empty
    // last entry.
    model_.Load(300);
    EXPECT_THAT(model_.Box(pbVideoSize).Entries, ElementsAre("320x240"));
    for (const TParamBox box : {pbVideoSize, pbVideoEncoder, pbVideoBitRate, pbFrameRate, pbZoom}) {
        EXPECT_FALSE(model_.Box(box).Enabled) << box;
    }
    EXPECT_TRUE(model_.Box(pbAudioEncoder).Enabled);
    EXPECT_THAT(model_.Box(pbSampleRate).Entries, IsEmpty());
    EXPECT_THAT(model_.Box(pbVolume).Entries, ElementsAre("100%", ""));

    // A format the format file does not describe: nothing offered, everything off.
    model_.Load(7);
    for (int box = 0; box < ParamBoxCount; ++box) {
        EXPECT_FALSE(model_.Box(TParamBox(box)).Enabled) << box;
    }
}

TEST_F(ParameterPanel, FrameSizeLeftIsCheckedAndMadeEven) {
    const struct {
        const char* typed;
        const char* message;
        const char* shown;
        const char* stored;
    } cases[] = {
        {"640x480", nullptr, "640x480", "640x480"},
        {"321x240", "Frame Size must be a multiple of 2.\nThe correct value:320x240", "320x240",
         "320x240"},
        {"0x240", "Frame Size must be a multiple of 2.\nThe correct value:2x240", "2x240", "2x240"},
        {" 322x241", "Frame Size must be a multiple of 2.\nThe correct value:322x240", "322x240",
         "322x240"},
        {"AS SOURCE", nullptr, "AS SOURCE", "<old>"},
        {"320 x 240", "Frame Size is not a valid value!", "320x240", "320x240"},
        {"320240", "Frame Size is not a valid value!", "320x240", "320x240"},
        {"-320x240", "Frame Size is not a valid value!", "320x240", "320x240"},
        {"x", "Frame Size is not a valid value!", "320x240", "320x240"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        TIniFile(SettingsPath()).WriteString("formatInfo203", "paraVideoSize", "<old>");
        model_.Type(pbVideoSize, c.typed);
        EXPECT_EQ(Stored("paraVideoSize"), "<old>") << "typing writes nothing";
        const TPanelReaction reaction = model_.LeaveVideoSize();
        if (c.message != nullptr) {
            ASSERT_EQ(reaction.Messages.size(), 1u);
            EXPECT_EQ(reaction.Messages[0].text, c.message);
            EXPECT_TRUE(reaction.BoxesChanged);
        } else {
            EXPECT_THAT(reaction.Messages, IsEmpty());
        }
        EXPECT_EQ(model_.Box(pbVideoSize).Text, c.shown);
        EXPECT_EQ(Stored("paraVideoSize"), c.stored);
    }
    model_.Type(pbVideoSize, "321x240");
    EXPECT_EQ(model_.LeaveVideoSize().Messages[0].caption, "Input Error!");
    EXPECT_EQ(Stored("iVideoSize"), "1") << "the corrected size is the list's entry 1";
}

TEST_F(ParameterPanel, NumberBoxesTakeIntegersAndFallBackToTheSecondEntry) {
    const struct {
        TParamBox box;
        const char* text;
        const char* message; // null: accepted and stored
    } cases[] = {
        {pbVideoBitRate, "900", nullptr},
        {pbVideoBitRate, "as source", nullptr},
        {pbVideoBitRate, "", "Video BitRate is not a valid value!"},
        {pbVideoBitRate, "96.5", "Video BitRate is not a valid value!"},
        {pbSampleRate, "22050", nullptr},
        {pbSampleRate, "", "Audio SampleRate is not a valid value!"},
        {pbAudioBitRate, "96.5", nullptr},
        {pbAudioBitRate, "1e2", nullptr},
        {pbAudioBitRate, "As Source", "Audio BitRate is not a valid value!"},
    };
    const char* valueKeys[ParamBoxCount] = {};
    valueKeys[pbVideoBitRate] = "paraVideoBitRate";
    valueKeys[pbSampleRate] = "paraSampleRate";
    valueKeys[pbAudioBitRate] = "paraAudioBitRate";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const TPanelReaction reaction = model_.Type(c.box, c.text);
        if (c.message == nullptr) {
            EXPECT_THAT(Texts(reaction), IsEmpty());
            EXPECT_EQ(Stored(valueKeys[c.box]), c.text);
        } else {
            EXPECT_THAT(Texts(reaction), ElementsAre(c.message));
            EXPECT_EQ(model_.Box(c.box).Position, 1);
            EXPECT_EQ(Stored(valueKeys[c.box]), model_.Box(c.box).Entries[1])
                << "the fallback shown is the value stored";
        }
    }
    // 96.5 chosen from the list is stored with its position.
    model_.Choose(pbAudioBitRate, 1);
    EXPECT_EQ(Stored("paraAudioBitRate"), "96.5");
    EXPECT_EQ(Stored("iAudioBitRate"), "1");
}

TEST_F(ParameterPanel, ListChoicesWriteTheirWords) {
    const struct {
        TParamBox box;
        int position;
        const char* key;
        const char* value; // "<none>": only the position is written
    } cases[] = {
        {pbVideoEncoder, 1, "paraVideoEncoder", "mpeg4"},
        {pbVideoEncoder, 2, "paraVideoEncoder", "mpeg4"}, // an unknown word keeps the old value
        {pbAudioEncoder, 0, "paraAudioEncoder", "libfaac"},
        {pbAudioEncoder, 1, "paraAudioEncoder", "libmp3lame"},
        {pbChannel, 1, "paraChannel", "1"},
        {pbChannel, 2, "paraChannel", "as source"},
        {pbVolume, 0, "paraVolume", "128"},
        {pbVolume, 2, "paraVolume", "128"}, // 225 % has no volume value
        {pbFrameRate, 0, "paraFrameRate", "29.97"},
        {pbZoom, 0, "paraZoom", "full"},
        {pbZoom, 1, "paraZoom", "lbox"},
        {pbVideoSize, 0, "paraVideoSize", "as source"},
    };
    const char* positionKeys[ParamBoxCount] = {
        "iVideoSize", "iVideoEncoder", nullptr, "iFrameRate", nullptr,
        nullptr,      "iAudioEncoder", nullptr, "iChannel",   "iVolume"};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << " " << c.position);
        EXPECT_THAT(model_.Choose(c.box, c.position).Messages, IsEmpty());
        EXPECT_EQ(Stored(c.key), c.value);
        if (positionKeys[c.box] != nullptr) {
            EXPECT_EQ(Stored(positionKeys[c.box]), std::to_string(c.position));
        }
    }
    EXPECT_EQ(Stored("paraBitExact"), "<none>") << "no H.264 chosen yet";
    model_.Choose(pbVideoEncoder, 0);
    EXPECT_EQ(Stored("paraVideoEncoder"), "libx264");
    EXPECT_EQ(Stored("paraBitExact"), "TRUE");
    EXPECT_EQ(Stored("paraLevel"), "30");
    EXPECT_EQ(Stored("paraCoder"), "0");
    EXPECT_EQ(Stored("paraGop"), "<none>") << "not above 0";
    EXPECT_EQ(Stored("paraQscale"), "<none>") << "not a number";
}

TEST_F(ParameterPanel, DefaultSelectsTheFormatsPositionsAndWritesThem) {
    const TPanelReaction reaction = model_.RestoreDefaults();
    EXPECT_THAT(reaction.Messages, IsEmpty());
    EXPECT_EQ(model_.Box(pbVideoSize).Text, "320x240");
    EXPECT_EQ(Stored("paraVideoSize"), "320x240");
    EXPECT_EQ(Stored("paraVideoEncoder"), "libx264");
    EXPECT_EQ(Stored("paraVideoBitRate"), "1024");
    EXPECT_EQ(Stored("paraFrameRate"), "25");
    EXPECT_EQ(Stored("paraZoom"), "full");
    EXPECT_EQ(Stored("paraAudioEncoder"), "libmp3lame");
    EXPECT_EQ(Stored("paraAudioBitRate"), "128");
    EXPECT_EQ(Stored("paraSampleRate"), "44100");
    EXPECT_EQ(Stored("paraChannel"), "1");
    EXPECT_EQ(Stored("paraVolume"), "256");

    // A default frame size of "as source" leaves the stored size alone.
    TIniFile formats(FormatPath());
    formats.WriteInteger("formatInfo203", "iVideoSize", 0);
    TIniFile(SettingsPath()).WriteString("formatInfo203", "paraVideoSize", "480x272");
    model_.RestoreDefaults();
    EXPECT_EQ(model_.Box(pbVideoSize).Text, "as source");
    EXPECT_EQ(Stored("paraVideoSize"), "480x272");

    // An audio format: the video boxes are off and nothing is checked or written for them.
    model_.Load(300);
    EXPECT_THAT(model_.RestoreDefaults().Messages, IsEmpty());
    EXPECT_EQ(Stored("paraVideoSize", 300), "<none>");
    EXPECT_EQ(Stored("paraAudioBitRate", 300), "128");
}

TEST(ParameterPanelKeys, TypedKeysAreFiltered) {
    const struct {
        TParamBox box;
        const char* text;
        char key;
        bool accepted;
        bool hint;
    } cases[] = {
        {pbVideoSize, "320", 'x', true, false},   {pbVideoSize, "320x", 'x', false, false},
        {pbVideoSize, "32", '5', true, false},    {pbVideoSize, "32", ' ', false, false},
        {pbVideoSize, "32", '\b', true, false},   {pbVideoBitRate, "7", '.', false, true},
        {pbAudioBitRate, "96", '.', false, true}, {pbSampleRate, "", '4', true, false},
        {pbSampleRate, "44", 'x', false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.box << " '" << c.key << "'");
        bool hint = true;
        EXPECT_EQ(TParameterPanelModel::AcceptsKey(c.box, c.text, c.key, hint), c.accepted);
        EXPECT_EQ(hint, c.hint);
    }
    EXPECT_EQ(TParameterPanelModel::NumbersOnlyHint().text, "Please enter numerical.");
}

} // namespace
} // namespace tessaro
