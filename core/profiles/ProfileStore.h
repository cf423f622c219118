#pragma once

#include "core/base/Paths.h"
#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileDocument.h"

#include <cstddef>
#include <functional>
#include <string_view>
#include <type_traits>

namespace twinlantern {

// The only code that touches profiles.json. Readers take no lock and rely on the
// atomic rename; writers serialise on an flock of .profiles.lock.
class ProfileStore {
public:
    // A profiles file is a few kilobytes; one past this is refused as corrupt unread,
    // and never written: what the store writes it can always read back.
    static constexpr std::size_t maxFileBytes = 4u << 20;
    // What update throws for a document whose file would pass maxFileBytes.
    static TwinLanternError tooLargeToSave();

    explicit ProfileStore(Paths paths) : paths_(std::move(paths)) {}

    const Paths& paths() const { return paths_; }

    ProfileDocument load() const;
    static ProfileDocument decode(std::string_view bytes, const std::string& path);
    ProfileDocument decode(std::string_view bytes) const {
        return decode(bytes, paths_.profilesFile());
    }

    // Runs change on a copy of the current document under the lock, and stores the
    // result when it differs. The change function must not call update again.
    template <typename F> auto update(F&& change) -> std::invoke_result_t<F&, ProfileDocument&> {
        using R = std::invoke_result_t<F&, ProfileDocument&>;
        if constexpr (std::is_void_v<R>) {
            updateImpl([&](ProfileDocument& d) { change(d); });
        } else {
            std::optional<R> result;
            updateImpl([&](ProfileDocument& d) { result.emplace(change(d)); });
            return std::move(*result);
        }
    }

private:
    void updateImpl(const std::function<void(ProfileDocument&)>& change);
    void ensureSupportDirectory() const;
    void write(const ProfileDocument& document) const;

    Paths paths_;
};

} // namespace twinlantern
