// The application object: paths of the two INI files, the product strings and the
// web links. One instance lives from the main window's creation to the end of its
// close question; every window reaches it through TGlobalObject::Instance().
#pragma once

#include <cstdint>
#include <string>

namespace tessaro {

class TGlobalObject {
public:
    TGlobalObject();
    ~TGlobalObject();
    TGlobalObject(const TGlobalObject&) = delete;
    TGlobalObject& operator=(const TGlobalObject&) = delete;

    // The living instance, or nullptr before the main window exists and after it closed.
    static TGlobalObject* Instance();

    const std::string& HelpUrl() const { return helpUrl_; }
    const std::string& SettingsPath() const { return settingsPath_; }
    const std::string& FormatPath() const { return formatPath_; }
    const std::string& ProductName() const { return productName_; }
    const std::string& VersionText() const { return versionText_; }
    const std::string& DownloadUrl() const { return downloadUrl_; }
    const std::string& HomeUrl() const { return homeUrl_; }

    // Each setter keeps the old value when the new one fails its guard:
    // paths of three characters or fewer, or empty texts.
    void SetHelpUrl(const std::string& value);
    void SetSettingsPath(const std::string& value);
    void SetFormatPath(const std::string& value);
    void SetProductName(const std::string& value);
    void SetVersionText(const std::string& value);
    void SetHomeUrl(const std::string& value);
    void SetDownloadUrl(const std::string& value);

    // The last count characters of text, or all of it when it is shorter.
    static std::string RightChars(const std::string& text, std::uint16_t count);
    // The running program's version as " major.minorbuildrelease ", e.g. " 3.300 ".
    static std::string FileVersionText();
    static std::string VersionTextOf(unsigned major, unsigned minor, unsigned build,
                                     unsigned release);

private:
    std::string helpUrl_;
    std::string settingsPath_;
    std::string formatPath_;
    std::string productName_;
    std::string versionText_;
    std::string downloadUrl_;
    std::string homeUrl_;
};

} // namespace tessaro
