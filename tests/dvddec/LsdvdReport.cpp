#include "LsdvdReport.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
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

// The hexadecimal number after "Stream id: 0x", or -1.
int StreamId(const std::string& line) {
    const std::size_t at = line.find("Stream id: 0x");
    return at == std::string::npos ? -1 : int(std::strtol(line.c_str() + at + 13, nullptr, 16));
}

double Seconds(int hours, int minutes, int seconds, int milliseconds) {
    return hours * 3600.0 + minutes * 60.0 + seconds + milliseconds / 1000.0;
}

} // namespace

std::vector<TLsdvdTitle> RunLsdvd(const std::string& location) {
    std::vector<TLsdvdTitle> titles;
    std::istringstream report(Capture("lsdvd -x " + Quoted(location) + " 2>/dev/null"));
    std::string line;
    while (std::getline(report, line)) {
        const char* text = line.c_str() + line.find_first_not_of(" \t");
        int number = 0, h = 0, m = 0, sec = 0, ms = 0, chapters = 0, width = 0, height = 0;
        char code[8] = {};
        if (std::sscanf(text, "Title: %d, Length: %d:%d:%d.%d Chapters: %d", &number, &h, &m, &sec,
                        &ms, &chapters) == 6) {
            TLsdvdTitle& title = titles.emplace_back();
            title.number = number;
            title.seconds = Seconds(h, m, sec, ms);
            title.chapters = chapters;
        } else if (titles.empty()) {
            continue;
        } else if (std::sscanf(text, "Audio: %*d, Language: %7s -", code) == 1) {
            titles.back().audio.push_back({StreamId(line), code});
        } else if (std::sscanf(text, "Subtitle: %*d, Language: %7s -", code) == 1) {
            titles.back().subpictures.push_back({StreamId(line), code});
        } else if (std::sscanf(text, "Chapter: %*d, Length: %d:%d:%d.%d", &h, &m, &sec, &ms) == 4) {
            titles.back().chapterSeconds.push_back(Seconds(h, m, sec, ms));
        } else if (const std::size_t at = line.find("Width: ");
                   at != std::string::npos &&
                   std::sscanf(line.c_str() + at, "Width: %d, Height: %d", &width, &height) == 2) {
            titles.back().width = width;
            titles.back().height = height;
        }
    }
    return titles;
}

} // namespace tessaro::test
