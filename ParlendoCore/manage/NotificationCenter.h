#pragma once

#include "foundation/Executor.h"
#include "foundation/Json.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace parlendo {

struct Notification {
    std::string name;
    Json userInfo = Json::object();
};

// An in-process notification centre: posters name a notification, observers registered for that
// name receive it on the executor they chose (or on the posting thread when they chose none).
// An observer listens as long as its token lives. Thread-safe.
class NotificationCenter {
  public:
    using Handler = std::function<void(const Notification&)>;
    // Keep it to keep listening; dropping it removes the observer.
    using Token = std::shared_ptr<void>;

    explicit NotificationCenter(ExecutorPtr main = nullptr);

    // The process's default centre.
    static NotificationCenter& defaultCenter();

    // The main executor, on which the application's observers run (none until the application
    // sets it; observers then run on the posting thread).
    ExecutorPtr mainExecutor() const;
    void setMainExecutor(ExecutorPtr main);

    [[nodiscard]] Token addObserver(std::string name, ExecutorPtr queue, Handler handler);
    void post(const Notification& notification);

  private:
    struct Observer {
        std::string name;
        ExecutorPtr queue;
        Handler handler;
    };
    mutable std::mutex mutex_;
    ExecutorPtr main_;
    std::vector<std::weak_ptr<Observer>> observers_;
};

}  // namespace parlendo
