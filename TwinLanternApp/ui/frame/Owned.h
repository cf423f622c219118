#pragma once

#include <QObject>
#include <QWidget>

#include <type_traits>
#include <utility>

namespace twinlantern::ui {

// A Qt object owned by its parent, which deletes it; the one place widgets are
// allocated, so ownership is always a parent's. The parent goes to the constructor
// (Qt's last argument) so a dialog stays a dialog and a child a child.
template <typename T, typename Parent, typename... Args> T* owned(Parent* parent, Args&&... args) {
    static_assert(std::is_base_of_v<QObject, T>);
    if constexpr (std::is_constructible_v<T, Args&&..., Parent*>) {
        return new T(std::forward<Args>(args)..., parent);
    } else {
        T* object = new T(std::forward<Args>(args)...);
        object->setParent(parent);
        return object;
    }
}

// A Qt object the caller hands to its owner at once (a layout for addLayout, which
// refuses one that has a parent already).
template <typename T, typename... Args> T* handedOver(Args&&... args) {
    static_assert(std::is_base_of_v<QObject, T>);
    return new T(std::forward<Args>(args)...);
}

} // namespace twinlantern::ui
