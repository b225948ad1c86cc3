// A title's chapter range read as one MPEG program stream: the cells' sectors of the title
// VOBs, concatenated in playback order, with random access by byte position.
#pragma once

#include "DVDDecApi.h"
#include "Disc.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The type behind the opaque handle of the C interface.
struct TDVDStream {
public:
    // Opens the range of param on the disc at path; null with error filled on failure.
    static std::unique_ptr<TDVDStream> Open(const std::string& path, const TDVDParam& param,
                                            std::string& error);

    int Read(std::uint8_t* buffer, int size);
    std::int64_t Seek(std::int64_t position);
    std::int64_t Size() const { return info_.Size; }
    const TDVDStreamInfo& Info() const { return info_; }

private:
    // A run of consecutive sectors of the title VOBs.
    struct TSegment {
        std::uint32_t firstSector;
        std::uint32_t sectorCount;
        std::int64_t streamSector; // where the run starts in the stream
    };

    TDVDStream() = default;
    void AddCell(const cell_playback_t& cell);
    const TSegment& SegmentOf(std::int64_t streamSector) const;
    bool FillCache(std::int64_t streamSector);

    std::mutex lock_;
    std::unique_ptr<dvddec::TDisc> disc_;
    dvddec::TDvdFilePtr vobs_;
    std::vector<TSegment> segments_;
    TDVDStreamInfo info_{};
    std::int64_t position_ = 0;
    // Sectors read ahead: [cacheFirst_, cacheFirst_ + cacheCount_) of the stream.
    std::vector<std::uint8_t> cache_;
    std::int64_t cacheFirst_ = 0;
    std::int64_t cacheCount_ = 0;
};
