/* Light notebooks for the console's benchmark, a process of their own: students l0 .. l(N-1) of
 * the class "bench" (settings in $KEL_ROOT/classroom/machines/ID), on one thread, the library
 * driven by poll. Each says it is online (again at a roll call), answers the teacher's lock and
 * tells its new screen state, and takes deployed policies. Commands on standard input:
 *   say I BITS   student I tells its screen state BITS (retained), at once
 * Usage: kelbench_light_class N. Ends at the end of its input. */
#include "Classroom.h"
#include "IPCAPI.h"
#include "KELPaths.h"

#include <glib.h>
#include <mosquitto.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const std::string kClass = "bench";
std::vector<mosquitto*> g_Clients;
std::vector<std::string> g_Ids;

void State(size_t i, int bits)
{
    IPCAPI::ClassroomMessage state;
    state.fields["lock"] = std::to_string(bits);
    std::string payload = state.Encode(), name = IPCAPI::topic::Make(kClass, IPCAPI::topic::STATE, g_Ids[i]);
    mosquitto_publish(g_Clients[i], NULL, name.c_str(), static_cast<int>(payload.size()), payload.data(), 1, true);
}

void OnMessage(mosquitto* m, void*, const mosquitto_message* msg)
{
    size_t i = 0;
    while (g_Clients[i] != m)
        ++i;
    std::string topic = msg->topic, id = g_Ids[i];
    if (topic.find("/request/rollcall") != std::string::npos) {
        std::string presence = IPCAPI::topic::Presence(kClass, id);
        mosquitto_publish(m, NULL, presence.c_str(), 6, "online", 1, true);
        return;
    }
    IPCAPI::ClassroomMessage in, out;
    if (msg->payloadlen == 0 ||
        !IPCAPI::ClassroomMessage::Decode(std::string(static_cast<char*>(msg->payload), msg->payloadlen), in))
        return;
    std::string answer;
    if (topic.find("/policy/") != std::string::npos) {
        out.fields = {{"kind", topic.substr(topic.rfind('/') + 1)}, {"id", in.Get("id")}, {"result", "ok"}};
        answer = IPCAPI::topic::Answer(kClass, id, "deploy");
    } else {
        out.fields = {{"id", in.Get("id")}, {"mode", in.Get("mode")}, {"result", "ok"}};
        answer = IPCAPI::topic::Make(kClass, IPCAPI::topic::LOCK_ANSWER, id);
        State(i, in.Get("mode") == "lock" ? IPCAPI::STUDENT_LOCKED : 0);
    }
    std::string payload = out.Encode();
    mosquitto_publish(m, NULL, answer.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false);
}

} // namespace

int main(int argc, char** argv)
{
    int n = argc > 1 ? atoi(argv[1]) : 0;
    rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    std::string machines = std::string(getenv("KEL_ROOT") ? getenv("KEL_ROOT") : "") + "/classroom/machines/";
    for (int i = 0; i < n; ++i) {
        std::string id = "l" + std::to_string(i), reason;
        IPCAPI::ClassroomSettings s;
        IPCAPI::ClassroomSettings::Load(machines + id + "/classroom.conf", s, reason);
        mosquitto* m = IPCAPI::NewClassroomSession(s, "kel-light-" + id, nullptr, reason);
        if (!m) {
            fprintf(stderr, "kelbench_light_class: %s\n", reason.c_str());
            return 1;
        }
        mosquitto_threaded_set(m, false);
        std::string presence = IPCAPI::topic::Presence(kClass, id);
        mosquitto_will_set(m, presence.c_str(), 7, "offline", 1, true);
        mosquitto_message_callback_set(m, OnMessage);
        mosquitto_connect(m, s.host.c_str(), s.port, 60);
        for (const std::string& t : {IPCAPI::topic::Make(kClass, IPCAPI::topic::CLASS_LOCK), IPCAPI::topic::Make(kClass, IPCAPI::topic::LOCK, id),
                                     IPCAPI::topic::Filter(kClass, IPCAPI::topic::POLICY),
                                     IPCAPI::topic::Make(kClass, IPCAPI::topic::ROLL_CALL)})
            mosquitto_subscribe(m, NULL, t.c_str(), 1);
        mosquitto_publish(m, NULL, presence.c_str(), 6, "online", 1, true);
        g_Clients.push_back(m);
        g_Ids.push_back(id);
    }
    std::vector<pollfd> fds(g_Clients.size() + 1);
    std::string input;
    for (bool open = true; open;) {
        for (size_t i = 0; i < g_Clients.size(); ++i)
            fds[i] = {mosquitto_socket(g_Clients[i]),
                      static_cast<short>(POLLIN | (mosquitto_want_write(g_Clients[i]) ? POLLOUT : 0)), 0};
        fds.back() = {0, POLLIN, 0};
        poll(fds.data(), fds.size(), 20);
        if (fds.back().revents) {
            char buf[256];
            ssize_t got = read(0, buf, sizeof buf);
            open = got > 0;
            input.append(buf, got > 0 ? static_cast<size_t>(got) : 0);
        }
        for (size_t end; (end = input.find('\n')) != std::string::npos; input.erase(0, end + 1)) {
            int i = 0, bits = 0;
            if (sscanf(input.c_str(), "say %d %d", &i, &bits) == 2 && i >= 0 && i < n) {
                State(static_cast<size_t>(i), bits);
            }
        }
        for (size_t i = 0; i < g_Clients.size(); ++i) {
            if (fds[i].revents & POLLIN)
                mosquitto_loop_read(g_Clients[i], 1);
            if (mosquitto_want_write(g_Clients[i]))
                mosquitto_loop_write(g_Clients[i], 1);
            mosquitto_loop_misc(g_Clients[i]);
        }
    }
    /* Gone without a word: the broker tells their last wills. */
    for (mosquitto* m : g_Clients)
        mosquitto_destroy(m);
    return 0;
}
