#include "LsdvdReport.h"

#include <cstdio>
#include <memory>
#include <regex>
#include <sstream>

namespace tessaro::test {
namespace {

std::string Capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string text;
    char buffer[4096];
    std::size_t count = 0;
    while (pipe && (count = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
        text.append(buffer, count);
    }
    return text;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

double Seconds(const std::smatch& m, int first) {
    return std::stoi(m[first]) * 3600.0 + std::stoi(m[first + 1]) * 60.0 +
           std::stod(m[first + 2].str() + "." + m[first + 3].str());
}

} // namespace

std::vector<TLsdvdTitle> RunLsdvd(const std::string& location) {
    static const std::regex title(
        R"(^Title: (\d+), Length: (\d+):(\d+):(\d+)\.(\d+) Chapters: (\d+))");
    static const std::regex picture(R"(Width: (\d+), Height: (\d+))");
    static const std::regex audio(
        R"(^\s+Audio: \d+, Language: (\S+) - .*Stream id: 0x([0-9a-f]+))");
    static const std::regex subpicture(
        R"(^\s+Subtitle: \d+, Language: (\S+) - .*Stream id: 0x([0-9a-f]+))");
    static const std::regex chapter(R"(^\s+Chapter: \d+, Length: (\d+):(\d+):(\d+)\.(\d+))");

    std::vector<TLsdvdTitle> titles;
    std::istringstream report(Capture("lsdvd -x " + Quoted(location) + " 2>/dev/null"));
    std::string line;
    std::smatch m;
    while (std::getline(report, line)) {
        if (std::regex_search(line, m, title)) {
            TLsdvdTitle& added = titles.emplace_back();
            added.number = std::stoi(m[1]);
            added.seconds = Seconds(m, 2);
            added.chapters = std::stoi(m[6]);
        } else if (titles.empty()) {
            continue;
        } else if (std::regex_search(line, m, audio)) {
            titles.back().audio.push_back({std::stoi(m[2], nullptr, 16), m[1]});
        } else if (std::regex_search(line, m, subpicture)) {
            titles.back().subpictures.push_back({std::stoi(m[2], nullptr, 16), m[1]});
        } else if (std::regex_search(line, m, chapter)) {
            titles.back().chapterSeconds.push_back(Seconds(m, 1));
        } else if (std::regex_search(line, m, picture)) {
            titles.back().width = std::stoi(m[1]);
            titles.back().height = std::stoi(m[2]);
        }
    }
    return titles;
}

} // namespace tessaro::test
