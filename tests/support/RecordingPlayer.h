#pragma once

#include "bell/SoundPlayer.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace halvix::test {

// A playback channel that keeps what it was asked to do. A file whose name is in `lengthOf`
// reports that length at once; any other reports 0 (not known yet) until reportLength.
class RecordingPlayer final : public SoundPlayer {
public:
    unsigned long long playPath(const std::string& fullPath) override {
        calls.push_back("play " + fullPath);
        played.push_back(fullPath);
        const auto known = lengthOf.find(std::filesystem::path(fullPath).filename().string());
        m_lengthMs = known == lengthOf.end() ? 0 : known->second;
        return ++playback;
    }
    void prepare(const std::string& fullPath) override { prepared.push_back(fullPath); }
    void close() override {
        calls.push_back("close");
        m_lengthMs = 0;
    }
    long long lengthMs() const override { return m_lengthMs; }

    // File names of what was played, in order.
    std::vector<std::string> playedNames() const {
        std::vector<std::string> names;
        for (const auto& path : played)
            names.push_back(std::filesystem::path(path).filename().string());
        return names;
    }

    std::map<std::string, long long> lengthOf;
    std::vector<std::string> calls;
    std::vector<std::string> played;
    std::vector<std::string> prepared;
    unsigned long long playback = 0; // the number of the latest playPath

private:
    long long m_lengthMs = 0;
};

} // namespace halvix::test
