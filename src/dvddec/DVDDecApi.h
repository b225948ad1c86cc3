/* The interface of the DVD plug-in library libdvddec.so: the records it exchanges with the
 * program and its exported C functions. Included by the library itself and by the program's
 * binding, so both agree on every byte of the records.
 *
 * Integers are signed 32-bit unless stated, text is 8-bit and zero-terminated, records are
 * little-endian in the layouts asserted below. */
#ifndef TESSARO_DVDDEC_API_H
#define TESSARO_DVDDEC_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(DVDDEC_BUILDING_LIBRARY)
#define DVDDEC_API __attribute__((visibility("default")))
#else
#define DVDDEC_API
#endif

enum {
    DVD_MAX_AUDIO = 8,
    DVD_MAX_SUBTITLE = 32,
    DVD_NAME_SIZE = 64,
    /* ToChapter value meaning "to the last chapter of the title". */
    DVD_LAST_CHAPTER = 99,
};

/* Video format codes of TDVDTitleInfo.VideoFormat. */
enum {
    DVD_FORMAT_MPEG1 = 1,
    DVD_FORMAT_MPEG2 = 2,
};

typedef struct TDVDAudioInfo {
    int32_t Reserved0;
    /* Program-stream id: 0x80+n AC-3, 0x88+n DTS, 0xA0+n LPCM, 0xC0+n MPEG audio. */
    int32_t StreamID;
    uint8_t Reserved1[12];
    /* Language name, the two-letter code when the name is unknown, or "Unknown". */
    char Name[DVD_NAME_SIZE];
} TDVDAudioInfo;

typedef struct TDVDSubtitleInfo {
    int32_t Reserved0;
    /* Program-stream id of the subpicture stream: 0x20+n. */
    int32_t StreamID;
    uint8_t Reserved1[4];
    char Name[DVD_NAME_SIZE];
} TDVDSubtitleInfo;

/* One title of the disc, filled by DVDGetTitle. */
typedef struct TDVDTitleInfo {
    double Duration; /* seconds */
    int32_t VideoFormat;
    uint8_t Reserved0[4];
    int32_t Width;
    int32_t Height;
    uint8_t Reserved1[8];
    int32_t AudioCount;
    TDVDAudioInfo Audio[DVD_MAX_AUDIO];
    int32_t SubtitleCount;
    TDVDSubtitleInfo Subtitle[DVD_MAX_SUBTITLE];
    int32_t ChapterCount;
    uint8_t Reserved2[812];
} TDVDTitleInfo;

/* What to play: chapters count from 1; FromChapter 0 is the start of the title and a
 * ToChapter of DVD_LAST_CHAPTER (or the chapter count) its end. */
typedef struct TDVDParam {
    int32_t Title; /* 0-based title index */
    int32_t FromChapter;
    int32_t ToChapter;
    int32_t AudioID;
    int32_t SubtitleID;
    int32_t AudioChannels;
    int32_t Deinterlace;
} TDVDParam;

/* Facts about an opened title stream. */
typedef struct TDVDStreamInfo {
    int64_t Size;         /* bytes of MPEG program stream over the chapter range */
    double Duration;      /* playback time of the chapter range in seconds */
    int32_t FirstChapter; /* the range actually opened, 1-based and inclusive */
    int32_t LastChapter;
    uint32_t Palette[16]; /* subpicture colour table as 0xRRGGBB */
} TDVDStreamInfo;

/* The sectors one cell of a title plays, inclusive, in its title set's VOBs. */
typedef struct TDVDCellExtent {
    int32_t TitleSet;
    uint32_t FirstSector;
    uint32_t LastSector;
} TDVDCellExtent;

typedef struct TDVDStream TDVDStream;

/* ---- Disc description ---- */

/* Nonzero when the library is usable. */
DVDDEC_API int32_t DVDInitialize(void);
/* Opens the disc at Path (device, mount folder, folder holding VIDEO_TS, or ISO image) and
 * returns its number of titles; below 1 when it is no DVD or has no titles. The disc stays
 * the one described by DVDGetTitle until the next call. */
DVDDEC_API int32_t DVDEnumTitle(const char* Path);
/* Fills Info for the 0-based title Index of the last enumerated disc; 0 on failure. */
DVDDEC_API int32_t DVDGetTitle(int32_t Index, TDVDTitleInfo* Info);
/* Remembers the title and chapters that an address without parameters plays. */
DVDDEC_API int32_t DVDSetParam(const TDVDParam* Param);
/* The libdvdread version the library was built with, as major * 10000 + minor * 100 + micro. */
DVDDEC_API int32_t DVDGetLibVersion(void);
/* The cells title Index of the last enumerated disc plays (all chapters, first angle), in
 * playback order: writes up to MaxCount of them into Cells and returns how many there are;
 * -1 when the title cannot be described. */
DVDDEC_API int32_t DVDGetTitleCells(int32_t Index, TDVDCellExtent* Cells, int32_t MaxCount);
/* 1 when the titles of the last enumerated disc are scrambled and cannot be descrambled
 * here, so reading them would give garbage; 0 otherwise (also when no disc is open). */
DVDDEC_API int32_t DVDDiscEncrypted(void);

/* ---- Reading a title ---- */

/* Copies the last TDVDParam given to DVDSetParam into Param; 0 when none was given. */
DVDDEC_API int32_t DVDGetParam(TDVDParam* Param);
/* Opens title Param->Title, chapters Param->FromChapter to Param->ToChapter, of the disc at
 * Path as one MPEG program stream (the title's cells in playback order, first angle only).
 * The other fields of Param are not used. On failure returns null and writes the reason into
 * ErrorText (ErrorSize bytes, zero-terminated) when ErrorText is not null. The handle owns its
 * own disc reader: it stays valid whatever other calls happen, until DVDStreamClose. Calls on
 * one handle may come from any thread; they are serialised by the handle. */
DVDDEC_API TDVDStream* DVDStreamOpen(const char* Path, const TDVDParam* Param, char* ErrorText,
                                     int32_t ErrorSize);
/* Reads up to Size bytes at the current position; returns the count, 0 at the end, -1 when the
 * disc cannot be read. */
DVDDEC_API int32_t DVDStreamRead(TDVDStream* Stream, uint8_t* Buffer, int32_t Size);
/* Moves to byte Position (0 to the size); returns the new position or -1 when out of range. */
DVDDEC_API int64_t DVDStreamSeek(TDVDStream* Stream, int64_t Position);
DVDDEC_API int64_t DVDStreamSize(TDVDStream* Stream);
DVDDEC_API int32_t DVDStreamGetInfo(TDVDStream* Stream, TDVDStreamInfo* Info);
/* Closes the handle; null is ignored. */
DVDDEC_API void DVDStreamClose(TDVDStream* Stream);

/* Pointer types for the binding that resolves these functions at run time. */
typedef int32_t (*TDVDInitializeFunc)(void);
typedef int32_t (*TDVDEnumTitleFunc)(const char*);
typedef int32_t (*TDVDGetTitleFunc)(int32_t, TDVDTitleInfo*);
typedef int32_t (*TDVDSetParamFunc)(const TDVDParam*);
typedef int32_t (*TDVDGetLibVersionFunc)(void);
typedef int32_t (*TDVDGetTitleCellsFunc)(int32_t, TDVDCellExtent*, int32_t);
typedef int32_t (*TDVDDiscEncryptedFunc)(void);
typedef int32_t (*TDVDGetParamFunc)(TDVDParam*);
typedef TDVDStream* (*TDVDStreamOpenFunc)(const char*, const TDVDParam*, char*, int32_t);
typedef int32_t (*TDVDStreamReadFunc)(TDVDStream*, uint8_t*, int32_t);
typedef int64_t (*TDVDStreamSeekFunc)(TDVDStream*, int64_t);
typedef int64_t (*TDVDStreamSizeFunc)(TDVDStream*);
typedef int32_t (*TDVDStreamGetInfoFunc)(TDVDStream*, TDVDStreamInfo*);
typedef void (*TDVDStreamCloseFunc)(TDVDStream*);

#ifdef __cplusplus
} /* extern "C" */

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the records are little-endian");
static_assert(sizeof(TDVDAudioInfo) == 84);
static_assert(offsetof(TDVDAudioInfo, StreamID) == 4);
static_assert(offsetof(TDVDAudioInfo, Name) == 20);
static_assert(sizeof(TDVDSubtitleInfo) == 76);
static_assert(offsetof(TDVDSubtitleInfo, StreamID) == 4);
static_assert(offsetof(TDVDSubtitleInfo, Name) == 12);
static_assert(sizeof(TDVDTitleInfo) == 3960);
static_assert(offsetof(TDVDTitleInfo, Duration) == 0);
static_assert(offsetof(TDVDTitleInfo, VideoFormat) == 8);
static_assert(offsetof(TDVDTitleInfo, Width) == 16);
static_assert(offsetof(TDVDTitleInfo, Height) == 20);
static_assert(offsetof(TDVDTitleInfo, AudioCount) == 32);
static_assert(offsetof(TDVDTitleInfo, Audio) == 36);
static_assert(offsetof(TDVDTitleInfo, SubtitleCount) == 708);
static_assert(offsetof(TDVDTitleInfo, Subtitle) == 712);
static_assert(offsetof(TDVDTitleInfo, ChapterCount) == 3144);
static_assert(sizeof(TDVDParam) == 28);
static_assert(offsetof(TDVDParam, Title) == 0);
static_assert(offsetof(TDVDParam, FromChapter) == 4);
static_assert(offsetof(TDVDParam, ToChapter) == 8);
static_assert(offsetof(TDVDParam, AudioID) == 12);
static_assert(offsetof(TDVDParam, SubtitleID) == 16);
static_assert(offsetof(TDVDParam, AudioChannels) == 20);
static_assert(offsetof(TDVDParam, Deinterlace) == 24);
static_assert(sizeof(TDVDCellExtent) == 12);
static_assert(sizeof(TDVDStreamInfo) == 88);
static_assert(offsetof(TDVDStreamInfo, Palette) == 24);
#endif

#endif /* TESSARO_DVDDEC_API_H */
