// Encoder names written by the application (the older library generation's names)
// mapped onto the encoders installed today.
#pragma once

#include <string>

namespace tessaro {

// The installed encoder that serves Name: Name itself when the libraries have an encoder
// of that name and it can be used in the containers the application writes, else its
// replacement, else the default encoder of the codec called Name. When nothing can
// serve, Name is returned unchanged so that the "Unknown encoder" error names the word
// the application wrote. "copy" and empty names are returned as they are.
std::string ResolveEncoderName(const std::string& name);

} // namespace tessaro
