#include "TwinLanternApp/model/ModelNotices.h"

#include <vector>

namespace twinlantern::app {

struct ModelNotices::Subscription::List {
    std::map<std::uint64_t, std::shared_ptr<const Callback>> callbacks;
    std::uint64_t nextId = 1;
};

void ModelNotices::Subscription::reset() {
    if (auto list = list_.lock(); list && id_ != 0) {
        list->callbacks.erase(id_);
    }
    list_.reset();
    id_ = 0;
}

ModelNotices::ModelNotices() : list_(std::make_shared<Subscription::List>()) {}

ModelNotices::Subscription ModelNotices::observe(Callback callback) {
    const auto id = list_->nextId++;
    list_->callbacks.emplace(id, std::make_shared<const Callback>(std::move(callback)));
    return Subscription(list_, id);
}

void ModelNotices::notify(ModelField field) const {
    // Those subscribed when the notice began, each only while still subscribed.
    std::vector<std::pair<std::uint64_t, std::shared_ptr<const Callback>>> now(
        list_->callbacks.begin(), list_->callbacks.end());
    auto keep = list_;
    for (const auto& [id, callback] : now) {
        if (keep->callbacks.contains(id)) {
            (*callback)(field);
        }
    }
}

} // namespace twinlantern::app
