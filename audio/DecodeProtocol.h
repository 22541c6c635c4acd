#pragma once

// How the program and its decoding tool (halvix-decode) speak: the command line, the PCM it writes
// and its exit status. Standard C++ only: the tool includes it without Qt.
//
//   halvix-decode FILE MAX_BYTES     the whole sound, at once
//   halvix-decode --stream FILE      a line with the file's announced length in ms (0: unknown),
//                                    then the sound, kept about two seconds ahead of real time
namespace halvix::decodetool {

inline constexpr const char* kStreamOption = "--stream";

// The PCM on its standard output: 16-bit signed little-endian, stereo, 44.1 kHz.
inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;
inline constexpr int kBytesPerFrame = kChannels * 2;

// How long `bytes` of that PCM sound.
inline constexpr long long msOfBytes(long long bytes) {
    return bytes / kBytesPerFrame * 1000 / kSampleRate;
}

// The exit status.
inline constexpr int kDecoded = 0;
inline constexpr int kUnplayable = 2; // not a sound, or no sound in it
inline constexpr int kTooLong = 3;    // longer than MAX_BYTES: the caller streams it instead

// The tool starts within about 60 ms and then delivers at once (or keeps two seconds ahead); a file
// that holds a header and no sound, or a tool that hangs, must not hold the bell: a reader that
// hears nothing for this long gives up on it.
inline constexpr int kStallMs = 1500;

} // namespace halvix::decodetool
