#include "TitleStream.h"

#include "DVDRanges.h"
#include "TitleInfo.h"

#include <algorithm>
#include <cstring>

namespace {

// Sectors read from the disc at a time: large reads keep an optical drive streaming.
constexpr std::int64_t CacheSectors = 256;

} // namespace

std::unique_ptr<TDVDStream> TDVDStream::Open(const std::string& path, const TDVDParam& param,
                                             std::string& error) {
    std::unique_ptr<TDVDStream> stream(new TDVDStream());
    stream->disc_ = dvddec::TDisc::Open(path, error);
    if (!stream->disc_) {
        return nullptr;
    }
    dvddec::TTitleLayout layout;
    if (!stream->disc_->TitleLayout(param.Title, layout, error)) {
        return nullptr;
    }
    const int chapterCount = int(layout.chapters.size());
    const dvddec::TChapterRange range =
        dvddec::ResolveChapterRange(param.FromChapter, param.ToChapter, chapterCount);
    if (range.error != dvddec::TChapterRangeError::None) {
        error = dvddec::ChapterRangeErrorText(range, param, chapterCount);
        return nullptr;
    }
    {
        std::lock_guard lock(dvddec::LibraryLock());
        stream->vobs_.reset(
            DVDOpenFile(stream->disc_->Reader(), layout.titleSet, DVD_READ_TITLE_VOBS));
    }
    if (!stream->vobs_) {
        error = "The video files of title " + std::to_string(param.Title + 1) + " cannot be opened";
        return nullptr;
    }
    for (const cell_playback_t* cell : dvddec::PlayedCells(layout, range.first, range.last)) {
        stream->AddCell(*cell);
        stream->info_.Duration += dvddec::PlaybackSeconds(cell->playback_time);
    }
    if (stream->segments_.empty()) {
        error = "Title " + std::to_string(param.Title + 1) + " has no video in chapters " +
                std::to_string(range.first) + " to " + std::to_string(range.last);
        return nullptr;
    }
    const TSegment& last = stream->segments_.back();
    stream->info_.Size = (last.streamSector + last.sectorCount) * DVD_VIDEO_LB_LEN;
    stream->info_.FirstChapter = range.first;
    stream->info_.LastChapter = range.last;
    dvddec::PaletteToRgb(*layout.chapters[range.first - 1].pgc, stream->info_.Palette);
    stream->cache_.resize(CacheSectors * DVD_VIDEO_LB_LEN);
    return stream;
}

void TDVDStream::AddCell(const cell_playback_t& cell) {
    if (cell.last_sector < cell.first_sector) {
        return; // a damaged cell entry holds no sectors
    }
    const std::uint32_t count = cell.last_sector - cell.first_sector + 1;
    if (!segments_.empty()) {
        TSegment& previous = segments_.back();
        if (previous.firstSector + previous.sectorCount == cell.first_sector) {
            previous.sectorCount += count; // cells that follow each other on the disc
            return;
        }
    }
    const std::int64_t streamSector =
        segments_.empty() ? 0 : segments_.back().streamSector + segments_.back().sectorCount;
    segments_.push_back({cell.first_sector, count, streamSector});
}

const TDVDStream::TSegment& TDVDStream::SegmentOf(std::int64_t streamSector) const {
    auto after = std::upper_bound(
        segments_.begin(), segments_.end(), streamSector,
        [](std::int64_t sector, const TSegment& segment) { return sector < segment.streamSector; });
    return *(after - 1);
}

bool TDVDStream::FillCache(std::int64_t streamSector) {
    const TSegment& segment = SegmentOf(streamSector);
    const std::int64_t offset = streamSector - segment.streamSector;
    const std::int64_t count = std::min<std::int64_t>(CacheSectors, segment.sectorCount - offset);
    const ssize_t read = DVDReadBlocks(vobs_.get(), int(segment.firstSector + offset),
                                       std::size_t(count), cache_.data());
    if (read <= 0) {
        cacheCount_ = 0;
        return false;
    }
    cacheFirst_ = streamSector;
    cacheCount_ = read;
    return true;
}

int TDVDStream::Read(std::uint8_t* buffer, int size) {
    std::lock_guard guard(lock_);
    int done = 0;
    while (done < size && position_ < info_.Size) {
        const std::int64_t sector = position_ / DVD_VIDEO_LB_LEN;
        if ((sector < cacheFirst_ || sector >= cacheFirst_ + cacheCount_) && !FillCache(sector)) {
            return done > 0 ? done : -1;
        }
        const std::int64_t cacheOffset = position_ - cacheFirst_ * DVD_VIDEO_LB_LEN;
        const std::int64_t available = cacheCount_ * DVD_VIDEO_LB_LEN - cacheOffset;
        const int chunk = int(std::min<std::int64_t>(available, size - done));
        std::memcpy(buffer + done, cache_.data() + cacheOffset, std::size_t(chunk));
        done += chunk;
        position_ += chunk;
    }
    return done;
}

std::int64_t TDVDStream::Seek(std::int64_t position) {
    std::lock_guard guard(lock_);
    if (position < 0 || position > info_.Size) {
        return -1;
    }
    position_ = position;
    return position_;
}
