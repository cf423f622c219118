#pragma once

#include "core/base/LockFile.h"
#include "core/base/Paths.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace twinlantern::app {

// One instance per user and home: the first start holds an flock and listens on a socket
// beside it; a later start hands its links (or a reopen) to it and exits.
namespace SingleInstance {

inline constexpr std::size_t maxLineBytes = 8 * 1024;
// A busy machine can keep the running instance from answering for seconds; a later start
// that gave up sooner would lose the link it carries.
inline constexpr auto answerTimeout = std::chrono::seconds(10);
inline constexpr char notAnswering[] = "TwinLantern is already running but doesn't answer.";

// "<runtime>/twinlantern-<16 hex of SHA-256 of home>"; ".lock" and ".sock" follow.
std::string stem(const std::string& runtimeDirectory, const std::string& home);

// The stem in the folder of the lock and the socket: $XDG_RUNTIME_DIR when it is set and
// absolute, else "twinlantern" in the user's cache folder ($XDG_CACHE_HOME when absolute,
// else ~/.cache); either made 0700 when missing and used only when it is this user's
// private folder. Never a path on an empty location, nor a socket path longer than a
// socket takes. Throws TwinLanternError saying why the app can't start.
std::string privateStem(const Environment& environment, const std::string& home);

struct Lock {
    LockFile file;       // holds the lock while open
    bool held = false;   // another process holds it
    int error = 0;       // errno when the lock file couldn't be used
    std::string problem; // what error means to the user
    bool acquired() const { return file.valid(); }
};
// Never waits.
Lock acquire(const std::string& lockPath);

// What a later start says: "open <url>" per link argument, in order, else "reopen".
std::vector<std::string> messages(const std::vector<std::string>& arguments);
// The link arguments: those after the program that are URIs.
std::vector<std::string> links(const std::vector<std::string>& arguments);

struct Command {
    enum class Kind { open, reopen };
    Kind kind;
    std::string link; // for open
    friend bool operator==(const Command&, const Command&) = default;
};
// A line without its line feed; nothing for anything but the two commands in UTF-8 of
// at most maxLineBytes.
std::optional<Command> parse(std::string_view line);

// Sends the lines and waits for an "ok" to each, within timeout overall (connecting
// included, which is retried while the instance starts listening). False when it
// didn't get them all.
bool forward(const std::string& socketPath, const std::vector<std::string>& lines,
             std::chrono::milliseconds timeout = answerTimeout);

} // namespace SingleInstance

// The first instance's end: takes the commands of later starts, one line each, answers
// "ok" to each it honours and ignores every other line.
class InstanceServer final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const SingleInstance::Command&)>;

    InstanceServer(std::string socketPath, Handler handler, QObject* parent = nullptr);
    ~InstanceServer() override;

    // Removes a stale socket of that name (call with the lock held) and listens, for
    // this user only. The error text when it couldn't.
    std::optional<std::string> listen();
    // Stops listening and removes the socket.
    void close();

private:
    void accept();
    void readFrom(QLocalSocket* socket);

    std::string socketPath_;
    Handler handler_;
    QLocalServer* server_ = nullptr; // a child
};

} // namespace twinlantern::app
