/* kel-service: the student machine's policy service. */
#include "CPolicyService.h"
#include "ClassroomService.h"

#include <glib.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "--classroom") == 0)
        return KelService::RunClassroomAlone();
    bool ownUserOnly = argc == 2 && strcmp(argv[1], "--own-user-only") == 0;
    if (argc != 1 && !ownUserOnly) {
        fprintf(stderr, "usage: %s [--own-user-only | --classroom]\n  Serves org.kelproject.Policy1 on the system bus "
                        "(DBUS_SYSTEM_BUS_ADDRESS, KEL_ROOT honoured).\n"
                        "  --own-user-only: serve only callers of this process's user, ask polkit nothing.\n"
                        "  --classroom: only the classroom side (the class's broker), no bus.\n",
                argv[0]);
        return 2;
    }
    /* The walks start kel-walk from this program's folder, whatever name or folder it was started by. */
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0) {
        perror("kel-service: /proc/self/exe");
        return 1;
    }
    self[n] = '\0';
    KelService::CPolicyService service(self, ownUserOnly);
    return service.Run();
}
