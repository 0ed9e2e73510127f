// Ownership of a Qt object that may be dropped from inside one of its own
// event handlers, or at process exit after the application object is gone.
// Dropping hides a widget and deletes the object later from the event loop;
// without an application nothing is touched any more (the process is ending).
#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <type_traits>
#include <utility>

// Frees object with the host's event loop when that loop ends, so that no
// plug-in window or timer outlives the application object.
inline void releaseWhenLoopEnds(QObject& object) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, &object, &QObject::deleteLater);
    }
}

template <typename T>
class QtOwned {
  public:
    QtOwned() = default;
    explicit QtOwned(std::unique_ptr<T> object) : object_(object.release()) {
        if (object_) {
            releaseWhenLoopEnds(*object_);
        }
    }
    QtOwned(QtOwned&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    QtOwned& operator=(QtOwned&& other) noexcept {
        if (this != &other) {
            drop();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    QtOwned(const QtOwned&) = delete;
    QtOwned& operator=(const QtOwned&) = delete;
    ~QtOwned() { drop(); }

    // Null once the object is gone (dropped, or freed when the loop ended).
    T* get() const { return object_.data(); }
    T* operator->() const { return object_.data(); }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return !object_.isNull(); }

  private:
    void drop() {
        if (object_ && QCoreApplication::instance() != nullptr) {
            if constexpr (std::is_base_of_v<QWidget, T>) {
                object_->hide();
            }
            object_->deleteLater();
        }
        object_.clear();
    }

    QPointer<T> object_;
};
