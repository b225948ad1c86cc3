#include "Disc.h"

#include "ChainTableCheck.h"
#include "DVDRanges.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>
#include <sys/stat.h>

namespace dvddec {
namespace {

int FromBcd(std::uint8_t value) {
    return (value >> 4) * 10 + (value & 0x0f);
}

std::string FormatV(const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

std::string Str(int value) {
    return std::to_string(value);
}

// ": " + the last libdvdread message, or nothing when there is none.
std::string Reason(const std::string& message) {
    return message.empty() ? "" : ": " + message;
}

// The cells of program pgn (1-based) of pgc, or false when the program map is inconsistent.
bool ProgramCells(const pgc_t& pgc, int pgn, TChapterCells& cells) {
    if (pgc.program_map == nullptr || pgc.cell_playback == nullptr || pgn < 1 ||
        pgn > pgc.nr_of_programs) {
        return false;
    }
    cells.firstCell = pgc.program_map[pgn - 1] - 1;
    cells.endCell = pgn < pgc.nr_of_programs ? pgc.program_map[pgn] - 1 : pgc.nr_of_cells;
    return cells.firstCell >= 0 && cells.firstCell < cells.endCell &&
           cells.endCell <= pgc.nr_of_cells;
}

// The video manager with its title table, and nothing else of it this library does not use.
// libdvdread (6.1.3) frees the title table when it cannot read the table's head, a damaged or
// cut-off VIDEO_TS.IFO, without clearing its pointer, and ifoOpen then frees it a second time.
// Read here table by table, the pointer is cleared after a failed read: the table is then
// either freed or was never made.
TIfoPtr OpenVideoManager(dvd_reader_t* reader) {
    TIfoPtr vmg(ifoOpenVMGI(reader));
    if (vmg && !TitleTableSafe(reader)) {
        return nullptr;
    }
    if (vmg && ifoRead_TT_SRPT(vmg.get()) == 0) {
        vmg->tt_srpt = nullptr;
    }
    return vmg;
}

} // namespace

double PlaybackSeconds(const dvd_time_t& time) {
    const int rateCode = (time.frame_u & 0xc0) >> 6;
    const double framesPerSecond = rateCode == 1 ? 25.0 : rateCode == 3 ? 29.97 : 0.0;
    double seconds =
        FromBcd(time.hour) * 3600.0 + FromBcd(time.minute) * 60.0 + FromBcd(time.second);
    if (framesPerSecond > 0) {
        seconds += FromBcd(time.frame_u & 0x3f) / framesPerSecond;
    }
    return seconds;
}

void TDisc::Log(void* self, dvd_logger_level_t level, const char* format, va_list args) {
    // Information and debug lines (such as the note that no descrambler is installed) are
    // dropped; errors and warnings explain a failed open or read.
    if (level == DVD_LOGGER_LEVEL_ERROR || level == DVD_LOGGER_LEVEL_WARN) {
        static_cast<TDisc*>(self)->lastMessage_ = FormatV(format, args);
    }
}

std::recursive_mutex& LibraryLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::unique_ptr<TDisc> TDisc::Open(const std::string& path, std::string& error) {
    // libdvdread loses its reader context when it cannot find the path, so it is only asked
    // about paths that exist.
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = "\"" + path + "\" does not exist";
        return nullptr;
    }
    std::lock_guard lock(LibraryLock());
    std::unique_ptr<TDisc> disc(new TDisc());
    disc->path_ = path;
    static const dvd_logger_cb logger = {&TDisc::Log};
    disc->reader_.reset(DVDOpen2(disc.get(), &logger, path.c_str()));
    if (!disc->reader_) {
        error = "Cannot open \"" + path + "\" as a DVD" + Reason(disc->lastMessage_);
        return nullptr;
    }
    disc->vmg_ = OpenVideoManager(disc->reader_.get());
    if (!disc->vmg_ || disc->vmg_->tt_srpt == nullptr || disc->vmg_->vmgi_mat == nullptr) {
        error = "\"" + path + "\" holds no DVD-Video title table";
        return nullptr;
    }
    return disc;
}

TDisc::~TDisc() {
    // The IFOs refer to the reader, so they go first.
    titleSets_.clear();
    vmg_.reset();
}

int TDisc::TitleCount() const {
    return vmg_->tt_srpt->nr_of_srpts;
}

const ifo_handle_t* TDisc::TitleSetIfo(int titleSet, std::string& error) {
    auto found = titleSets_.find(titleSet);
    if (found != titleSets_.end()) {
        return found->second.get();
    }
    // ifoOpen falls back to the .BUP copy when the .IFO file cannot be read.
    std::lock_guard lock(LibraryLock());
    lastMessage_.clear();
    if (!ChainTablesSafe(reader_.get(), titleSet)) {
        error = "Title set " + Str(titleSet) +
                " of the DVD cannot be read: its program chain "
                "table is damaged";
        return nullptr;
    }
    TIfoPtr ifo(ifoOpen(reader_.get(), titleSet));
    if (!ifo || ifo->vtsi_mat == nullptr || ifo->vts_ptt_srpt == nullptr ||
        ifo->vts_pgcit == nullptr) {
        error = "Title set " + Str(titleSet) + " of the DVD cannot be read" + Reason(lastMessage_);
        return nullptr;
    }
    return titleSets_.emplace(titleSet, std::move(ifo)).first->second.get();
}

bool TDisc::TitleLayout(int index, TTitleLayout& layout, std::string& error) {
    error = TitleRangeErrorText(index, TitleCount());
    if (!error.empty()) {
        return false;
    }
    const title_info_t& title = vmg_->tt_srpt->title[index];
    if (title.title_set_nr < 1 || title.title_set_nr > vmg_->vmgi_mat->vmg_nr_of_title_sets) {
        error = "Title " + Str(index + 1) + " refers to title set " + Str(title.title_set_nr) +
                ", which is not on the DVD";
        return false;
    }
    const ifo_handle_t* vts = TitleSetIfo(title.title_set_nr, error);
    if (vts == nullptr) {
        return false;
    }
    const vts_ptt_srpt_t& partTable = *vts->vts_ptt_srpt;
    if (title.vts_ttn < 1 || title.vts_ttn > partTable.nr_of_srpts) {
        error = "Title " + Str(index + 1) + " has no chapter table in title set " +
                Str(title.title_set_nr);
        return false;
    }
    const ttu_t& parts = partTable.title[title.vts_ttn - 1];
    const int chapterCount = std::min<int>(parts.nr_of_ptts, title.nr_of_ptts);
    if (chapterCount < 1 || parts.ptt == nullptr) {
        error = "Title " + Str(index + 1) + " has no chapters";
        return false;
    }

    layout = TTitleLayout{title.title_set_nr, vts, {}};
    for (int chapter = 0; chapter < chapterCount; ++chapter) {
        const ptt_info_t& part = parts.ptt[chapter];
        TChapterCells cells;
        cells.pgcNumber = part.pgcn;
        if (part.pgcn >= 1 && part.pgcn <= vts->vts_pgcit->nr_of_pgci_srp) {
            cells.pgc = vts->vts_pgcit->pgci_srp[part.pgcn - 1].pgc;
        }
        if (cells.pgc == nullptr || !ProgramCells(*cells.pgc, part.pgn, cells)) {
            error = "Chapter " + Str(chapter + 1) + " of title " + Str(index + 1) +
                    " points to a missing program (PGC " + Str(part.pgcn) + ", program " +
                    Str(part.pgn) + ")";
            return false;
        }
        layout.chapters.push_back(cells);
    }
    return true;
}

double TitleSeconds(const TTitleLayout& layout) {
    // A title normally plays one program chain; when its chapters spread over several,
    // each chain counts once.
    std::set<int> counted;
    double seconds = 0;
    for (const TChapterCells& chapter : layout.chapters) {
        if (counted.insert(chapter.pgcNumber).second) {
            seconds += PlaybackSeconds(chapter.pgc->playback_time);
        }
    }
    return seconds;
}

std::vector<const cell_playback_t*> PlayedCells(const TTitleLayout& layout, int first, int last) {
    std::vector<const cell_playback_t*> cells;
    for (int chapter = first; chapter <= last; ++chapter) {
        const TChapterCells& range = layout.chapters[chapter - 1];
        for (int cell = range.firstCell; cell < range.endCell; ++cell) {
            const cell_playback_t& playback = range.pgc->cell_playback[cell];
            if (playback.block_type == BLOCK_TYPE_ANGLE_BLOCK &&
                playback.block_mode != BLOCK_MODE_FIRST_CELL) {
                continue;
            }
            cells.push_back(&playback);
        }
    }
    return cells;
}

} // namespace dvddec
