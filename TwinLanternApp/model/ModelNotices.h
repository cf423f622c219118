#pragma once

#include "TwinLanternApp/model/ModelField.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace twinlantern::app {

// Who is told when a field changed. Main thread only. An observer may subscribe or
// unsubscribe anyone, itself included, from inside a notice.
class ModelNotices {
public:
    using Callback = std::function<void(ModelField)>;

    // Ends the observation when it goes; may outlive the notices.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept
            : list_(std::move(other.list_)), id_(std::exchange(other.id_, 0)) {}
        Subscription& operator=(Subscription&& other) noexcept {
            if (this != &other) {
                reset();
                list_ = std::move(other.list_);
                id_ = std::exchange(other.id_, 0);
            }
            return *this;
        }
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription() { reset(); }
        void reset();

    private:
        friend class ModelNotices;
        struct List;
        Subscription(std::weak_ptr<List> list, std::uint64_t id)
            : list_(std::move(list)), id_(id) {}
        std::weak_ptr<List> list_;
        std::uint64_t id_ = 0;
    };

    ModelNotices();

    [[nodiscard]] Subscription observe(Callback callback);
    void notify(ModelField field) const;

    // Stores `value`; tells the observers only when it differs from what was stored.
    template <typename T, typename U> bool assign(ModelField field, T& stored, U&& value) const {
        const bool changed = !(stored == value);
        stored = std::forward<U>(value);
        if (changed) {
            notify(field);
        }
        return changed;
    }
    // Stores `value` and always tells the observers (values without equality).
    template <typename T, typename U>
    void assignAlways(ModelField field, T& stored, U&& value) const {
        stored = std::forward<U>(value);
        notify(field);
    }

private:
    std::shared_ptr<Subscription::List> list_;
};

} // namespace twinlantern::app
