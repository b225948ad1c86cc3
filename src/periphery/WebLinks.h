// The program's web addresses: home page, help page, support page, download page and the
// pages about related software.
#pragma once

#include <string>
#include <vector>

namespace tessaro {

inline constexpr const char* TessaroHomeUrl = "https://tessaro.example.org/";
inline constexpr const char* TessaroHelpUrl = "https://tessaro.example.org/help/";
inline constexpr const char* TessaroSupportUrl = "https://tessaro.example.org/support/";
inline constexpr const char* TessaroRelatedUrl = "https://tessaro.example.org/related";
// The page the new-version notice opens when the user accepts the upgrade.
inline constexpr const char* TessaroDownloadUrl = "https://tessaro.example.org/download/";

struct TRelatedProduct {
    std::string name;
    std::string url; // the related page with the product name as its query
};

// The ten entries of the "Related Software" menu.
const std::vector<TRelatedProduct>& RelatedSoftware();

// Percent-encodes text for use inside a URL query (RFC 3986 unreserved bytes stay).
std::string UrlQueryEncode(const std::string& text);

} // namespace tessaro
