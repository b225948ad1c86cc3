// What the lsdvd program reports about a disc, as an independent reference for the plug-in.
#pragma once

#include <string>
#include <vector>

namespace tessaro::test {

struct TLsdvdStream {
    int streamId = 0;
    std::string languageCode; // "xx" when the disc gives none
};

struct TLsdvdTitle {
    int number = 0;
    double seconds = 0;
    int chapters = 0;
    int width = 0;
    int height = 0;
    std::vector<TLsdvdStream> audio;
    std::vector<TLsdvdStream> subpictures;
    std::vector<double> chapterSeconds;
};

// Runs "lsdvd -x location" and parses its plain report; empty when lsdvd finds no titles.
std::vector<TLsdvdTitle> RunLsdvd(const std::string& location);

} // namespace tessaro::test
