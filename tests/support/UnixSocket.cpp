#include "tests/support/UnixSocket.h"

#include "core/base/UniqueFd.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

namespace twinlantern::testing {

std::string exchangeOverUnixSocket(const std::string& path, std::string_view bytes,
                                   std::chrono::milliseconds quiet, std::size_t wanted) {
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    std::string answer;
    if (!fd || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return answer;
    }
    (void)::send(fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    while (answer.size() < wanted) {
        pollfd watch{fd.get(), POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(quiet.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer;
}

} // namespace twinlantern::testing
