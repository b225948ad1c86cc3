// The new-version notice: at start-up the program fetches a small XML notice, compares the
// version number in it with its own, and offers to open the download page when the notice
// names a higher version. The address is "settings"/"UpdateUrl"; while it is empty (as the
// program ships) nothing is fetched. Every failure (no network, a server error, a time-out, a
// notice that is not valid XML or lacks the number) ends the check silently. The check runs
// while the window's event loop goes on.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

class QNetworkAccessManager;

namespace tessaro {

inline constexpr const char* FreshNoticeFileName = "plovunet.xml";
inline constexpr const char* KeptNoticeFileName = "plovu.xml";
inline constexpr int NoticeReadTimeout = 15000; // milliseconds without data

// The text at a dotted path of an XML file: the root element must be the path's first name,
// each further name picks the first child element of that name. The result is the attribute's
// value (attribute not blank) or the element's text; empty when the root, an element or the
// attribute is missing; "error" when the file cannot be read, is not well-formed XML (anywhere
// in it), or the element holds other elements where its text is asked for.
std::string XmlValue(const std::string& fileName, const std::string& path,
                     const std::string& attribute, char delimiter = '.');

// A version text as a number: blanks around it are ignored, the decimal separator is ".".
// False for anything else (the empty text and "error" included).
bool VersionNumber(const std::string& text, double& number);

class TVersionNotice : public QObject {
    Q_OBJECT
public:
    struct TSetup {
        std::string SettingsPath; // holds "UpdateUrl"; the notice copies go beside it
        std::string OwnVersionText;
        std::string ProductName;
        std::string DownloadUrl; // opened when the user accepts
        int ReadTimeout = NoticeReadTimeout;
    };

    // window: the parent of the question box.
    TVersionNotice(TSetup setup, QWidget* window, QObject* parent = nullptr);
    ~TVersionNotice() override;

    // Starts the check; it goes on through the event loop and ends with finished().
    void Start();
    bool Running() const { return running_; }

signals:
    // The user chose to upgrade: the download page is opening, the window is to close without
    // its exit question.
    void upgradeAccepted();
    // The check has ended, whatever its outcome.
    void finished();

private:
    std::string NoticePath(const char* fileName) const;
    // GET address into fileName (replaced only by a complete body); done(true) on success.
    void Download(const std::string& address, const std::string& fileName,
                  std::function<void(bool)> done);
    void FreshNoticeArrived(bool ok);
    void Finish();

    TSetup setup_;
    QPointer<QWidget> window_;
    QNetworkAccessManager* network_;
    std::string address_;
    bool running_ = false;
};

} // namespace tessaro
