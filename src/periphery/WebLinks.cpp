#include "WebLinks.h"

namespace tessaro {

std::string UrlQueryEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
                                c == '~';
        if (unreserved) {
            encoded += char(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

const std::vector<TRelatedProduct>& RelatedSoftware() {
    static const std::vector<TRelatedProduct> products = [] {
        const char* names[] = {"Tessaro Audio Converter", "Tessaro Video Joiner",
                               "Tessaro Video Splitter",  "Tessaro DVD Burner",
                               "Tessaro Screen Recorder", "Tessaro Photo Slideshow",
                               "Tessaro Subtitle Editor", "Tessaro Media Player",
                               "Tessaro CD Ripper",       "Tessaro GIF Maker"};
        std::vector<TRelatedProduct> list;
        for (const char* name : names) {
            list.push_back(
                {name, std::string(TessaroRelatedUrl) + "?product=" + UrlQueryEncode(name)});
        }
        return list;
    }();
    return products;
}

} // namespace tessaro
