#include "core/GlobalObject.h"

#include <cassert>

#ifndef TESSARO_VERSION_MAJOR
#error "the build passes the project version as TESSARO_VERSION_MAJOR .. TESSARO_VERSION_TWEAK"
#endif

namespace tessaro {

namespace {

TGlobalObject* instance = nullptr;

void AssignPath(std::string& field, const std::string& value) {
    if (value.size() > 3) {
        field = value;
    }
}

void AssignText(std::string& field, const std::string& value) {
    if (!value.empty()) {
        field = value;
    }
}

} // namespace

TGlobalObject::TGlobalObject() {
    assert(instance == nullptr && "one application object at a time");
    instance = this;
}

TGlobalObject::~TGlobalObject() {
    if (instance == this) {
        instance = nullptr;
    }
}

TGlobalObject* TGlobalObject::Instance() {
    return instance;
}

void TGlobalObject::SetHelpUrl(const std::string& value) {
    AssignText(helpUrl_, value);
}
void TGlobalObject::SetSettingsPath(const std::string& value) {
    AssignPath(settingsPath_, value);
}
void TGlobalObject::SetFormatPath(const std::string& value) {
    AssignPath(formatPath_, value);
}
void TGlobalObject::SetProductName(const std::string& value) {
    AssignText(productName_, value);
}
void TGlobalObject::SetVersionText(const std::string& value) {
    AssignText(versionText_, value);
}
void TGlobalObject::SetHomeUrl(const std::string& value) {
    AssignText(homeUrl_, value);
}
void TGlobalObject::SetDownloadUrl(const std::string& value) {
    AssignText(downloadUrl_, value);
}

std::string TGlobalObject::RightChars(const std::string& text, std::uint16_t count) {
    return text.size() <= count ? text : text.substr(text.size() - count);
}

std::string TGlobalObject::VersionTextOf(unsigned major, unsigned minor, unsigned build,
                                         unsigned release) {
    return " " + std::to_string(major) + "." + std::to_string(minor) + std::to_string(build) +
           std::to_string(release) + " ";
}

std::string TGlobalObject::FileVersionText() {
    return VersionTextOf(TESSARO_VERSION_MAJOR, TESSARO_VERSION_MINOR, TESSARO_VERSION_PATCH,
                         TESSARO_VERSION_TWEAK);
}

} // namespace tessaro
