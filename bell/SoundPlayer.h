#pragma once

#include <string>

namespace halvix {

// One playback channel: opens a file by full path and plays it without waiting. The audio players
// implement it on the sound server's client; tests record the calls.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Stops and closes what this channel played before, then starts `fullPath`.
    virtual void playPath(const std::string& fullPath) = 0;
    // Stops and closes the open media, if any.
    virtual void close() = 0;
    // Length of the open media in milliseconds; 0 while unknown or when nothing is open.
    virtual long long lengthMs() const = 0;
    // `fullPath` is likely the next sound of this channel: a channel may get it ready ahead so that
    // playPath starts it sooner. Playing still works for a path that was never prepared.
    virtual void prepare(const std::string& /*fullPath*/) {}
};

} // namespace halvix
