#include "TwinLanternApp/app/SingleInstance.h"

#include "TwinLanternMac/signin/SignInRouter.h"
#include "core/base/PathUtil.h"
#include "core/base/PrivateFolder.h"
#include "core/base/Sha256.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace twinlantern::app {

namespace {

// Later starts connect, send a line or two and go; more at once or longer is not one.
constexpr int maxConnections = 16;
constexpr int idleMilliseconds = 5000;
constexpr auto retryInterval = std::chrono::milliseconds(25);

using SteadyClock = std::chrono::steady_clock;

int remainingMilliseconds(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connected within the deadline, or invalid.
UniqueFd connectBy(const std::string& path, SteadyClock::time_point deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        return {};
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    while (true) {
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd) {
            return {};
        }
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) ==
            0) {
            return fd;
        }
        // Not listening yet (the instance is starting): try again until the deadline.
        if ((errno != ENOENT && errno != ECONNREFUSED && errno != EAGAIN && errno != EINTR) ||
            SteadyClock::now() + retryInterval >= deadline) {
            return {};
        }
        std::this_thread::sleep_for(retryInterval);
    }
}

} // namespace

namespace SingleInstance {

std::string stem(const std::string& runtimeDirectory, const std::string& home) {
    std::string path = runtimeDirectory;
    path += "/twinlantern-";
    path += sha256Hex(home).substr(0, 16);
    return path;
}

std::string privateStem(const Environment& environment, const std::string& home) {
    const auto absolute = [&environment](const char* name) -> std::optional<std::string> {
        const auto it = environment.find(name);
        if (it == environment.end() || !it->second.starts_with('/')) {
            return std::nullopt;
        }
        return it->second;
    };
    std::string folder;
    if (const auto runtime = absolute("XDG_RUNTIME_DIR")) {
        folder = *runtime;
    } else {
        folder = absolute("XDG_CACHE_HOME").value_or(PathUtil::join(home, ".cache"));
        folder = PathUtil::join(folder, "twinlantern");
    }
    folder = PathUtil::normalize(folder);
    try {
        (void)openPrivateFolder(folder);
    } catch (const TwinLanternError& error) {
        throw TwinLanternError::io(
            "TwinLantern can't start without a private folder for its lock and socket. " +
            error.description());
    }
    std::string path = stem(folder == "/" ? "" : folder, home);
    if (path.size() + std::strlen(".sock") >= sizeof(sockaddr_un::sun_path)) {
        throw TwinLanternError::io("TwinLantern can't start: the path of its socket in " + folder +
                                   " is longer than a socket allows. Set XDG_RUNTIME_DIR to a "
                                   "private folder with a shorter path.");
    }
    return path;
}

Lock acquire(const std::string& lockPath) {
    Lock lock;
    LockFile file = LockFile::open(lockPath);
    if (!file) {
        lock.error = file.error();
        lock.problem = file.problem();
        return lock;
    }
    if (!file.tryLock()) {
        if (errno == EWOULDBLOCK) {
            lock.held = true;
        } else {
            lock.error = errno;
            lock.problem = std::strerror(errno);
        }
        return lock;
    }
    lock.file = std::move(file);
    return lock;
}

std::vector<std::string> links(const std::vector<std::string>& arguments) {
    std::vector<std::string> found;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (SignInRouter::isURI(arguments[i])) {
            found.push_back(arguments[i]);
        }
    }
    return found;
}

std::vector<std::string> messages(const std::vector<std::string>& arguments) {
    std::vector<std::string> lines;
    for (const auto& link : links(arguments)) {
        std::string line = "open ";
        line += link;
        // A line the instance would refuse would never be answered.
        if (line.size() <= maxLineBytes) {
            lines.push_back(line);
        }
    }
    if (lines.empty()) {
        lines.emplace_back("reopen");
    }
    return lines;
}

std::optional<Command> parse(std::string_view line) {
    if (line.size() > maxLineBytes || !text::isValidUtf8(line)) {
        return std::nullopt;
    }
    if (line == "reopen") {
        return Command{Command::Kind::reopen, {}};
    }
    constexpr std::string_view open = "open ";
    if (line.starts_with(open) && line.size() > open.size()) {
        return Command{Command::Kind::open, std::string(line.substr(open.size()))};
    }
    return std::nullopt;
}

bool forward(const std::string& socketPath, const std::vector<std::string>& lines,
             std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    const UniqueFd fd = connectBy(socketPath, deadline);
    if (!fd) {
        return false;
    }
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += '\n';
    }
    std::size_t sent = 0;
    std::string in;
    std::size_t answered = 0;
    while (answered < lines.size()) {
        pollfd watch{fd.get(), static_cast<short>(POLLIN | (sent < out.size() ? POLLOUT : 0)), 0};
        const int wait = remainingMilliseconds(deadline);
        if (wait == 0) {
            return false;
        }
        const int ready = ::poll(&watch, 1, wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        if ((watch.revents & POLLOUT) != 0) {
            const ssize_t n =
                ::send(fd.get(), out.data() + sent, out.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            sent += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        if ((watch.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[256];
            const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                return false;
            }
            in.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
            for (std::size_t end; (end = in.find('\n')) != std::string::npos;) {
                if (in.compare(0, end, "ok") == 0) {
                    ++answered;
                }
                in.erase(0, end + 1);
            }
            if (in.size() > maxLineBytes) {
                return false;
            }
        }
    }
    return true;
}

} // namespace SingleInstance

InstanceServer::InstanceServer(std::string socketPath, Handler handler, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)), handler_(std::move(handler)),
      server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(maxConnections);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

InstanceServer::~InstanceServer() {
    close();
}

std::optional<std::string> InstanceServer::listen() {
    const QString name = QString::fromStdString(socketPath_);
    QLocalServer::removeServer(name);
    if (!server_->listen(name)) {
        return server_->errorString().toStdString();
    }
    return std::nullopt;
}

void InstanceServer::close() {
    if (server_->isListening()) {
        server_->close();
    }
}

void InstanceServer::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (server_->findChildren<QLocalSocket*>().size() > maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->start(idleMilliseconds);
        connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        if (socket->bytesAvailable() > 0) {
            readFrom(socket);
        }
    }
}

void InstanceServer::readFrom(QLocalSocket* connection) {
    // The handler may run a loop of its own, in which the connection can go.
    const QPointer<QLocalSocket> socket(connection);
    while (socket && socket->canReadLine()) {
        const QByteArray raw = socket->readLine(SingleInstance::maxLineBytes + 2);
        if (!raw.endsWith('\n')) {
            // Longer than any command: not a later start of ours.
            socket->abort();
            return;
        }
        const std::string_view line(raw.constData(), static_cast<std::size_t>(raw.size() - 1));
        if (const auto command = SingleInstance::parse(line)) {
            handler_(*command);
            if (!socket || socket->state() != QLocalSocket::ConnectedState) {
                return;
            }
            socket->write("ok\n");
            socket->flush();
        }
    }
    if (socket && socket->bytesAvailable() > static_cast<qint64>(SingleInstance::maxLineBytes)) {
        socket->abort();
    }
}

} // namespace twinlantern::app
