#pragma once

// Running the dock link's coroutines from a test, and simulator set-up shared by the link tests.

#include "SimServer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace vx8::test {

template <typename T> struct TaskResult
{
    bool done = false;
    std::optional<T> value;
};

template <typename T> QCoro::Task<void> collectInto(QCoro::Task<T> task, std::shared_ptr<TaskResult<T>> out)
{
    out->value = co_await task;
    out->done = true;
}

// Starts the task now; its result is there once done.
template <typename T> std::shared_ptr<TaskResult<T>> start(QCoro::Task<T>&& task)
{
    auto out = std::make_shared<TaskResult<T>>();
    collectInto(std::move(task), out);
    return out;
}

// Runs the event loop until the task has finished (at most timeoutMs); empty when it did not.
template <typename T> std::optional<T> run(QCoro::Task<T>&& task, int timeoutMs)
{
    auto out = start(std::move(task));
    QTest::qWaitFor([&] { return out->done; }, timeoutMs);
    return out->value;
}

// A simulator scenario with free ports and no discovery, so tests can run side by side.
inline QJsonObject simScenario(QJsonArray docks, double timeFactor = 0.01)
{
    return QJsonObject{{"controlPort", 0},
                       {"dataPort", 0},
                       {"timeFactor", timeFactor},
                       {"discovery", QJsonObject{{"enabled", false}}},
                       {"docks", docks}};
}

} // namespace vx8::test
