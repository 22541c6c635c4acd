#include "campus/service/MqttLink.h"

#include "common/PathText.h"

#include "campus/HostLookup.h"
#include "campus/service/Mosquitto.h"

#include <mqtt_protocol.h>

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace halvix::campus {

namespace {

using namespace std::chrono_literals;

// The network thread waits for the network this long at a time and looks for a stop in between.
constexpr int kSliceMs = 100;
// A clean stop has this long to tell a connected broker goodbye (and so to leave the will).
constexpr auto kGoodbyeWait = 500ms;

// The broker client; reached only once start() has loaded it.
const Mosquitto& mosq() {
    std::string unused;
    return *loadMosquitto(unused);
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Why the broker refused a connection (an MQTT 5 reason code), in words.
QString refusalText(int reasonCode) {
    switch (reasonCode) {
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
        return QStringLiteral("代理服务器拒绝连接: 用户名或密码错误");
    case MQTT_RC_NOT_AUTHORIZED:
        return QStringLiteral("代理服务器拒绝连接: 未获授权");
    case MQTT_RC_CLIENTID_NOT_VALID:
        return QStringLiteral("代理服务器拒绝连接: 节点编号无效");
    case MQTT_RC_SERVER_UNAVAILABLE:
    case MQTT_RC_SERVER_BUSY:
        return QStringLiteral("代理服务器暂时不可用");
    case MQTT_RC_SESSION_TAKEN_OVER:
        return QStringLiteral("另一个使用相同编号的程序连接了代理服务器");
    default:
        return QStringLiteral("代理服务器拒绝连接: %1")
            .arg(QString::fromUtf8(mosq().reason_string(reasonCode)));
    }
}

// Why connecting or staying connected failed, from libmosquitto's error.
QString errorText(int rc, const BrokerAddress& broker) {
    const QString where = QStringLiteral("%1:%2").arg(QString::fromStdString(broker.host)).arg(broker.port);
    switch (rc) {
    case MOSQ_ERR_TLS:
        return QStringLiteral("与代理服务器 %1 的 TLS 握手失败 (证书不被信任, 或不属于此地址)").arg(where);
    case MOSQ_ERR_ERRNO:
        return QStringLiteral("无法连接代理服务器 %1: %2")
            .arg(where, QString::fromLocal8Bit(std::strerror(errno)));
    case MOSQ_ERR_EAI:
        return QStringLiteral("找不到代理服务器 %1 (地址无法解析)").arg(where);
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("与代理服务器 %1 的连接中断").arg(where);
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("代理服务器 %1 无响应").arg(where);
    default:
        return QStringLiteral("与代理服务器 %1 的连接出错: %2")
            .arg(where, QString::fromUtf8(mosq().strerror(rc)));
    }
}

// A property list freed with its scope.
struct Properties {
    mosquitto_property* list = nullptr;
    ~Properties() { mosq().property_free_all(&list); }
};

} // namespace

MqttLink::MqttLink(LinkSettings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)) {}

MqttLink::~MqttLink() {
    stop();
    if (m_mosq)
        mosq().destroy(m_mosq);
}

bool MqttLink::start(QString& problem) {
    if (m_thread.joinable())
        return true;
    for (const auto& [file, what] :
         {std::pair{m_settings.caFile, "CA 证书"}, std::pair{m_settings.certFile, "证书"},
          std::pair{m_settings.keyFile, "私钥"}}) {
        std::error_code error;
        if (!file.empty() && !std::filesystem::is_regular_file(file, error)) {
            problem =
                QStringLiteral("找不到%1文件 %2").arg(QString::fromUtf8(what), fromUtf8(pathToUtf8(file)));
            return false;
        }
    }
    if (m_settings.broker.tls && m_settings.caFile.empty()) {
        problem = QStringLiteral("使用 mqtts:// 须指定 CA 证书");
        return false;
    }
    std::string missing;
    if (!loadMosquitto(missing)) {
        problem = fromUtf8(missing);
        return false;
    }
    const bool persistent = m_settings.sessionExpirySeconds > 0;
    m_mosq = mosq().create(m_settings.clientId.c_str(), !persistent, this);
    if (!m_mosq) {
        problem = QStringLiteral("无法建立与代理服务器的连接 (节点编号无效或内存不足)");
        return false;
    }
    mosq().int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosq().threaded_set(m_mosq, true);
    // Commands and acknowledgements are small: send each at once rather than wait to fill a packet.
    mosq().int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosq().connect_v5_callback_set(m_mosq, &MqttLink::connectCallback);
    mosq().disconnect_v5_callback_set(m_mosq, &MqttLink::disconnectCallback);
    mosq().message_v5_callback_set(m_mosq, &MqttLink::messageCallback);
    if (!m_settings.user.empty())
        mosq().username_pw_set(m_mosq, m_settings.user.c_str(), m_settings.password.c_str());
    if (m_settings.broker.tls) {
        const std::string ca = pathToUtf8(m_settings.caFile);
        const std::string cert = pathToUtf8(m_settings.certFile);
        const std::string key = pathToUtf8(m_settings.keyFile);
        const int rc = mosq().tls_set(m_mosq, ca.c_str(), nullptr, cert.empty() ? nullptr : cert.c_str(),
                                      key.empty() ? nullptr : key.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            problem = QStringLiteral("无法使用证书文件: %1").arg(QString::fromUtf8(mosq().strerror(rc)));
            return false;
        }
        mosq().tls_opts_set(m_mosq, 1, "tlsv1.2", nullptr);
    }
    if (m_settings.will) {
        const OutMessage& will = *m_settings.will;
        mosq().will_set_v5(m_mosq, will.topic.c_str(), int(will.payload.size()), will.payload.data(),
                           will.qos, will.retain, nullptr);
    }
    keepSessionAfterDisconnect();
    m_thread = std::thread([this] { run(); });
    return true;
}

void MqttLink::keepSessionAfterDisconnect() {
    if (m_settings.sessionExpirySeconds == 0)
        return;
    // libmosquitto 2.0's asynchronous connect takes no CONNECT properties; every connect sends
    // those the last connect_bind_v5 stored, and that call stores them before it looks at its other
    // arguments: given no port, it keeps them and connects nowhere (MOSQ_ERR_INVAL).
    Properties properties;
    mosq().property_add_int32(&properties.list, MQTT_PROP_SESSION_EXPIRY_INTERVAL,
                              m_settings.sessionExpirySeconds);
    mosq().connect_bind_v5(m_mosq, m_settings.broker.host.c_str(), -1, m_settings.keepAliveSeconds, nullptr,
                           properties.list);
}

void MqttLink::stop() {
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    // Bounded: the network thread looks for the stop every kSliceMs and says goodbye within
    // kGoodbyeWait, whatever the broker does.
    m_thread.join();
}

bool MqttLink::stopping() const {
    std::lock_guard lock(m_mutex);
    return m_stopping;
}

void MqttLink::run() {
    auto pause = 1s;
    while (true) {
        const int rc = attempt();
        if (stopping())
            break;
        bool wasConnected = false;
        {
            std::lock_guard lock(m_mutex);
            wasConnected = m_connected;
            m_connected = false;
            // A refusal by the broker has its own words already (onConnect).
            if (rc != MOSQ_ERR_CONN_REFUSED || m_problem.isEmpty())
                m_problem = errorText(rc, m_settings.broker);
        }
        if (wasConnected) {
            deliverConnected(false);
            pause = 1s;
        }
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, pause, [this] { return m_stopping; }))
            break;
        pause = std::min<std::chrono::seconds>(pause * 2, 30s);
    }
    sayGoodbye();
}

int MqttLink::attempt() {
    switch (lookUpHost(m_settings.broker.host, [this] { return stopping(); })) {
    case HostLookup::Cancelled:
        return MOSQ_ERR_SUCCESS;
    case HostLookup::Unknown:
        return MOSQ_ERR_EAI;
    case HostLookup::Found:
        break;
    }
    // Asynchronous: the TCP connect and the TLS handshake go on in the loop below, so that a broker
    // that never answers holds no stop; the keepalive ends an attempt that gets no answer.
    int rc = mosq().connect_bind_async(m_mosq, m_settings.broker.host.c_str(), m_settings.broker.port,
                                       m_settings.keepAliveSeconds, nullptr);
    while (rc == MOSQ_ERR_SUCCESS && !stopping())
        rc = mosq().loop(m_mosq, kSliceMs, 1);
    return rc;
}

void MqttLink::sayGoodbye() {
    if (!isConnected())
        return; // an attempt under way is dropped with the connection
    const bool withWill = m_settings.will && m_settings.publishWillOnStop;
    int rc = mosq().disconnect_v5(
        m_mosq, withWill ? MQTT_RC_DISCONNECT_WITH_WILL_MSG : MQTT_RC_NORMAL_DISCONNECTION, nullptr);
    const auto until = std::chrono::steady_clock::now() + kGoodbyeWait;
    // Sent once the DISCONNECT is out: libmosquitto closes the socket, and the loop reports it.
    while (rc == MOSQ_ERR_SUCCESS && std::chrono::steady_clock::now() < until)
        rc = mosq().loop(m_mosq, kSliceMs, 1);
}

void MqttLink::connectCallback(mosquitto*, void* self, int rc, int, const mosquitto_property*) {
    static_cast<MqttLink*>(self)->onConnect(rc);
}

void MqttLink::disconnectCallback(mosquitto*, void* self, int rc, const mosquitto_property*) {
    static_cast<MqttLink*>(self)->onDisconnect(rc);
}

void MqttLink::messageCallback(mosquitto*, void* self, const mosquitto_message* message,
                               const mosquitto_property*) {
    if (message)
        static_cast<MqttLink*>(self)->onMessage(*message);
}

void MqttLink::onConnect(int reasonCode) {
    {
        std::lock_guard lock(m_mutex);
        if (reasonCode != 0) {
            m_problem = refusalText(reasonCode);
            return; // libmosquitto drops the connection; run() tries again later
        }
        m_connected = true;
        m_problem.clear();
        for (const auto& [filter, qos] : m_subscriptions)
            mosq().subscribe_v5(m_mosq, nullptr, filter.c_str(), qos, 0, nullptr);
        flushQueue();
    }
    deliverConnected(true);
}

void MqttLink::onDisconnect(int reasonCode) {
    bool wasConnected = false;
    {
        std::lock_guard lock(m_mutex);
        wasConnected = m_connected;
        m_connected = false;
        if (!m_stopping && reasonCode != 0)
            m_problem = errorText(MOSQ_ERR_CONN_LOST, m_settings.broker);
    }
    if (wasConnected)
        deliverConnected(false);
}

void MqttLink::onMessage(const mosquitto_message& message) {
    const QString topic = QString::fromUtf8(message.topic);
    const QByteArray payload(static_cast<const char*>(message.payload), message.payloadlen);
    const bool retained = message.retain;
    QMetaObject::invokeMethod(
        this, [this, topic, payload, retained] { emit messageArrived(topic, payload, retained); },
        Qt::QueuedConnection);
}

void MqttLink::deliverConnected(bool connected) {
    QMetaObject::invokeMethod(
        this, [this, connected] { emit connectedChanged(connected); }, Qt::QueuedConnection);
}

void MqttLink::subscribe(const std::string& filter, int qos) {
    std::lock_guard lock(m_mutex);
    if (!m_subscriptions.insert({filter, qos}).second)
        return;
    if (m_connected)
        mosq().subscribe_v5(m_mosq, nullptr, filter.c_str(), qos, 0, nullptr);
}

void MqttLink::unsubscribe(const std::string& filter) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_subscriptions, [&](const auto& entry) { return entry.first == filter; });
    if (m_connected)
        mosq().unsubscribe(m_mosq, nullptr, filter.c_str());
}

bool MqttLink::publish(const OutMessage& message) {
    std::lock_guard lock(m_mutex);
    if (m_connected && m_queue.empty() && sendNow(message))
        return true;
    if (message.qos == 0 || m_stopping)
        return false;
    if (message.retain)
        std::erase_if(m_queue, [&](const Waiting& waiting) {
            return waiting.message.retain && waiting.message.topic == message.topic;
        });
    if (m_queue.size() >= kMaxQueued)
        m_queue.pop_front();
    m_queue.push_back({message, std::chrono::steady_clock::now()});
    if (m_connected)
        flushQueue();
    return true;
}

bool MqttLink::sendNow(const OutMessage& message) {
    Properties properties;
    if (message.expirySeconds > 0)
        mosq().property_add_int32(&properties.list, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, message.expirySeconds);
    return mosq().publish_v5(m_mosq, nullptr, message.topic.c_str(), int(message.payload.size()),
                             message.payload.data(), message.qos, message.retain,
                             properties.list) == MOSQ_ERR_SUCCESS;
}

void MqttLink::flushQueue() {
    const auto now = std::chrono::steady_clock::now();
    while (!m_queue.empty()) {
        OutMessage message = m_queue.front().message;
        if (message.expirySeconds > 0) {
            const auto waited = std::chrono::ceil<std::chrono::seconds>(now - m_queue.front().since).count();
            if (waited >= message.expirySeconds) {
                m_queue.pop_front();
                continue;
            }
            message.expirySeconds -= std::uint32_t(waited);
        }
        if (!sendNow(message))
            return;
        m_queue.pop_front();
    }
}

bool MqttLink::isConnected() const {
    std::lock_guard lock(m_mutex);
    return m_connected;
}

QString MqttLink::lastProblem() const {
    std::lock_guard lock(m_mutex);
    return m_problem;
}

} // namespace halvix::campus
