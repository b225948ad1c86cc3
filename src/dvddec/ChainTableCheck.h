// Checks of the disc's title table and of a title set's program chain tables (the titles' and
// the menus'), made on the IFO bytes before libdvdread reads them.
//
// libdvdread (6.1.3) keeps a program chain it cannot read as a null entry, and then follows a
// second search pointer to the same chain into that null entry (a crash). Such a table is found
// here first, so that the title set is refused instead.
#pragma once

#include <dvdread/dvd_reader.h>

namespace dvddec {

// False when the title table of the video manager's file or its backup copy claims more bytes
// than the file holds (libdvdread 6.1.3 overflows its buffer reading a length near 4 GiB).
bool TitleTableSafe(dvd_reader_t* reader);

// False when a cell address table or a unit address map of the title set claims more bytes
// than its IFO file holds, or when a chain that several search pointers of one table share does
// not lie within the title set's IFO file or its backup copy (both are checked: libdvdread reads
// the copy when the file fails). A file that cannot be opened or holds no chain table counts as
// safe: libdvdread gives up on it before reading any chain.
bool ChainTablesSafe(dvd_reader_t* reader, int titleSet);

} // namespace dvddec
