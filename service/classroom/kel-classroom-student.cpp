/* The classroom side of a student machine on its own: connects to the class's broker with the
 * classroom settings and answers until SIGTERM or SIGINT. kel-service runs the same module. */
#include "CClassroomStudent.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    std::string file = argc > 1 ? argv[1] : IPCAPI::ClassroomSettings::DefaultFile();
    IPCAPI::ClassroomSettings settings;
    std::string reason;
    if (!IPCAPI::ClassroomSettings::Load(file, settings, reason)) {
        fprintf(stderr, "kel-classroom-student: %s\n", reason.c_str());
        return 1;
    }
    /* Blocked before any thread starts, so that only sigwait sees them. */
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, NULL);

    KelService::CClassroomStudent student(settings, KelService::CClassroomStudent::LocalSearch(),
                                          KelService::CClassroomStudent::LocalSave());
    if (!student.Start(reason)) {
        fprintf(stderr, "kel-classroom-student: %s\n", reason.c_str());
        return 1;
    }
    int sig = 0;
    sigwait(&stop, &sig);
    student.Stop();
    return 0;
}
