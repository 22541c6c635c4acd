#include "campus/LinkSettings.h"

#include "common/PathText.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace halvix::campus {

namespace {

std::string firstLineOf(const std::filesystem::path& file, bool& ok) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    ok = bool(in);
    if (ok)
        std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

} // namespace

LinkSettings linkSettingsOf(const CampusConfig& config, std::string& problem) {
    LinkSettings settings;
    settings.broker = config.broker;
    settings.clientId = config.nodeId;
    settings.caFile = config.caFile;
    settings.certFile = config.certFile;
    settings.keyFile = config.keyFile;
    settings.user = config.user;
    if (!config.passwordFile.empty()) {
        bool ok = false;
        settings.password = firstLineOf(config.passwordFile, ok);
        if (!ok)
            problem = "无法读取密码文件 " + pathToUtf8(config.passwordFile);
    }
    // Tests and demonstrations shorten the keepalive to see an offline node sooner.
    if (const char* keepAlive = std::getenv("HALVIX_CAMPUS_KEEPALIVE")) {
        const int seconds = std::atoi(keepAlive);
        // libmosquitto refuses a keepalive under 5 s: never connecting would be worse than waiting.
        if (seconds >= 1 && seconds <= 3600)
            settings.keepAliveSeconds = std::max(seconds, 5);
    }
    return settings;
}

} // namespace halvix::campus
