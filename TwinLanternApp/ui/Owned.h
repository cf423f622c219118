#pragma once

#include <QObject>

#include <utility>

namespace twinlantern::ui {

// A Qt object owned by its parent, which deletes it; the one place widgets are
// allocated, so ownership is always a parent's.
template <typename T, typename Parent, typename... Args> T* owned(Parent* parent, Args&&... args) {
    static_assert(std::is_base_of_v<QObject, T>);
    T* object = new T(std::forward<Args>(args)...);
    object->setParent(parent);
    return object;
}

} // namespace twinlantern::ui
