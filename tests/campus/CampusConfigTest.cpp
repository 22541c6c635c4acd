#include "campus/CampusConfig.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace halvix::campus {
namespace {

namespace fs = std::filesystem;

// A folder with the TLS and password files a campus.ini names, the secret ones private.
struct ConfigFolder {
    test::TempFolder folder;
    ConfigFolder() {
        for (const char* name : {"certs/ca.crt", "certs/b1.crt", "certs/b1.key", "certs/b1.pass"})
            folder.write(name, "x");
        fs::permissions(folder / "certs/b1.key", fs::perms::owner_read | fs::perms::owner_write);
        fs::permissions(folder / "certs/b1.pass", fs::perms::owner_read | fs::perms::owner_write);
    }
};

const std::string kNode = "role = node\n"
                          "id = b1\n"
                          "name = 教学楼\n"
                          "broker = mqtts://broker.school.lan\n"
                          "ca = certs/ca.crt\n"
                          "cert = certs/b1.crt\n"
                          "key = certs/b1.key\n";

TEST(CampusConfig, ReadsAGoodFileAndNamesTheLineOfEveryBadOne) {
    ConfigFolder place;
    const CampusConfigRead good = parseCampusConfig(
        "# 教学楼\r\n[campus]\r\n" + kNode + "zones = teach:教学楼， lab：实验楼, gym\ncampus = no1\n",
        place.folder.path());
    ASSERT_EQ(good.state, CampusConfigRead::State::Valid) << (good.errors.empty() ? "" : good.errors[0]);
    EXPECT_EQ(good.config.role, CampusRole::Node);
    EXPECT_EQ(good.config.campus, "no1");
    EXPECT_EQ(good.config.broker, (BrokerAddress{true, "broker.school.lan", 8883}));
    EXPECT_EQ(good.config.zones, (std::vector<Zone>{{"teach", "教学楼"}, {"lab", "实验楼"}, {"gym", "gym"}}));
    EXPECT_EQ(good.config.keyFile, place.folder / "certs/b1.key");
    EXPECT_TRUE(good.warnings.empty());

    const struct {
        const char* what;
        std::string text;
        const char* error; // the first error; nullptr: valid
    } cases[] = {
        {"central by password over loopback",
         "role = 主控\nid = central\nname = 办公室\nbroker = mqtt://127.0.0.1:1884\nuser = central\n"
         "password_file = certs/b1.pass\n",
         nullptr},
        {"keys in capitals",
         "Role=node\nID=b1\nName=楼\nBroker=mqtt://localhost\nUser=b1\nPassword_File=certs/b1.pass\n",
         nullptr},
        {"IPv6 loopback",
         "role=central\nid=c\nname=办公室\nbroker=mqtt://[::1]:1883\nuser=c\npassword_file=certs/b1.pass\n",
         nullptr},
        {"broker twice", kNode + "broker = mqtt://10.0.0.5\n", "第8行: 设置 broker 重复"},
        {"plaintext to another host alone",
         "role=node\nid=b1\nname=楼\nbroker=mqtt://10.0.0.5\nuser=b1\npassword_file=certs/b1.pass\n",
         "第4行: 不加密的 mqtt:// 只能连接本机"},
        {"loopback look-alike",
         "role=node\nid=b1\nname=楼\nbroker=mqtt://127.0.0.1.evil.com\nuser=b1\npassword_file=certs/"
         "b1.pass\n",
         "第4行: 不加密的 mqtt:// 只能连接本机"},
        {"other scheme", "role=node\nid=b1\nname=楼\nbroker=http://x\nuser=b1\npassword_file=certs/b1.pass\n",
         "第4行: broker 应以 mqtts:// 开头"},
        {"bad port",
         "role=node\nid=b1\nname=楼\nbroker=mqtts://x:99999\nca=certs/ca.crt\ncert=certs/b1.crt\nkey=certs/"
         "b1.key\n",
         "第4行: broker 的端口"},
        {"host with a path",
         "role=node\nid=b1\nname=楼\nbroker=mqtts://x/y\nca=certs/ca.crt\ncert=certs/b1.crt\nkey=certs/"
         "b1.key\n",
         "第4行: broker 的主机名无效"},
        {"id with a topic level", "role = node\nid = b1/#\nname=楼\n", "第2行: id 应为"},
        {"Chinese id", "role = node\nid = 教学楼\n", "第2行: id 应为"},
        {"role", "role = boss\n", "第1行: role 应为"},
        {"no equals", "role node\n", "第1行: 应为 名称 = 值"},
        {"unknown key", kNode + "pasword_file = x\n", "第8行: 未知的设置 \"pasword_file\""},
        {"section", "[mqtt]\n" + kNode, "第1行: 未知的段落"},
        {"empty value", "role =\n" + kNode, "第1行: 设置 role 没有值"},
        {"zone id", kNode + "zones = 教学楼\n", "第8行: 分区 \"教学楼\""},
        {"zone twice", kNode + "zones = a:甲, a:乙\n", "第8行: 分区 a 重复"},
        {"missing file",
         "role=node\nid=b1\nname=楼\nbroker=mqtts://x\nca=certs/none.crt\ncert=certs/b1.crt\nkey=certs/"
         "b1.key\n",
         "第5行: ca 的文件不存在"},
        {"cert without key",
         "role=node\nid=b1\nname=楼\nbroker=mqtts://x\nca=certs/ca.crt\ncert=certs/b1.crt\n",
         "第6行: cert 与 key 须同时填写"},
        {"no ca with TLS",
         "role=node\nid=b1\nname=楼\nbroker=mqtts://x\nuser=b1\npassword_file=certs/b1.pass\n", "需要 ca"},
        {"no identity", "role=node\nid=b1\nname=楼\nbroker=mqtts://x\nca=certs/ca.crt\n", "缺少身份"},
        {"nothing", "", "缺少 role"},
    };
    for (const auto& c : cases) {
        const CampusConfigRead read = parseCampusConfig(c.text, place.folder.path());
        if (!c.error) {
            EXPECT_EQ(read.state, CampusConfigRead::State::Valid) << c.what << ": " << read.errors.at(0);
            continue;
        }
        EXPECT_EQ(read.state, CampusConfigRead::State::Invalid) << c.what;
        ASSERT_FALSE(read.errors.empty()) << c.what;
        EXPECT_NE(read.errors[0].find(c.error), std::string::npos) << c.what << ": " << read.errors[0];
    }
}

TEST(CampusConfig, AbsentMeansNoCampusAndASharedKeyIsWarnedOf) {
    ConfigFolder place;
    EXPECT_EQ(readCampusConfig(place.folder.path()).state, CampusConfigRead::State::Absent);

    place.folder.write("campus.ini", kNode);
    fs::permissions(place.folder / "certs/b1.key", fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::add);
    const CampusConfigRead read = readCampusConfig(place.folder.path());
    EXPECT_EQ(read.state, CampusConfigRead::State::Valid);
    ASSERT_EQ(read.warnings.size(), 1u);
    EXPECT_NE(read.warnings[0].find("第7行: 文件 certs/b1.key 其他用户也能读取"), std::string::npos)
        << read.warnings[0];
}

} // namespace
} // namespace halvix::campus

namespace halvix::campus {
namespace {

// What campus-setup.sh gives each building is what the program reads, with no warning.
TEST(CampusConfig, EveryBuildingReadsTheFilesTheSetupScriptMadeForIt) {
    for (const char* auth : {"cert", "password"}) {
        test::TempFolder out;
        const std::string command = std::string("bash '") + HALVIX_SOURCE_DIR +
                                    "/scripts/campus-setup.sh' --out '" + out.path().string() +
                                    "' --campus school1 --host broker.school.lan --auth " + auth +
                                    " --central office --name 办公室 --node jxl --name 教学楼 --zones " +
                                    "teach:教学楼,lab:实验楼 >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << auth;
        const struct {
            const char* id;
            CampusRole role;
            std::vector<Zone> zones;
        } nodes[] = {{"office", CampusRole::Central, {}},
                     {"jxl", CampusRole::Node, {{"teach", "教学楼"}, {"lab", "实验楼"}}}};
        for (const auto& node : nodes) {
            const CampusConfigRead read = readCampusConfig(out / "nodes" / node.id);
            ASSERT_EQ(read.state, CampusConfigRead::State::Valid)
                << auth << " " << node.id << ": " << read.errors.at(0);
            EXPECT_TRUE(read.warnings.empty()) << auth << " " << node.id << ": " << read.warnings.at(0);
            EXPECT_EQ(read.config.role, node.role);
            EXPECT_EQ(read.config.campus, "school1");
            EXPECT_EQ(read.config.nodeId, node.id);
            EXPECT_EQ(read.config.zones, node.zones);
            EXPECT_EQ(read.config.broker, (BrokerAddress{true, "broker.school.lan", 8883}));
            EXPECT_EQ(read.config.user.empty(), std::string(auth) == "cert");
        }
    }
}

} // namespace
} // namespace halvix::campus
