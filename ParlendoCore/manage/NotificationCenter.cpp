#include "manage/NotificationCenter.h"

#include <algorithm>

namespace parlendo {

NotificationCenter::NotificationCenter(ExecutorPtr main) : main_(std::move(main)) {}

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter* center = new NotificationCenter();
    return *center;
}

ExecutorPtr NotificationCenter::mainExecutor() const {
    std::lock_guard lock(mutex_);
    return main_;
}

void NotificationCenter::setMainExecutor(ExecutorPtr main) {
    std::lock_guard lock(mutex_);
    main_ = std::move(main);
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, ExecutorPtr queue,
                                                          Handler handler) {
    auto observer =
        std::make_shared<Observer>(Observer{std::move(name), std::move(queue), std::move(handler)});
    std::lock_guard lock(mutex_);
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [](const auto& weak) { return weak.expired(); }),
                     observers_.end());
    observers_.push_back(observer);
    return observer;
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Observer>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& weak : observers_) {
            if (auto observer = weak.lock(); observer && observer->name == notification.name) {
                matching.push_back(std::move(observer));
            }
        }
    }
    for (auto& observer : matching) {
        if (!observer->queue) {
            observer->handler(notification);
            continue;
        }
        // The delivery holds the observer weakly: a token dropped before the queue runs it
        // stops the delivery.
        std::weak_ptr<Observer> weak = observer;
        observer->queue->post([weak, notification] {
            if (auto live = weak.lock()) {
                live->handler(notification);
            }
        });
    }
}

}  // namespace parlendo
