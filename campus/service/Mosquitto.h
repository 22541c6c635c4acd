#pragma once

#include <mosquitto.h>

#include <string>

namespace halvix::campus {

// The broker client's functions, looked up in libmosquitto when a campus link first starts: a
// program outside a campus never maps the library nor its TLS chain (about 1.8 MiB resident).
struct Mosquitto {
    decltype(&::mosquitto_lib_init) lib_init = nullptr;
    decltype(&::mosquitto_new) create = nullptr;
    decltype(&::mosquitto_destroy) destroy = nullptr;
    decltype(&::mosquitto_int_option) int_option = nullptr;
    decltype(&::mosquitto_threaded_set) threaded_set = nullptr;
    decltype(&::mosquitto_connect_v5_callback_set) connect_v5_callback_set = nullptr;
    decltype(&::mosquitto_disconnect_v5_callback_set) disconnect_v5_callback_set = nullptr;
    decltype(&::mosquitto_message_v5_callback_set) message_v5_callback_set = nullptr;
    decltype(&::mosquitto_username_pw_set) username_pw_set = nullptr;
    decltype(&::mosquitto_tls_set) tls_set = nullptr;
    decltype(&::mosquitto_tls_opts_set) tls_opts_set = nullptr;
    decltype(&::mosquitto_will_set_v5) will_set_v5 = nullptr;
    decltype(&::mosquitto_connect_bind_v5) connect_bind_v5 = nullptr;
    decltype(&::mosquitto_connect_bind_async) connect_bind_async = nullptr;
    decltype(&::mosquitto_disconnect_v5) disconnect_v5 = nullptr;
    decltype(&::mosquitto_loop) loop = nullptr;
    decltype(&::mosquitto_subscribe_v5) subscribe_v5 = nullptr;
    decltype(&::mosquitto_unsubscribe) unsubscribe = nullptr;
    decltype(&::mosquitto_publish_v5) publish_v5 = nullptr;
    decltype(&::mosquitto_property_add_int32) property_add_int32 = nullptr;
    decltype(&::mosquitto_property_free_all) property_free_all = nullptr;
    decltype(&::mosquitto_strerror) strerror = nullptr;
    decltype(&::mosquitto_reason_string) reason_string = nullptr;
};

// The library, loaded and set up (mosquitto_lib_init) on the first call; nullptr with `problem`
// (Chinese) when it is missing or lacks a function. Safe from any thread.
const Mosquitto* loadMosquitto(std::string& problem);

} // namespace halvix::campus
