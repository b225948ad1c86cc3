#include "VersionNotice.h"

#include "core/DialogService.h"
#include "core/IniFile.h"
#include "core/ShellOpen.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <charconv>
#include <filesystem>
#include <optional>
#include <vector>

namespace tessaro {

namespace {

namespace fs = std::filesystem;

constexpr const char* ErrorValue = "error";

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<QString> SplitPath(const std::string& path, char delimiter) {
    std::vector<QString> names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(delimiter, start);
        names.push_back(QString::fromStdString(path.substr(start, end - start)));
        if (end == std::string::npos) {
            return names;
        }
        start = end + 1;
    }
}

// From the root element on (the reader stands on it), walks down names and takes the value;
// empty when an element or the attribute is missing.
std::string WalkToValue(QXmlStreamReader& xml, const std::vector<QString>& names,
                        const QString& attribute) {
    for (std::size_t level = 1; level < names.size(); ++level) {
        bool found = false;
        while (xml.readNextStartElement()) {
            if (xml.name() == names[level]) {
                found = true;
                break;
            }
            xml.skipCurrentElement();
        }
        if (!found) {
            return {};
        }
    }
    if (!attribute.isEmpty()) {
        return xml.attributes().value(attribute).toString().toStdString();
    }
    return xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement).toStdString();
}

} // namespace

std::string XmlValue(const std::string& fileName, const std::string& path,
                     const std::string& attribute, char delimiter) {
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly)) {
        return ErrorValue;
    }
    const std::vector<QString> names = SplitPath(path, delimiter);
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement()) {
        return ErrorValue; // no root element
    }
    std::string value;
    if (xml.name() == names.front()) {
        value = WalkToValue(xml, names, QString::fromStdString(Trimmed(attribute)));
    }
    // The whole document must be well-formed, also after the part that was read.
    while (!xml.atEnd()) {
        xml.readNext();
    }
    return xml.hasError() ? ErrorValue : value;
}

bool VersionNumber(const std::string& text, double& number) {
    std::string digits = Trimmed(text);
    if (!digits.empty() && digits.front() == '+') {
        digits.erase(0, 1);
    }
    if (digits.empty()) {
        return false;
    }
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, number);
    return error == std::errc() && stop == end;
}

TVersionNotice::TVersionNotice(TSetup setup, QWidget* window, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), window_(window),
      network_(new QNetworkAccessManager(this)) {}

TVersionNotice::~TVersionNotice() = default;

std::string TVersionNotice::NoticePath(const char* fileName) const {
    return (fs::path(setup_.SettingsPath).parent_path() / fileName).string();
}

void TVersionNotice::Start() {
    address_ = TIniFile(setup_.SettingsPath).ReadString("settings", "UpdateUrl", "");
    running_ = true;
    if (address_.empty()) {
        Finish();
        return;
    }
    Download(address_, NoticePath(FreshNoticeFileName),
             [this](bool ok) { FreshNoticeArrived(ok); });
}

void TVersionNotice::Download(const std::string& address, const std::string& fileName,
                              std::function<void(bool)> done) {
    QNetworkRequest request(QUrl(QString::fromStdString(address)));
    request.setTransferTimeout(setup_.ReadTimeout);
    QNetworkReply* reply = network_->get(request);
    connect(reply, &QNetworkReply::finished, this, [reply, fileName, done = std::move(done)] {
        reply->deleteLater();
        bool ok = reply->error() == QNetworkReply::NoError;
        if (ok) {
            const QByteArray body = reply->readAll();
            QSaveFile file(QString::fromStdString(fileName));
            ok =
                file.open(QIODevice::WriteOnly) && file.write(body) == body.size() && file.commit();
        }
        done(ok);
    });
}

void TVersionNotice::FreshNoticeArrived(bool ok) {
    const std::string fresh = NoticePath(FreshNoticeFileName);
    // Without a fresh notice the check ends; the kept copy of an earlier one is not consulted
    // for the version.
    if (!ok || !fs::is_regular_file(fresh)) {
        Finish();
        return;
    }
    const std::string serverVersion = XmlValue(fresh, "XMLPackage.videoversion", "number");
    double server = 0;
    double own = 0;
    if (!VersionNumber(serverVersion, server) || !VersionNumber(setup_.OwnVersionText, own)) {
        Finish();
        return;
    }
    if (server > own) {
        const TMessageResult answer = Dialogs().ShowMessage(
            window_, TMessageRequest{"Warning - New Version Available for Download.",
                                     "Do you want to upgrade to " + setup_.ProductName + " " +
                                         serverVersion + " now?",
                                     TMessageIcon::Question, TMessageButtons::YesNo});
        if (answer == TMessageResult::Yes) {
            OpenWithDefaultHandler(setup_.DownloadUrl);
            emit upgradeAccepted();
        }
    }
    Download(address_, NoticePath(KeptNoticeFileName), [this](bool) { Finish(); });
}

void TVersionNotice::Finish() {
    running_ = false;
    emit finished();
}

} // namespace tessaro
