#pragma once

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QTimer>

#include <chrono>
#include <type_traits>

#include "models/ZelvoError.h"

// Spins the event loop until the future finishes; QProcess and the network
// need it, so waitForFinished() on this thread would never return.
template <typename T> bool settle(const QFuture<T> &future, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    if (future.isFinished())
        return true;
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<T>::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    loop.exec();
    return future.isFinished();
}

// The error text a screen would show, or a null text when the future succeeded.
template <typename T> QString failureText(QFuture<T> future)
{
    try {
        future.waitForFinished();
        if constexpr (!std::is_void_v<T>)
            future.result();
    } catch (...) {
        return errorText(std::current_exception());
    }
    return {};
}
