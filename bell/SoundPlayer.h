#pragma once

#include <string>

namespace halvix {

// Why a sound was not heard, or not to its end.
enum class SoundFault {
    Missing,    // the file is not there
    Unplayable, // not a sound, or no sound in it
    NoOutput,   // no sound server, no output on it, or the stream refused or never started
    CutOff,     // heard, then the server went away in the middle
};

// One playback channel: opens a file by full path and plays it without waiting. The audio players
// implement it on the sound server's client; tests record the calls.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Stops and closes what this channel played before, then starts `fullPath`. Returns the
    // number of this playback, which the listener's reports carry.
    virtual unsigned long long playPath(const std::string& fullPath) = 0;
    // Stops and closes the open media, if any.
    virtual void close() = 0;
    // Length of the open media in milliseconds; 0 while unknown or when nothing is open.
    virtual long long lengthMs() const = 0;
    // `fullPath` is likely the next sound of this channel: a channel may get it ready ahead so that
    // playPath starts it sooner. Playing still works for a path that was never prepared.
    virtual void prepare(const std::string& /*fullPath*/) {}
};

} // namespace halvix
