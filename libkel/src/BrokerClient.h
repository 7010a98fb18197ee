/* The classroom broker's client library, loaded on the first classroom session. Programs that
 * never join a classroom (the administrator tool, every student window) do not load it nor the
 * TLS libraries it brings, whose loading and symbol binding cost each start several ms. */
#ifndef KEL_BROKER_CLIENT_H
#define KEL_BROKER_CLIENT_H

#include <mosquitto.h>

#include <string>

namespace IPCAPI {

/* The calls the classroom makes, with the library's own signatures. */
struct BrokerClient {
    decltype(&::mosquitto_lib_init) lib_init;
    decltype(&::mosquitto_new) create;
    decltype(&::mosquitto_destroy) destroy;
    decltype(&::mosquitto_username_pw_set) username_pw_set;
    decltype(&::mosquitto_tls_set) tls_set;
    decltype(&::mosquitto_tls_opts_set) tls_opts_set;
    decltype(&::mosquitto_threaded_set) threaded_set;
    decltype(&::mosquitto_connect_callback_set) connect_callback_set;
    decltype(&::mosquitto_disconnect_callback_set) disconnect_callback_set;
    decltype(&::mosquitto_message_callback_set) message_callback_set;
    decltype(&::mosquitto_connect) connect;
    decltype(&::mosquitto_disconnect) disconnect;
    decltype(&::mosquitto_loop) loop;
    decltype(&::mosquitto_subscribe) subscribe;
    decltype(&::mosquitto_publish) publish;
    decltype(&::mosquitto_strerror) strerror;
    decltype(&::mosquitto_connack_string) connack_string;
    decltype(&::mosquitto_will_set) will_set;
};

/* Loads the library once (thread-safe) and initialises it; null with a reason when it cannot be
 * loaded. Never unloaded: sessions' threads may run until the process ends. */
const BrokerClient* LoadBrokerClient(std::string& reason);

/* The loaded library: only where a session exists, which proves the load. */
const BrokerClient& Broker();

/* After a failed TLS handshake: why the broker's certificate at host:port is not trusted with
 * caFile ("certificate has expired", "Hostname mismatch", ...); empty when it cannot tell. */
std::string ProbeCertificate(const std::string& host, int port, const std::string& caFile);

} // namespace IPCAPI

#endif
