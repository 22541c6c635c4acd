#include "campus/CampusConfig.h"

#include "common/IdText.h"
#include "common/PathText.h"
#include "common/TextChecks.h"
#include "common/TextFile.h"
#include "editing/TextCodec.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <system_error>

namespace halvix::campus {

namespace {

namespace fs = std::filesystem;

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Splits at the ASCII or the full-width form of a separator.
std::vector<std::string_view> splitAt(std::string_view text, char ascii, std::string_view wide) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size();) {
        if (i == text.size()) {
            parts.push_back(text.substr(start));
            break;
        }
        if (text[i] == ascii) {
            parts.push_back(text.substr(start, i - start));
            start = ++i;
        } else if (text.substr(i, wide.size()) == wide) {
            parts.push_back(text.substr(start, i - start));
            i += wide.size();
            start = i;
        } else {
            ++i;
        }
    }
    return parts;
}

bool isHostName(std::string_view host) {
    if (host.empty() || host.size() > 253)
        return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-';
    });
}

struct Line {
    int number = 0;
    std::string value;
};

class Reader {
public:
    Reader(const fs::path& folder, CampusConfigRead& read) : m_folder(folder), m_read(read) {}

    void take(std::string_view text) {
        int number = 0;
        for (std::string_view rest = text; !rest.empty() || number == 0;) {
            const std::size_t end = rest.find('\n');
            const std::string_view raw = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            ++number;
            line(number, trim(raw));
            if (rest.empty())
                break;
        }
        check();
    }

private:
    void error(int number, const std::string& text) {
        m_read.errors.push_back(number > 0 ? "campus.ini 第" + std::to_string(number) + "行: " + text
                                           : "campus.ini: " + text);
    }

    void line(int number, std::string_view text) {
        if (text.empty() || text.front() == '#' || text.front() == ';')
            return;
        if (text.front() == '[') {
            if (text != "[campus]")
                error(number, "未知的段落 " + std::string(text) + " (只有 [campus])");
            return;
        }
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            error(number, "应为 名称 = 值");
            return;
        }
        std::string key(trim(text.substr(0, equals)));
        std::transform(key.begin(), key.end(), key.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        const std::string value(trim(text.substr(equals + 1)));
        static const char* const kKeys[] = {"role", "campus", "id",  "name",          "zones", "broker",
                                            "ca",   "cert",   "key", "password_file", "user"};
        if (std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys)) {
            error(number, "未知的设置 \"" + key + "\"");
            return;
        }
        if (m_lines.count(key)) {
            error(number, "设置 " + key + " 重复 (第" + std::to_string(m_lines[key].number) + "行已有)");
            return;
        }
        if (value.empty()) {
            error(number, "设置 " + key + " 没有值");
            return;
        }
        m_lines[key] = {number, value};
    }

    const Line* find(const std::string& key) const {
        const auto it = m_lines.find(key);
        return it == m_lines.end() ? nullptr : &it->second;
    }

    // A file named by the setting, relative to the program folder; it must exist.
    fs::path file(const Line& line, const std::string& key) {
        fs::path path = pathFromUtf8(line.value);
        if (path.is_relative())
            path = m_folder / path;
        std::error_code ignored;
        if (!fs::is_regular_file(path, ignored))
            error(line.number, key + " 的文件不存在: " + line.value);
        return path;
    }

    void warnIfShared(const fs::path& path, const Line& line) {
        std::error_code error;
        const fs::perms perms = fs::status(path, error).permissions();
        constexpr fs::perms kOthers = fs::perms::group_all | fs::perms::others_all;
        if (!error && (perms & kOthers) != fs::perms::none)
            m_read.warnings.push_back("campus.ini 第" + std::to_string(line.number) + "行: 文件 " +
                                      line.value + " 其他用户也能读取, 请改为只有本用户可读 (chmod 600)");
    }

    void check() {
        CampusConfig& config = m_read.config;
        if (const Line* role = find("role")) {
            if (role->value == "central" || role->value == "主控")
                config.role = CampusRole::Central;
            else if (role->value == "node" || role->value == "分控")
                config.role = CampusRole::Node;
            else
                error(role->number, "role 应为 central (主控) 或 node (分控)");
        } else {
            error(0, "缺少 role (central 或 node)");
        }
        if (const Line* campus = find("campus")) {
            if (isValidId(campus->value))
                config.campus = campus->value;
            else
                error(campus->number, "campus 应为 1 到 32 个英文字母、数字、- 或 _");
        }
        if (const Line* id = find("id")) {
            if (isValidId(id->value))
                config.nodeId = id->value;
            else
                error(id->number, "id 应为 1 到 32 个英文字母、数字、- 或 _, 以字母或数字开头");
        } else {
            error(0, "缺少 id (本机编号)");
        }
        if (const Line* name = find("name")) {
            if (std::string problem = displayNameProblem(name->value); problem.empty())
                config.name = name->value;
            else
                error(name->number, "name: " + problem);
        } else {
            error(0, "缺少 name (本机名称)");
        }
        if (const Line* zones = find("zones"))
            readZones(*zones);
        readBroker();
        readIdentity();
    }

    void readZones(const Line& line) {
        for (std::string_view item : splitAt(line.value, ',', "，")) {
            const std::vector<std::string_view> parts = splitAt(trim(item), ':', "：");
            const std::string id(trim(parts.front()));
            const std::string name(parts.size() > 1 ? trim(parts[1]) : trim(parts.front()));
            if (parts.size() > 2 || !isValidId(id)) {
                error(line.number, "分区 \"" + std::string(trim(item)) +
                                       "\" 应为 编号:名称, 编号为英文字母、数字、- 或 _");
                continue;
            }
            if (std::string problem = displayNameProblem(name); !problem.empty()) {
                error(line.number, "分区 " + id + ": " + problem);
                continue;
            }
            auto& zones = m_read.config.zones;
            if (std::any_of(zones.begin(), zones.end(), [&id](const Zone& z) { return z.id == id; })) {
                error(line.number, "分区 " + id + " 重复");
                continue;
            }
            zones.push_back({id, name});
        }
    }

    void readBroker() {
        const Line* broker = find("broker");
        if (!broker) {
            error(0, "缺少 broker (如 mqtts://主机:8883)");
            return;
        }
        std::string problem;
        m_read.config.broker = readBrokerUrl(broker->value, problem);
        if (!problem.empty())
            error(broker->number, problem);
    }

    void readIdentity() {
        CampusConfig& config = m_read.config;
        const Line* ca = find("ca");
        const Line* cert = find("cert");
        const Line* key = find("key");
        const Line* user = find("user");
        const Line* password = find("password_file");
        const bool tls = config.broker.tls;
        if (ca)
            config.caFile = file(*ca, "ca");
        else if (tls && find("broker"))
            error(0, "使用 mqtts 时需要 ca (证书颁发机构的证书)");
        if ((cert == nullptr) != (key == nullptr))
            error((cert ? cert : key)->number, "cert 与 key 须同时填写");
        if (cert && key) {
            if (!tls)
                error(cert->number, "证书只能用于 mqtts 连接");
            config.certFile = file(*cert, "cert");
            config.keyFile = file(*key, "key");
            warnIfShared(config.keyFile, *key);
        }
        if ((user == nullptr) != (password == nullptr))
            error((user ? user : password)->number, "user 与 password_file 须同时填写");
        if (user && password) {
            if (isValidId(user->value))
                config.user = user->value;
            else
                error(user->number, "user 应为英文字母、数字、- 或 _");
            config.passwordFile = file(*password, "password_file");
            warnIfShared(config.passwordFile, *password);
        }
        if (!cert && !key && !user && !password)
            error(0, "缺少身份: 请填写 cert 与 key, 或 user 与 password_file");
    }

    fs::path m_folder;
    CampusConfigRead& m_read;
    std::map<std::string, Line> m_lines;
};

// 127.0.0.0/8 written as four numbers: "127.evil.example" is a name anyone's DNS may answer.
bool isLoopbackAddress(std::string_view host) {
    int parts = 0;
    for (std::string_view rest = host; parts < 5;) {
        const std::size_t dot = rest.find('.');
        const std::string_view part = rest.substr(0, dot);
        int value = -1;
        const auto parsed = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || part.size() > 3 || parsed.ptr != part.data() + part.size() || value > 255 ||
            (parts == 0 && value != 127))
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        rest = rest.substr(dot + 1);
    }
    return parts == 4;
}

} // namespace

bool isLoopbackHost(std::string_view host) {
    return host == "localhost" || host == "::1" || isLoopbackAddress(host);
}

BrokerAddress readBrokerUrl(std::string_view url, std::string& problem) {
    BrokerAddress address;
    std::string_view rest;
    if (url.substr(0, 8) == "mqtts://") {
        rest = url.substr(8);
    } else if (url.substr(0, 7) == "mqtt://") {
        address.tls = false;
        address.port = 1883;
        rest = url.substr(7);
    } else {
        problem = "broker 应以 mqtts:// 开头";
        return address;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    std::string_view port;
    bool hasPort = false;
    if (!rest.empty() && rest.front() == '[') {
        // [::1]:1883
        const std::size_t close = rest.find(']');
        const std::string_view after = close == std::string_view::npos ? rest : rest.substr(close + 1);
        address.host = std::string(rest.substr(1, close == std::string_view::npos ? 0 : close - 1));
        if (close == std::string_view::npos || address.host.empty() ||
            address.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos ||
            (!after.empty() && after.front() != ':')) {
            problem = "broker 的地址无效: " + std::string(rest);
            return address;
        }
        hasPort = !after.empty();
        port = hasPort ? after.substr(1) : after;
    } else {
        const std::size_t colon = rest.find(':');
        address.host = std::string(rest.substr(0, colon));
        hasPort = colon != std::string_view::npos;
        port = hasPort ? rest.substr(colon + 1) : std::string_view();
        if (!isHostName(address.host)) {
            problem = "broker 的主机名无效: " + std::string(rest);
            return address;
        }
    }
    if (hasPort) {
        int value = 0;
        const auto parsed = std::from_chars(port.data(), port.data() + port.size(), value);
        if (port.empty() || parsed.ec != std::errc() || parsed.ptr != port.data() + port.size() ||
            value < 1 || value > 65535) {
            problem = "broker 的端口应为 1 到 65535";
            return address;
        }
        address.port = value;
    }
    if (!address.tls && !isLoopbackHost(address.host))
        problem = "不加密的 mqtt:// 只能连接本机; 连接 " + address.host + " 请用 mqtts://";
    return address;
}

CampusConfigRead parseCampusConfig(std::string_view text, const fs::path& folder) {
    CampusConfigRead read;
    Reader(folder, read).take(text);
    read.state = read.errors.empty() ? CampusConfigRead::State::Valid : CampusConfigRead::State::Invalid;
    return read;
}

CampusConfigRead readCampusConfig(const fs::path& folder) {
    const fs::path file = folder / kCampusConfigFileName;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(file, error))) {
        return {};
    }
    const auto content = readFileContent(file);
    if (!content) {
        CampusConfigRead read;
        read.state = CampusConfigRead::State::Invalid;
        read.errors.push_back("无法读取 campus.ini");
        return read;
    }
    return parseCampusConfig(decodeFileText(*content), folder);
}

std::vector<std::string> CampusConfig::zoneIds() const {
    std::vector<std::string> ids;
    for (const Zone& zone : zones)
        ids.push_back(zone.id);
    return ids;
}

} // namespace halvix::campus
