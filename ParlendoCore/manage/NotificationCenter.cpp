#include "manage/NotificationCenter.h"

#include <algorithm>
#include <utility>

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
    std::vector<Task> held;
    {
        std::lock_guard lock(mutex_);
        main_ = main;
        if (main) {
            held = std::exchange(held_, {});
        }
    }
    for (auto& task : held) {
        main->post(std::move(task));
    }
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, ExecutorPtr queue,
                                                          Handler handler) {
    return add(std::make_shared<Observer>(
        Observer{std::move(name), std::move(queue), false, std::move(handler)}));
}

NotificationCenter::Token NotificationCenter::addMainObserver(std::string name, Handler handler) {
    return add(
        std::make_shared<Observer>(Observer{std::move(name), nullptr, true, std::move(handler)}));
}

NotificationCenter::Token NotificationCenter::add(std::shared_ptr<Observer> observer) {
    std::lock_guard lock(mutex_);
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [](const auto& weak) { return weak.expired(); }),
                     observers_.end());
    observers_.push_back(observer);
    return observer;
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Observer>> matching;
    ExecutorPtr main;
    {
        std::lock_guard lock(mutex_);
        for (const auto& weak : observers_) {
            if (auto observer = weak.lock(); observer && observer->name == notification.name) {
                matching.push_back(std::move(observer));
            }
        }
        main = main_;
    }
    for (auto& observer : matching) {
        if (!observer->queue && !observer->onMain) {
            observer->handler(notification);
            continue;
        }
        // The delivery holds the observer weakly: a token dropped before the queue runs it
        // stops the delivery.
        Task deliver = [weak = std::weak_ptr<Observer>(observer), notification] {
            if (auto live = weak.lock()) {
                live->handler(notification);
            }
        };
        if (observer->queue) {
            observer->queue->post(std::move(deliver));
        } else if (main) {
            main->post(std::move(deliver));
        } else {
            // No main executor yet: the delivery waits for it, unless it arrived meanwhile.
            ExecutorPtr now;
            {
                std::lock_guard lock(mutex_);
                now = main_;
                if (!now) {
                    held_.push_back(std::move(deliver));
                }
            }
            if (now) {
                now->post(std::move(deliver));
            }
        }
    }
}

}  // namespace parlendo
