#include "shell/DeviceCareModule.h"

namespace parlendo {

DeviceCareModule::DeviceCareModule(std::shared_ptr<DeviceCare> care,
                                   std::shared_ptr<ShutdownGate> shutdown)
    : care_(std::move(care)), shutdown_(std::move(shutdown)) {}

void DeviceCareModule::start() {
    if (started_) {
        return;
    }
    started_ = true;
    shutdown_->addTask(relaunchTask, [weak = std::weak_ptr<DeviceCare>(care_)] {
        if (auto care = weak.lock()) {
            care->launchRelaunchHelperIfRequested();
        }
    });
    care_->start();
}

}  // namespace parlendo
