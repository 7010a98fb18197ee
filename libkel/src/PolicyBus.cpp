/* The bus names and the error domain shared by kel-service and its client. */
#include "PolicyBus.h"

#include "IPCAPI.h"

#include <gio/gio.h>

namespace IPCAPI {

const char* const POLICY_BUS_NAME = "org.kelproject.Policy1";
const char* const POLICY_OBJECT_PATH = "/org/kelproject/Policy1";

namespace {

const GDBusErrorEntry ERRORS[] = {
    {IPC_ERR_SAVE, "org.kelproject.Policy1.Error.Save"},
    {IPC_ERR_NOT_ALLOWED, "org.kelproject.Policy1.Error.NotAllowed"},
    {IPC_ERR_TOO_LARGE, "org.kelproject.Policy1.Error.TooLarge"},
    {IPC_ERR_PARSE, "org.kelproject.Policy1.Error.Parse"},
    {IPC_ERR_BUSY, "org.kelproject.Policy1.Error.Busy"},
    {IPC_ERR_INVALID_ARGUMENT, "org.kelproject.Policy1.Error.InvalidArgument"},
    {IPC_ERR_NO_SUCH_OPERATION, "org.kelproject.Policy1.Error.NoSuchOperation"},
    {IPC_ERR_AUTH_NEEDED, "org.kelproject.Policy1.Error.AuthenticationNeeded"},
};

} // namespace

GQuark PolicyErrorQuark()
{
    static gsize quark = 0;
    g_dbus_error_register_error_domain("kel-policy-error-quark", &quark, ERRORS, G_N_ELEMENTS(ERRORS));
    return static_cast<GQuark>(quark);
}

int PolicyErrorSent(int code)
{
    for (const auto& e : ERRORS)
        if (e.error_code == code)
            return code;
    return IPC_ERR_SAVE;
}

} // namespace IPCAPI
