#include "campus/service/Mosquitto.h"

#include "common/SharedLibrary.h"

namespace halvix::campus {

namespace {

struct Loaded {
    Mosquitto functions;
    std::string problem;
};

Loaded load() {
    Loaded loaded;
    Mosquitto& m = loaded.functions;
    std::string& problem = loaded.problem;
    static SharedLibrary library;
    const bool ok =
        library.open("libmosquitto.so.1", problem) &&
        library.resolve("mosquitto_lib_init", m.lib_init, problem) &&
        library.resolve("mosquitto_new", m.create, problem) &&
        library.resolve("mosquitto_destroy", m.destroy, problem) &&
        library.resolve("mosquitto_int_option", m.int_option, problem) &&
        library.resolve("mosquitto_threaded_set", m.threaded_set, problem) &&
        library.resolve("mosquitto_connect_v5_callback_set", m.connect_v5_callback_set, problem) &&
        library.resolve("mosquitto_disconnect_v5_callback_set", m.disconnect_v5_callback_set, problem) &&
        library.resolve("mosquitto_message_v5_callback_set", m.message_v5_callback_set, problem) &&
        library.resolve("mosquitto_username_pw_set", m.username_pw_set, problem) &&
        library.resolve("mosquitto_tls_set", m.tls_set, problem) &&
        library.resolve("mosquitto_tls_opts_set", m.tls_opts_set, problem) &&
        library.resolve("mosquitto_will_set_v5", m.will_set_v5, problem) &&
        library.resolve("mosquitto_connect_bind_v5", m.connect_bind_v5, problem) &&
        library.resolve("mosquitto_connect_bind_async", m.connect_bind_async, problem) &&
        library.resolve("mosquitto_disconnect_v5", m.disconnect_v5, problem) &&
        library.resolve("mosquitto_loop", m.loop, problem) &&
        library.resolve("mosquitto_subscribe_v5", m.subscribe_v5, problem) &&
        library.resolve("mosquitto_unsubscribe", m.unsubscribe, problem) &&
        library.resolve("mosquitto_publish_v5", m.publish_v5, problem) &&
        library.resolve("mosquitto_property_add_int32", m.property_add_int32, problem) &&
        library.resolve("mosquitto_property_free_all", m.property_free_all, problem) &&
        library.resolve("mosquitto_strerror", m.strerror, problem) &&
        library.resolve("mosquitto_reason_string", m.reason_string, problem);
    if (ok)
        m.lib_init();
    else
        m.lib_init = nullptr;
    return loaded;
}

} // namespace

const Mosquitto* loadMosquitto(std::string& problem) {
    static const Loaded loaded = load(); // a function-local static: loaded once, thread-safe
    if (!loaded.functions.lib_init) {
        problem = loaded.problem;
        return nullptr;
    }
    return &loaded.functions;
}

} // namespace halvix::campus
