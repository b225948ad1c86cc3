// Reads container and stream facts of a media file without decoding it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVDictionary;
struct AVStream;
struct AVFormatContext;

namespace tessaro {

// Container-level facts. A record that could not be filled holds -1 and empty strings.
struct TFileStreamInfo {
    std::int64_t StartTime = -1; // microseconds
    std::int64_t Duration = -1;  // microseconds
    std::int32_t BitRate = -1;   // bits per second
    std::int64_t Timestamp = -1; // creation time, seconds since 1970-01-01 UTC
    std::int32_t Year = -1;
    std::int32_t Track = -1;
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TAudioStreamInfo {
    std::string Language;
    std::string CodecName;
    std::int64_t StartTime = -1;   // stream time base; the no-value marker when unknown
    std::int64_t StartTimeUs = -1; // microseconds; -1 when unknown
    std::int64_t Duration = -1;    // stream time base
    std::int64_t DurationUs = -1;  // microseconds; -1 when unknown
    std::int32_t BitRate = -1;
    std::int32_t Channels = -1;
    std::int32_t SampleRate = -1;
    std::int32_t SampleFormat = -1;
};

struct TVideoStreamInfo {
    std::string Language;
    std::string CodecName;
    std::int64_t StartTime = -1;
    std::int64_t StartTimeUs = -1;
    std::int64_t Duration = -1;
    std::int64_t DurationUs = -1;
    std::int32_t BitRate = -1;
    std::int32_t Height = -1;
    std::int32_t Width = -1;
    float AspectRatio = -1.0f; // display aspect ratio
    std::int32_t PixelFormat = -1;
    std::int32_t FrameRateNum = -1;
    std::int32_t FrameRateDen = -1;
    // Clockwise degrees (0, 90, 180, 270) the pictures are turned to be shown upright; Width
    // and Height stay those of the stored pictures.
    std::int32_t Rotation = -1;
};

// The probe holds either a demuxer context it opened itself (LoadFile) or one
// adopted from another engine part (AttachContext), which it never closes.
// It has no lock: one thread at a time uses it.
class TCustomMediaProbe {
public:
    TCustomMediaProbe();
    TCustomMediaProbe(const TCustomMediaProbe&) = delete;
    TCustomMediaProbe& operator=(const TCustomMediaProbe&) = delete;
    virtual ~TCustomMediaProbe();

    // Opens FileName; FormatName forces the input format (empty: detect).
    bool LoadFile(const std::string& FileName, const std::string& FormatName = {});

    virtual void RefreshInfo();
    // Adopts Context (null: forget the current one); its opener keeps ownership.
    virtual void AttachContext(AVFormatContext* Context);
    virtual void CloseFile();

    void GetFileStreamInfo(TFileStreamInfo& Info);
    // A negative StreamIndex means the first stream of that kind.
    void GetAudioStreamInfo(int StreamIndex, TAudioStreamInfo& Info);
    void GetVideoStreamInfo(int StreamIndex, TVideoStreamInfo& Info);
    bool IsAudioStream(int StreamIndex);
    bool IsVideoStream(int StreamIndex);

    std::string GetFileName();
    std::string GetFormatName();
    // Multi-line description, each line ended by CR LF.
    std::string GetFileInfoText();

    AVFormatContext* FormatContext() const { return context_; }
    bool OwnsContext() const { return ownsContext_; }
    const std::string& LastError() const { return lastError_; }
    const std::string& ForcedFormat() const { return forcedFormat_; }
    std::int64_t FileSize() const { return fileSize_; }
    int StreamCount() const { return streamCount_; }
    int ProgramCount() const { return programCount_; }
    int AudioStreamCount() const { return audioStreamCount_; }
    int VideoStreamCount() const { return videoStreamCount_; }
    int SubtitleStreamCount() const { return subtitleStreamCount_; }
    int FirstAudioStream() const { return firstAudioStream_; }
    int FirstVideoStream() const { return firstVideoStream_; }
    int FirstSubtitleStream() const { return firstSubtitleStream_; }

protected:
    // Logs Text with the library log level mapped to the engine's and keeps it in LastError.
    void ReportError(int libraryLevel, const std::string& Text);

private:
    void CheckLibraries() const;
    bool CheckLoaded();
    bool IsStreamOfType(int StreamIndex, int mediaType);
    // Resolves StreamIndex for a stream of mediaType; -1 after reporting the failure.
    int ResolveStream(int StreamIndex, int mediaType, const char* kindName);
    // Resets Info, resolves the stream and fills the fields every stream record has;
    // null after reporting why the stream cannot be described.
    template <typename TInfo>
    AVStream* BeginStreamInfo(int StreamIndex, int mediaType, const char* kindName, TInfo& Info);
    std::int64_t ContextFileSize() const;
    std::string StreamLine(AVStream* stream) const;

    struct TOwnedInput;

    std::unique_ptr<TOwnedInput> ownedInput_; // a file opened by LoadFile
    AVFormatContext* context_ = nullptr;      // ownedInput_'s context or an adopted one
    bool ownsContext_ = false;
    std::string lastError_;
    std::string forcedFormat_;
    std::int64_t fileSize_ = -1;
    int streamCount_ = -1;
    int programCount_ = -1;
    int audioStreamCount_ = -1;
    int videoStreamCount_ = -1;
    int subtitleStreamCount_ = -1;
    int firstAudioStream_ = -1;
    int firstVideoStream_ = -1;
    int firstSubtitleStream_ = -1;
};

class TMediaProbe : public TCustomMediaProbe {
public:
    ~TMediaProbe() override;
    void RefreshInfo() override;
    void CloseFile() override;
};

// Text of a frame or time-base rate as the stream description shows it
// (", 29.97 fps", ", 25 tbr", ", 90k tbn").
std::string RateText(double value, const char* suffix);
// The "Metadata:" block of a tag set, keys shown under their plain names.
std::string MetadataBlockText(const AVDictionary* metadata, const std::string& indent);
// The plain name of an ID3 frame key ("TIT2" -> "title"); other keys unchanged.
std::string MetadataKeyName(const std::string& key);

} // namespace tessaro
