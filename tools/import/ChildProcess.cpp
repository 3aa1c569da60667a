// The parser's sandbox (ChildProcess.h): fork, limits set in the child before the work starts, a pipe read by the
// parent against a deadline, and the child's end read from its wait status. The child answers with one byte (1
// the work succeeded, 0 not) and then its bytes or its reason; it leaves by _exit, so nothing of the parent's
// (buffered output, atexit handlers, test frameworks) runs twice.
#include "tools/import/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define TARN_IMPORT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARN_IMPORT_ASAN 1
#endif
#endif

namespace tarn::import {
namespace {

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string SignalName(int sig) {
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGABRT:
        return "SIGABRT";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGKILL:
        return "SIGKILL";
    case SIGTERM:
        return "SIGTERM";
    case SIGTRAP:
        return "SIGTRAP";
    case SIGSYS:
        return "SIGSYS";
    default:
        return "signal " + std::to_string(sig);
    }
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

[[noreturn]] void Child(int fd, const ChildLimits& limits, const ChildWork& work) {
    // The work's own output would interleave with the tool's lines: it goes nowhere.
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) ::close(null);
    }
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (limits.memoryBytes != 0 && ChildMemoryLimitApplies()) {
        const rlimit memory{limits.memoryBytes, limits.memoryBytes};
        ::setrlimit(RLIMIT_AS, &memory);
    }
    if (limits.cpuSeconds != 0) {
        // SIGXCPU at the soft limit, SIGKILL a second later should the work catch that.
        const rlimit cpu{limits.cpuSeconds, static_cast<rlim_t>(limits.cpuSeconds) + 1};
        ::setrlimit(RLIMIT_CPU, &cpu);
    }
    std::vector<std::uint8_t> out;
    std::string why;
    bool ok = false;
    try {
        ok = work(out, why);
    } catch (const std::bad_alloc&) {
        ok = false, why = "std::bad_alloc";
    } catch (const std::exception& e) {
        ok = false, why = e.what();
    } catch (...) {
        ok = false, why = "an unknown exception";
    }
    const std::uint8_t status = ok ? 1 : 0;
    const bool sent =
        WriteAll(fd, &status, 1) && (ok ? WriteAll(fd, out.data(), out.size()) : WriteAll(fd, why.data(), why.size()));
    ::_exit(sent ? 0 : 3);
}

}  // namespace

bool ChildMemoryLimitApplies() {
#ifdef TARN_IMPORT_ASAN
    return false;
#else
    return true;
#endif
}

ChildResult RunInChild(const ChildLimits& limits, const ChildWork& work) {
    ChildResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.failure = std::string("cannot make a pipe for the parser: ") + std::strerror(errno);
        return result;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        result.failure = std::string("cannot start the parser: ") + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return result;
    }
    if (pid == 0) {
        ::close(fds[0]);
        Child(fds[1], limits, work);
    }
    ::close(fds[1]);

    // The answer can be no larger than the child's memory; without a memory limit, 4 GB.
    const std::uint64_t most = limits.memoryBytes != 0 ? limits.memoryBytes : (4ull << 30);
    const auto deadline = start + std::chrono::seconds(limits.wallSeconds != 0 ? limits.wallSeconds : 3600);
    std::vector<std::uint8_t> data;
    bool timedOut = false, tooLarge = false;
    std::uint8_t chunk[1 << 16];
    while (true) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue;
        const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // end of the answer (or a broken pipe)
        if (data.size() + static_cast<std::size_t>(n) > most) {
            tooLarge = true;
            break;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    ::close(fds[0]);
    if (timedOut || tooLarge) ::kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peakBytes = static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
    const double cpu =
        usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;

    if (timedOut) {
        result.failure = "the parser took longer than " + std::to_string(limits.wallSeconds) + " s";
    } else if (tooLarge) {
        result.failure = "the parser's answer is larger than " + Megabytes(most);
    } else if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXCPU || (sig == SIGKILL && limits.cpuSeconds != 0 && cpu >= limits.cpuSeconds)) {
            result.failure = "the parser ran out of processor time (" + std::to_string(limits.cpuSeconds) + " s)";
        } else {
            result.failure = "the parser crashed (" + SignalName(sig) + ")";
        }
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.failure = "the parser exited with status " + std::to_string(WEXITSTATUS(status));
    } else if (data.empty()) {
        result.failure = "the parser gave no answer";
    } else if (data[0] != 1) {
        std::string why(data.begin() + 1, data.end());
        if (why.find("bad_alloc") != std::string::npos) {
            why = "the parser ran out of memory" +
                  (limits.memoryBytes != 0 ? " (limit " + Megabytes(limits.memoryBytes) + ")" : std::string());
        }
        for (char& c : why) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        result.failure = why.empty() ? "the parser refuses the file" : why;
    } else {
        result.ok = true;
        data.erase(data.begin());
        result.bytes = std::move(data);
    }
    return result;
}

}  // namespace tarn::import
