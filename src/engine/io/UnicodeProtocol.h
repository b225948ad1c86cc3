// File names handed to the media libraries, and the "unicode:" name form.
//
// Linux file names are byte strings (UTF-8 by convention) that the libraries open as
// they are, so names pass unchanged. Names stored in the "unicode:utf8:<name>" form
// are still accepted wherever the engine opens a file: such files are opened by the
// engine itself and handed to avformat through a custom I/O context.
#pragma once

#include "io/CustomIO.h"

#include <string>
#include <vector>

namespace tessaro {

// The prefix of the "unicode:" form for UTF-8 names.
inline constexpr const char* UnicodeUtf8Prefix = "unicode:utf8:";

// Whether a name must be rewritten before the libraries can open it (never on Linux:
// names are bytes the libraries pass to the system unchanged).
bool NeedsUnicodeName(const std::string& name);
// The name handed to the libraries for a file name.
std::string LibraryFileName(const std::string& name);
// The file name behind a library name: "unicode:utf8:<name>" gives <name>; any other
// name is returned unchanged.
std::string FromLibraryFileName(const std::string& libraryName);
inline std::string WideFromLibraryFileName(const std::string& libraryName) {
    return FromLibraryFileName(libraryName);
}
// True for names in the "unicode:" form, which only the engine can open.
bool IsUnicodeLibraryName(const std::string& libraryName);

// Reads a whole file by a plain or "unicode:" name into buffer followed by a zero byte, which
// the size includes (ReadWholeFile of base/FileHelpers.h with the libraries' codes). Returns 0,
// -1 when the file does not exist, AVERROR(ENOMEM) when it is too big for memory, AVERROR(EIO)
// when it cannot be read.
int ReadWholeFile(const std::string& libraryName, std::vector<char>& buffer);

// Makes the "unicode:" form usable; the loader calls it once avformat is bound.
void RegisterUnicodeProtocol();
bool IsUnicodeProtocolRegistered();

// Opens a file by a plain or "unicode:" name as a custom I/O context: for reading, or
// for writing (created or truncated). Returns 0 or an AVERROR code (AVERROR(ENOENT)
// for a missing input).
int OpenLibraryFile(const std::string& libraryName, bool write, CustomAVIOContextPtr& io);

// Opens an input by library name: "unicode:" names through OpenLibraryFile (io then
// holds the I/O context and must outlive context: declare it first), any other name by
// avformat itself (io stays empty). Returns 0 or an AVERROR code.
int OpenInputFile(AVInputFormatContextPtr& context, CustomAVIOContextPtr& io,
                  const std::string& libraryName, const AVInputFormat* format,
                  AVDictionary** options);

// Opens the output file of an allocated output context whose muxer writes a file
// (no AVFMT_NOFILE): "unicode:" names through OpenLibraryFile (io then holds the I/O
// context and must outlive context), any other name with avio_open2. The file is
// created or truncated. Returns 0 or an AVERROR code.
int OpenOutputFile(AVFormatContext* context, CustomAVIOContextPtr& io,
                   const std::string& libraryName);

} // namespace tessaro
