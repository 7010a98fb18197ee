/* The broker client library, loaded by its soname through GModule on the first session. */
#include "BrokerClient.h"

#include <gmodule.h>
#include <gio/gio.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <mutex>

#ifndef KEL_MOSQUITTO_SONAME
#define KEL_MOSQUITTO_SONAME "libmosquitto.so.1"
#endif

namespace IPCAPI {

namespace {

BrokerClient g_Client;
bool g_Loaded = false;
GModule* g_Module = nullptr;
std::string g_Failure;

template <typename F> bool Resolve(GModule* module, const char* name, F& function)
{
    gpointer symbol = NULL;
    if (!g_module_symbol(module, name, &symbol) || !symbol)
        return false;
    function = reinterpret_cast<F>(symbol);
    return true;
}

void Load()
{
    GModule* module = g_module_open(KEL_MOSQUITTO_SONAME, GModuleFlags(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
    if (!module) {
        const char* why = g_module_error();
        g_Failure = std::string("the classroom's broker client cannot be loaded: ") + (why ? why : KEL_MOSQUITTO_SONAME);
        return;
    }
    g_Module = module;
    BrokerClient& c = g_Client;
    bool ok = Resolve(module, "mosquitto_lib_init", c.lib_init) && Resolve(module, "mosquitto_new", c.create) &&
              Resolve(module, "mosquitto_destroy", c.destroy) &&
              Resolve(module, "mosquitto_username_pw_set", c.username_pw_set) &&
              Resolve(module, "mosquitto_tls_set", c.tls_set) &&
              Resolve(module, "mosquitto_tls_opts_set", c.tls_opts_set) &&
              Resolve(module, "mosquitto_threaded_set", c.threaded_set) &&
              Resolve(module, "mosquitto_connect_callback_set", c.connect_callback_set) &&
              Resolve(module, "mosquitto_disconnect_callback_set", c.disconnect_callback_set) &&
              Resolve(module, "mosquitto_message_callback_set", c.message_callback_set) &&
              Resolve(module, "mosquitto_connect", c.connect) && Resolve(module, "mosquitto_disconnect", c.disconnect) &&
              Resolve(module, "mosquitto_loop", c.loop) && Resolve(module, "mosquitto_subscribe", c.subscribe) &&
              Resolve(module, "mosquitto_publish", c.publish) && Resolve(module, "mosquitto_strerror", c.strerror) &&
              Resolve(module, "mosquitto_connack_string", c.connack_string) &&
              Resolve(module, "mosquitto_will_set", c.will_set);
    if (!ok) {
        g_Failure = "the classroom's broker client " KEL_MOSQUITTO_SONAME " lacks a call it needs";
        /* Sessions may already run on it elsewhere in the process: keep it loaded. */
        g_module_make_resident(module);
        return;
    }
    g_module_make_resident(module);
    /* The sessions' threads may still be inside the TLS library when the process ends: its
     * clean-up at exit would free locks they hold. Asked first, it registers none. */
    decltype(&::OPENSSL_init_crypto) initCrypto = NULL;
    if (Resolve(module, "OPENSSL_init_crypto", initCrypto))
        initCrypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
    c.lib_init();
    g_Loaded = true;
}

} // namespace

const BrokerClient* LoadBrokerClient(std::string& reason)
{
    static std::once_flag once;
    std::call_once(once, Load);
    if (!g_Loaded) {
        reason = g_Failure;
        return nullptr;
    }
    return &g_Client;
}

const BrokerClient& Broker()
{
    return g_Client;
}

std::string ProbeCertificate(const std::string& host, int port, const std::string& caFile)
{
    /* The TLS library the broker client brought along, asked for what the client does not tell. */
    decltype(&::TLS_client_method) method = NULL;
    decltype(&::SSL_CTX_new) ctxNew = NULL;
    decltype(&::SSL_CTX_free) ctxFree = NULL;
    decltype(&::SSL_CTX_load_verify_locations) loadCa = NULL;
    decltype(&::SSL_new) sslNew = NULL;
    decltype(&::SSL_free) sslFree = NULL;
    decltype(&::SSL_set_fd) setFd = NULL;
    decltype(&::SSL_set1_host) setHost = NULL;
    decltype(&::SSL_connect) connect = NULL;
    decltype(&::SSL_get_verify_result) verifyResult = NULL;
    decltype(&::X509_verify_cert_error_string) errorString = NULL;
    if (!g_Loaded || !Resolve(g_Module, "TLS_client_method", method) || !Resolve(g_Module, "SSL_CTX_new", ctxNew) ||
        !Resolve(g_Module, "SSL_CTX_free", ctxFree) ||
        !Resolve(g_Module, "SSL_CTX_load_verify_locations", loadCa) || !Resolve(g_Module, "SSL_new", sslNew) ||
        !Resolve(g_Module, "SSL_free", sslFree) || !Resolve(g_Module, "SSL_set_fd", setFd) ||
        !Resolve(g_Module, "SSL_set1_host", setHost) || !Resolve(g_Module, "SSL_connect", connect) ||
        !Resolve(g_Module, "SSL_get_verify_result", verifyResult) ||
        !Resolve(g_Module, "X509_verify_cert_error_string", errorString))
        return "";
    GSocketClient* client = g_socket_client_new();
    g_socket_client_set_timeout(client, 5);
    GSocketConnection* connection =
        g_socket_client_connect_to_host(client, host.c_str(), static_cast<guint16>(port), NULL, NULL);
    g_object_unref(client);
    if (!connection)
        return "";
    std::string why;
    SSL_CTX* ctx = ctxNew(method());
    if (ctx && loadCa(ctx, caFile.c_str(), NULL) != 1)
        why = "the CA certificate cannot be loaded";
    SSL* ssl = ctx && why.empty() ? sslNew(ctx) : NULL;
    if (ssl) {
        /* The socket comes non-blocking, and the handshake waits for the broker's answer: a
         * blocking one, bounded as the connect was. */
        int fd = g_socket_get_fd(g_socket_connection_get_socket(connection));
        struct timeval bound = {5, 0};
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        setFd(ssl, fd);
        setHost(ssl, host.c_str());
        /* Without verification the handshake completes and tells what verification found. */
        if (connect(ssl) == 1) {
            long result = verifyResult(ssl);
            if (result != X509_V_OK)
                why = errorString(result);
        }
        sslFree(ssl);
    }
    if (ctx)
        ctxFree(ctx);
    g_object_unref(connection);
    return why;
}

} // namespace IPCAPI
