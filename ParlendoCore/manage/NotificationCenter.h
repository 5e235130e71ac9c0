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
// name receive it on the executor they chose, on the centre's main executor, or on the posting
// thread when they chose none. An observer listens as long as its token lives. Thread-safe.
class NotificationCenter {
  public:
    using Handler = std::function<void(const Notification&)>;
    // Keep it to keep listening; dropping it removes the observer.
    using Token = std::shared_ptr<void>;

    explicit NotificationCenter(ExecutorPtr main = nullptr);

    // The process's default centre.
    static NotificationCenter& defaultCenter();

    // The main executor, on which the application's observers run. Deliveries to main observers
    // posted before it is set wait for it.
    ExecutorPtr mainExecutor() const;
    void setMainExecutor(ExecutorPtr main);

    // `queue` null: the handler runs on the posting thread.
    [[nodiscard]] Token addObserver(std::string name, ExecutorPtr queue, Handler handler);
    // The handler runs on the main executor, never inside the poster's call.
    [[nodiscard]] Token addMainObserver(std::string name, Handler handler);
    void post(const Notification& notification);

  private:
    struct Observer {
        std::string name;
        ExecutorPtr queue;
        bool onMain = false;
        Handler handler;
    };
    Token add(std::shared_ptr<Observer> observer);

    mutable std::mutex mutex_;
    ExecutorPtr main_;
    std::vector<std::weak_ptr<Observer>> observers_;
    // Deliveries to main observers posted while there was no main executor yet.
    std::vector<Task> held_;
};

}  // namespace parlendo
