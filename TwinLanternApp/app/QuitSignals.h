#pragma once

#include "core/base/UniqueFd.h"

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace twinlantern::app {

// SIGTERM, SIGINT and SIGHUP as a request to quit, taken through a signalfd on the
// event loop instead of a handler, so quitting runs as ordinary main-thread code.
class QuitSignals final : public QObject {
    Q_OBJECT
public:
    // Blocks the three signals in the calling thread; call first thing in main, before
    // any thread starts, so every thread inherits the mask. Children we start reset it.
    static void block();

    // Calls onQuit (with the signal number) for each of them that arrives.
    explicit QuitSignals(std::function<void(int)> onQuit, QObject* parent = nullptr);
    ~QuitSignals() override;
    bool active() const { return fd_.valid(); }

private:
    void drain();

    UniqueFd fd_;
    std::function<void(int)> onQuit_;
    std::unique_ptr<QSocketNotifier> notifier_; // goes before the descriptor
};

} // namespace twinlantern::app
