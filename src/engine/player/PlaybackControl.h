// What the threads of one playback tell each other: the control flags (each atomic, each
// saying who sets it), the facts of the opened file, the event loop's own SDL events, and the
// waits every playback thread uses.
#pragma once

#include "base/ManualEvent.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include <SDL2/SDL.h>

namespace tessaro {

class TPlaybackClock;

// The event loop's own SDL events.
inline constexpr Uint32 RefreshEventType = SDL_USEREVENT + 1;
inline constexpr Uint32 QuitPlaybackEventType = SDL_USEREVENT + 2;
inline constexpr Uint32 RelayoutEventType = SDL_USEREVENT + 3;

// Seek flags (the library's values): backward 1, byte 2, any frame 4, frame number 8.
inline constexpr int SeekFlagsMask = 0x0F;

// The opened file's facts: written by the reading thread while it opens the file, before it
// sets the open result; read-only from then on.
struct TMediaFacts {
    std::string FileName;
    std::int64_t StartTime = 0; // microseconds; 0 when unknown
    std::int64_t Duration = -1; // microseconds; -1 when unknown
    bool ImageSequence = false;
    bool Capture = false; // a capture device: never late, no end
};

// Flags shared by the playback threads.
struct TPlaybackControl {
    std::atomic<bool> AbortRequest{false}; // set when playback closes; every thread ends
    // 0 pending, 1 opened, -1 failed, -2 failed and the reading thread is done (reading thread)
    std::atomic<int> OpenResult{0};
    // A seek is wanted (set by RequestSeek after it wrote the three values below, which the
    // reading thread reads once it sees the flag and clears it when the seek is done).
    std::atomic<bool> SeekRequest{false};
    int SeekFlags = 0;
    std::int64_t SeekTarget = 0;
    std::int64_t SeekRelative = 0;
    std::atomic<int> ReadPauseReturn{0};  // the demuxer's pause result (reading thread)
    std::atomic<bool> InsideRead{false};  // the reading thread is inside av_read_frame
    std::atomic<bool> Drained{false};     // everything read has been taken (reading thread)
    std::atomic<bool> EndReported{false}; // the end was reported (player; cleared by decoding)
    // 1 opened paused, 2 one picture decoded; the second reports the pause (video thread)
    std::atomic<int> OpenPaused{0};
    std::atomic<bool> PausedAtSeek{false};  // a seek asked for while paused (RequestSeek)
    std::atomic<bool> StalePictures{false}; // a seek is done; queued pictures are from before it
    std::atomic<bool> FirstFrameAfterFlush{false}; // the decoder was flushed (video thread)
    std::atomic<int> ShowMode{0};                  // 0 pictures, 1 waveform, 2 spectrum (opening)
    // A refresh event waits for the event loop (set by the refresh timer, cleared by the
    // event loop once it has refreshed; the decoding thread looks at it).
    std::atomic<bool> RefreshPending{false};
    TManualEvent SeekDone{true};     // reset by a seek request, set when the seek is done
    TManualEvent FrameDecoded{true}; // set after each picture, reset when a seek flushed video
};

// A paused decoding thread waits here. A seek while paused lets it decode the picture at the
// new position, but only once the reading thread has performed the seek: until then the
// queue still holds packets from before it, whose pictures would be shown as if they were
// the new position's.
void IdleWhilePaused(const TPlaybackControl& control, const TPlaybackClock& clock);

void PostPlayerEvent(Uint32 type);
void SleepFor(std::chrono::milliseconds duration);

} // namespace tessaro
