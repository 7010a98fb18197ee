/* The bus names and error names shared by kel-service and its client. */
#include "PolicyBus.h"

#include "IPCAPI.h"

#include <cstring>

namespace IPCAPI {

const char* const POLICY_BUS_NAME = "org.kelproject.Policy1";
const char* const POLICY_OBJECT_PATH = "/org/kelproject/Policy1";
const char* const POLICY_INTERFACE = "org.kelproject.Policy1";

namespace {

const struct {
    const char* name;
    int code;
} ERRORS[] = {
    {"org.kelproject.Policy1.Error.Save", IPC_ERR_SAVE}, /* first: the name of unnamed codes */
    {"org.kelproject.Policy1.Error.NotAllowed", IPC_ERR_NOT_ALLOWED},
    {"org.kelproject.Policy1.Error.TooLarge", IPC_ERR_TOO_LARGE},
    {"org.kelproject.Policy1.Error.Parse", IPC_ERR_PARSE},
    {"org.kelproject.Policy1.Error.Busy", IPC_ERR_BUSY},
    {"org.kelproject.Policy1.Error.InvalidArgument", IPC_ERR_INVALID_ARGUMENT},
    {"org.kelproject.Policy1.Error.NoSuchOperation", IPC_ERR_NO_SUCH_OPERATION},
    {"org.kelproject.Policy1.Error.AuthenticationNeeded", IPC_ERR_AUTH_NEEDED},
};

} // namespace

const char* PolicyErrorName(int code)
{
    for (const auto& e : ERRORS)
        if (e.code == code)
            return e.name;
    return ERRORS[0].name;
}

int PolicyErrorCode(const char* name)
{
    for (const auto& e : ERRORS)
        if (name && strcmp(name, e.name) == 0)
            return e.code;
    return 0;
}

} // namespace IPCAPI
