#include "dvdinput/DvdAddress.h"

#include "DVDRanges.h"
#include "base/EngineException.h"

#include <array>
#include <climits>
#include <cstring>
#include <string_view>

namespace tessaro {
namespace {

// The fields in the order the address writes them, with their place in TDVDParam.
struct TField {
    const char* name;
    std::int32_t TDVDParam::*member;
};
constexpr std::array<TField, 7> Fields = {{
    {"Title", &TDVDParam::Title},
    {"FromChapter", &TDVDParam::FromChapter},
    {"ToChapter", &TDVDParam::ToChapter},
    {"AudioID", &TDVDParam::AudioID},
    {"SubtitleID", &TDVDParam::SubtitleID},
    {"AudioChannels", &TDVDParam::AudioChannels},
    {"Deinterlace", &TDVDParam::Deinterlace},
}};

constexpr TDVDParam DefaultParam = {0, 0, DVD_LAST_CHAPTER, 128, 0, 2, 0};

// Non-negative decimal digits that fit a signed 32-bit integer.
std::optional<std::int32_t> DecimalValue(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > INT32_MAX) {
            return std::nullopt;
        }
    }
    return std::int32_t(value);
}

// Parses "Name=Value,Name=Value,..." into param; Title comes back counted from 1.
void ParseFields(const std::string& address, std::string_view text, TDVDParam& param) {
    bool seen[Fields.size()] = {};
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            throw EngineException(FormatText("The part \"%.*s\" of the DVD address \"%s\" is "
                                             "not written as Name=Value",
                                             int(item.size()), item.data(), address.c_str()));
        }
        const std::string name(item.substr(0, equals));
        const std::string value(item.substr(equals + 1));
        std::size_t index = 0;
        while (index < Fields.size() && name != Fields[index].name) {
            ++index;
        }
        if (index == Fields.size()) {
            throw EngineException(FormatText("Unknown field \"%s\" in the DVD address \"%s\"",
                                             name.c_str(), address.c_str()));
        }
        if (seen[index]) {
            throw EngineException(FormatText("The field %s appears twice in the DVD address "
                                             "\"%s\"",
                                             name.c_str(), address.c_str()));
        }
        seen[index] = true;
        const std::optional<std::int32_t> number = DecimalValue(value);
        if (!number) {
            throw EngineException(FormatText("The field %s of the DVD address \"%s\" has the "
                                             "value \"%s\", which is not a decimal number",
                                             name.c_str(), address.c_str(), value.c_str()));
        }
        param.*Fields[index].member = *number;
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (!seen[0]) {
        throw EngineException(
            FormatText("The DVD address \"%s\" has no Title field", address.c_str()));
    }
}

} // namespace

bool IsDvdAddress(const std::string& name) {
    return name.starts_with(DvdAddressPrefix);
}

std::string MakeDvdAddress(const std::string& location, const TDVDParam& param) {
    return FormatText("%s%s|Title=%d,FromChapter=%d,ToChapter=%d,AudioID=%d,SubtitleID=%d,"
                      "AudioChannels=%d,Deinterlace=%d",
                      DvdAddressPrefix, location.c_str(), param.Title + 1, param.FromChapter,
                      param.ToChapter, param.AudioID, param.SubtitleID, param.AudioChannels,
                      param.Deinterlace);
}

std::string MakeDvdAddress(const std::string& location) {
    // An empty parameter list keeps a "|" inside the location from being read as the split.
    const bool needsEnd = location.find('|') != std::string::npos;
    return DvdAddressPrefix + location + (needsEnd ? "|" : "");
}

TDvdAddress ParseDvdAddress(const std::string& address) {
    if (!IsDvdAddress(address)) {
        throw EngineException(
            FormatText("\"%s\" is not a DVD address (opendvd:...)", address.c_str()));
    }
    const std::string_view body = std::string_view(address).substr(std::strlen(DvdAddressPrefix));
    const std::size_t split = body.rfind('|');
    TDvdAddress result;
    result.location = std::string(body.substr(0, split));
    if (result.location.empty()) {
        throw EngineException(
            FormatText("The DVD address \"%s\" names no DVD location", address.c_str()));
    }
    if (split != std::string_view::npos && split + 1 < body.size()) {
        TDVDParam param = DefaultParam;
        ParseFields(address, body.substr(split + 1), param);
        param.Title -= 1;
        result.param = param;
    }
    return result;
}

void CheckDvdTitleRange(const TDVDParam& param, int titleCount) {
    const std::string error = dvddec::TitleRangeErrorText(param.Title, titleCount);
    if (!error.empty()) {
        throw EngineException(error);
    }
}

void CheckDvdChapterRange(const TDVDParam& param, const TDVDTitleInfo& title) {
    const dvddec::TChapterRange range =
        dvddec::ResolveChapterRange(param.FromChapter, param.ToChapter, title.ChapterCount);
    if (range.error != dvddec::TChapterRangeError::None) {
        throw EngineException(dvddec::ChapterRangeErrorText(range, param, title.ChapterCount));
    }
}

} // namespace tessaro
