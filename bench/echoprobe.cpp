#include "echoprobe.h"

#include "ptypair.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Reads until an LF arrives; false on error or after a second without one.
bool readLine(int fd) {
    char buf[256];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0)
            return false;
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return false;
        if (std::memchr(buf, '\n', static_cast<size_t>(n)))
            return true;
    }
}

} // namespace

double bareEchoMedianMs(int rounds, int gapMs) {
    const zor::tools::PtyPair pty;
    if (!pty.ok())
        return -1;
    const int master = pty.masterFd();
    const int slave = pty.slaveFd();
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        char buf[256];
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = read(master, buf, sizeof buf);
            if (n > 0 && write(master, buf, static_cast<size_t>(n)) < 0)
                break;
        }
    });
    const char frame[] = "\x02VSET;C\r\n";
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        if (gapMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        const auto t0 = std::chrono::steady_clock::now();
        if (write(slave, frame, sizeof frame - 1) < 0 || !readLine(slave))
            break;
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    stop = true;
    echo.join();
    if (ms.empty())
        return -1;
    std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
    return ms[ms.size() / 2];
}
