#include "ChainTableCheck.h"

#include "Disc.h"

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace dvddec {
namespace {

// Offsets of the IFO structures the check reads.
constexpr std::uint32_t VtsiIdentifierLength = 12;
constexpr std::uint32_t VtsiChainTableSector = 0xCC; // sector of the titles' chain table
constexpr std::uint32_t VtsiMenuTableSector = 0xD0;  // sector of the menus' language units
constexpr std::uint32_t LanguageUnitTableHeaderSize = 8;
constexpr std::uint32_t LanguageUnitSize = 8;
constexpr std::uint32_t ChainTableHeaderSize = 8;
constexpr std::uint32_t SearchPointerSize = 8;
constexpr std::uint32_t ChainHeaderSize = 236; // a program chain's fixed part
constexpr std::uint32_t CommandTableHeaderSize = 8;
constexpr std::uint32_t CommandSize = 8;
constexpr std::uint32_t CellPlaybackSize = 24;
constexpr std::uint32_t CellPositionSize = 4;
constexpr std::uint32_t VmgiTitleTableSector = 0xC4; // sector of the disc's title table
constexpr std::uint32_t TitleTableLastByte = 4;      // its "last byte" after two counts

// A table that an IFO's header points to: the header field with the table's sector, and where
// the table's own "last byte" field lies.
struct TSizedTable {
    std::uint32_t sectorField;
    std::uint32_t lastByte;
};
// A title set's cell address tables (after two counts) and unit address maps (first), for
// its menus and its titles.
constexpr TSizedTable VtsiAddressTables[] = {{0xD8, 4}, {0xDC, 0}, {0xE0, 4}, {0xE4, 0}};
constexpr std::uint32_t VtsiHeaderSize = 0xE8; // up to the last table sector read here

std::uint32_t Read16(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 8 | bytes[1];
}

std::uint32_t Read32(const std::uint8_t* bytes) {
    return Read16(bytes) << 16 | Read16(bytes + 2);
}

// One IFO file as libdvdread reads it: positions are 32-bit, as libdvdread computes them, and a
// read succeeds only within the file's whole blocks.
class TIfoFile {
public:
    TIfoFile(dvd_reader_t* reader, int titleSet, dvd_read_domain_t domain)
        : file_(DVDOpenFile(reader, titleSet, domain)) {
        if (file_) {
            blocks_ = DVDFileSize(file_.get());
        }
    }

    bool IsOpen() const { return file_ && blocks_ > 0; }

    bool Fits(std::uint32_t position, std::uint64_t length) const {
        return std::uint64_t(position) + length <= std::uint64_t(blocks_) * DVD_VIDEO_LB_LEN;
    }

    bool Read(std::uint32_t position, std::uint32_t length, std::uint8_t* bytes) {
        return Fits(position, length) && DVDFileSeek(file_.get(), std::int32_t(position)) >= 0 &&
               DVDReadBytes(file_.get(), bytes, length) == ssize_t(length);
    }

private:
    TDvdFilePtr file_;
    ssize_t blocks_ = 0;
};

// Whether the table whose sector the IFO's header holds at field lies within the file as far
// as its own "last byte" field (at lastByte in the table, its header ending after it) says.
// libdvdread allocates and reads that many bytes: for a length near 4 GiB its sector count
// overflows and it writes past its buffer, and a length of gigabytes takes that much memory
// and time.
bool TableLengthFits(TIfoFile& ifo, const std::uint8_t* header, std::uint32_t field,
                     std::uint32_t lastByte) {
    const std::uint32_t table = Read32(header + field) * DVD_VIDEO_LB_LEN;
    std::uint8_t tableHeader[8];
    if (table == 0 || !ifo.Read(table, lastByte + 4, tableHeader)) {
        return true; // libdvdread gives up before reading the table
    }
    // A length shorter than the table's own header makes libdvdread's count of the bytes after
    // it wrap around to nearly 4 GiB.
    const std::uint64_t end = std::uint64_t(Read32(tableHeader + lastByte)) + 1;
    return end >= lastByte + 4 && ifo.Fits(table, end);
}

// Whether libdvdread reads the whole chain at position: its fixed part, the command table and
// the program, cell playback and cell position tables, each where the fixed part says.
bool ChainReadable(TIfoFile& ifo, std::uint32_t position) {
    std::uint8_t chain[ChainHeaderSize];
    if (!ifo.Read(position, ChainHeaderSize, chain)) {
        return false;
    }
    const std::uint32_t programs = chain[2];
    const std::uint32_t cells = chain[3];
    const std::uint32_t commandTable = Read16(chain + 0xE4);
    const std::uint32_t programMap = Read16(chain + 0xE6);
    const std::uint32_t cellPlayback = Read16(chain + 0xE8);
    const std::uint32_t cellPosition = Read16(chain + 0xEA);
    if (commandTable != 0) {
        std::uint8_t counts[CommandTableHeaderSize];
        if (!ifo.Read(position + commandTable, CommandTableHeaderSize, counts)) {
            return false;
        }
        const std::uint64_t commands = Read16(counts) + Read16(counts + 2) + Read16(counts + 4);
        if (!ifo.Fits(position + commandTable + CommandTableHeaderSize, commands * CommandSize)) {
            return false;
        }
    }
    const auto tableFits = [&](std::uint32_t offset, std::uint64_t size) {
        return offset == 0 || size == 0 || ifo.Fits(position + offset, size);
    };
    return tableFits(programMap, programs) && tableFits(cellPlayback, cells * CellPlaybackSize) &&
           tableFits(cellPosition, cells * CellPositionSize);
}

// The chain table at position (search pointers, then the chains): false when a chain several
// pointers share cannot be read whole.
bool SharedChainsReadable(TIfoFile& ifo, std::uint32_t table) {
    std::uint8_t header[ChainTableHeaderSize];
    if (!ifo.Read(table, ChainTableHeaderSize, header)) {
        return true; // libdvdread gives up on the table before any chain
    }
    const std::uint32_t count = Read16(header);
    std::vector<std::uint8_t> pointers(std::size_t(count) * SearchPointerSize);
    if (count == 0 ||
        !ifo.Read(table + ChainTableHeaderSize, count * SearchPointerSize, pointers.data())) {
        return true;
    }
    std::set<std::uint32_t> seen;
    std::set<std::uint32_t> shared;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t start = Read32(pointers.data() + i * SearchPointerSize + 4);
        if (!seen.insert(start).second && shared.insert(start).second &&
            !ChainReadable(ifo, table + start)) {
            return false;
        }
    }
    return true;
}

// The menus keep one chain table per language unit.
bool MenuChainsReadable(TIfoFile& ifo, std::uint32_t units) {
    std::uint8_t header[LanguageUnitTableHeaderSize];
    if (!ifo.Read(units, LanguageUnitTableHeaderSize, header)) {
        return true;
    }
    const std::uint32_t count = Read16(header);
    std::vector<std::uint8_t> entries(std::size_t(count) * LanguageUnitSize);
    if (count == 0 ||
        !ifo.Read(units + LanguageUnitTableHeaderSize, count * LanguageUnitSize, entries.data())) {
        return true;
    }
    std::set<std::uint32_t> tables;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t start = Read32(entries.data() + i * LanguageUnitSize + 4);
        if (tables.insert(start).second && !SharedChainsReadable(ifo, units + start)) {
            return false;
        }
    }
    return true;
}

bool FileChainTablesSafe(dvd_reader_t* reader, int titleSet, dvd_read_domain_t domain) {
    TIfoFile ifo(reader, titleSet, domain);
    std::uint8_t header[VtsiHeaderSize];
    if (!ifo.IsOpen() || !ifo.Read(0, sizeof header, header)) {
        return true; // libdvdread refuses the file before its tables
    }
    // libdvdread reads a file by what its identifier says: a title set's file that calls
    // itself the video manager is read as one, and a damaged title table of it is freed twice.
    if (std::memcmp(header, "DVDVIDEO-VMG", VtsiIdentifierLength) == 0) {
        return false;
    }
    if (std::memcmp(header, "DVDVIDEO-VTS", VtsiIdentifierLength) != 0) {
        return true; // libdvdread refuses the file before its tables
    }
    for (const TSizedTable& table : VtsiAddressTables) {
        if (!TableLengthFits(ifo, header, table.sectorField, table.lastByte)) {
            return false;
        }
    }
    const std::uint32_t titles = Read32(header + VtsiChainTableSector) * DVD_VIDEO_LB_LEN;
    const std::uint32_t menus = Read32(header + VtsiMenuTableSector) * DVD_VIDEO_LB_LEN;
    return (titles == 0 || SharedChainsReadable(ifo, titles)) &&
           (menus == 0 || MenuChainsReadable(ifo, menus));
}

bool FileTitleTableSafe(dvd_reader_t* reader, dvd_read_domain_t domain) {
    TIfoFile ifo(reader, 0, domain);
    std::uint8_t header[VmgiTitleTableSector + 4];
    if (!ifo.IsOpen() || !ifo.Read(0, sizeof header, header) ||
        std::memcmp(header, "DVDVIDEO-VMG", VtsiIdentifierLength) != 0) {
        return true; // libdvdread refuses the file before its tables
    }
    return TableLengthFits(ifo, header, VmgiTitleTableSector, TitleTableLastByte);
}

} // namespace

bool TitleTableSafe(dvd_reader_t* reader) {
    return FileTitleTableSafe(reader, DVD_READ_INFO_FILE) &&
           FileTitleTableSafe(reader, DVD_READ_INFO_BACKUP_FILE);
}

bool ChainTablesSafe(dvd_reader_t* reader, int titleSet) {
    return FileChainTablesSafe(reader, titleSet, DVD_READ_INFO_FILE) &&
           FileChainTablesSafe(reader, titleSet, DVD_READ_INFO_BACKUP_FILE);
}

} // namespace dvddec
