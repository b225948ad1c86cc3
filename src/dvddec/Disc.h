// An opened DVD-Video disc: the libdvdread reader, its title table and the title-set IFOs,
// with the title layout (chapters -> program chain cells) checked against damaged tables.
#pragma once

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <dvdread/ifo_types.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dvddec {

// libdvdread's opening and closing of discs, IFOs and files are not safe on several threads
// at once, even on separate readers: concurrent opens of one image fail now and then. They
// are serialised with this lock; block reads of opened files run freely.
std::recursive_mutex& LibraryLock();

struct TDvdReaderDeleter {
    void operator()(dvd_reader_t* reader) const {
        std::lock_guard lock(LibraryLock());
        DVDClose(reader);
    }
};
struct TIfoDeleter {
    void operator()(ifo_handle_t* ifo) const {
        std::lock_guard lock(LibraryLock());
        ifoClose(ifo);
    }
};
struct TDvdFileDeleter {
    void operator()(dvd_file_t* file) const {
        std::lock_guard lock(LibraryLock());
        DVDCloseFile(file);
    }
};
using TDvdReaderPtr = std::unique_ptr<dvd_reader_t, TDvdReaderDeleter>;
using TIfoPtr = std::unique_ptr<ifo_handle_t, TIfoDeleter>;
using TDvdFilePtr = std::unique_ptr<dvd_file_t, TDvdFileDeleter>;

// Seconds of a BCD playback time. The frame field counts 25 (PAL) or 30 (NTSC) frames per
// second; NTSC frames are converted at 29.97 like other DVD tools do.
double PlaybackSeconds(const dvd_time_t& time);

// One chapter: the cells [firstCell, endCell) of a program chain, 0-based.
struct TChapterCells {
    int pgcNumber = 0; // 1-based number in the title set's PGC table
    const pgc_t* pgc = nullptr;
    int firstCell = 0;
    int endCell = 0;
};

// Where a title lives and how its chapters map onto cells.
struct TTitleLayout {
    int titleSet = 0;
    const ifo_handle_t* vts = nullptr;
    std::vector<TChapterCells> chapters;
};

// The playback time of a title in seconds.
double TitleSeconds(const TTitleLayout& layout);

// The cells that play chapters first to last (1-based, inclusive), in playback order. Of an
// angle block only the first angle's cell plays.
std::vector<const cell_playback_t*> PlayedCells(const TTitleLayout& layout, int first, int last);

class TDisc {
public:
    // Opens the disc at path; null with error filled when it is no readable DVD-Video.
    static std::unique_ptr<TDisc> Open(const std::string& path, std::string& error);

    TDisc(const TDisc&) = delete;
    TDisc& operator=(const TDisc&) = delete;
    ~TDisc();

    const std::string& Path() const { return path_; }
    dvd_reader_t* Reader() const { return reader_.get(); }
    int TitleCount() const;
    // The layout of the 0-based title, or false with error filled when the tables are
    // missing, unreadable or inconsistent.
    bool TitleLayout(int index, TTitleLayout& layout, std::string& error);

private:
    TDisc() = default;
    const ifo_handle_t* TitleSetIfo(int titleSet, std::string& error);
    static void Log(void* self, dvd_logger_level_t level, const char* format, va_list args);

    std::string path_;
    std::string lastMessage_; // the last error or warning libdvdread reported
    TDvdReaderPtr reader_;
    TIfoPtr vmg_;
    std::map<int, TIfoPtr> titleSets_;
};

} // namespace dvddec
