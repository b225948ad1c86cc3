// Names of the two-letter language codes that DVDs store for audio and subpicture streams.
#pragma once

namespace dvddec {

// The English name of a lower-case two-letter ISO 639-1 code, or null when unknown.
const char* LanguageName(const char* code);

} // namespace dvddec
