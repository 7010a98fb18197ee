/* The broker client library, loaded by its soname through GModule on the first session. */
#include "BrokerClient.h"

#include <gmodule.h>
#include <openssl/crypto.h>

#include <mutex>

#ifndef KEL_MOSQUITTO_SONAME
#define KEL_MOSQUITTO_SONAME "libmosquitto.so.1"
#endif

namespace IPCAPI {

namespace {

BrokerClient g_Client;
bool g_Loaded = false;
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

} // namespace IPCAPI
