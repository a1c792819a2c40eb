// Interruptions on POSIX systems: SIGINT, SIGTERM and SIGHUP are blocked in every thread and
// taken by one watcher thread with sigwait, so that no clean-up ever runs inside a signal handler.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>
#include <thread>

#include "platform/interruption.h"

namespace carconv {

namespace {

// The stop signals that were not ignored when the process started. One that the parent ignored
// (SIGHUP under nohup, SIGINT for a job started in the background by a shell without job control)
// stays ignored: taken with sigwait, a blocked signal would arrive even though it is ignored.
sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction inherited {};
        if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
            continue;
        sigaddset(&set, signal);
    }
    return set;
}

bool IsEmpty(const sigset_t& set) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigismember(&set, signal) == 1)
            return false;
    }
    return true;
}

void Watch(sigset_t set) {
    int signal = 0;
    if (sigwait(&set, &signal) != 0)
        return;
    RequestStop(signal);
    // The run unwinds and the process ends on its own; if it has not by the end of the grace
    // period, or a second signal comes, what it left is removed here.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(kStopGrace);
    timespec grace{};
    grace.tv_sec = static_cast<std::time_t>(seconds.count());
    grace.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(kStopGrace - seconds).count());
    while (sigtimedwait(&set, nullptr, &grace) < 0 && errno == EINTR) {
    }
    EndInterruptedProcess(signal);
}

}  // namespace

void WriteToStandardError(const char* text) {
    const std::size_t length = std::strlen(text);
    for (std::size_t done = 0; done < length;) {
        const ssize_t written = write(STDERR_FILENO, text + done, length - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        done += static_cast<std::size_t>(written);
    }
}

void InstallInterruptionHandling() {
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t set = StopSignals();
    if (IsEmpty(set))
        return;
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    try {
        std::thread(Watch, set).detach();
    } catch (const std::system_error&) {
        // Without a watcher the signals keep their default effect.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

}  // namespace carconv
