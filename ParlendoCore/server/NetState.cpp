#include "server/NetState.h"

#include "foundation/Log.h"

namespace parlendo {

bool NetState::offline() const {
    std::lock_guard lock(mutex_);
    return down_;
}

bool NetState::set(bool down) {
    std::lock_guard lock(mutex_);
    bool old = down_;
    down_ = down;
    return old != down;
}

void NetState::noteNotConnected() {
    if (set(true)) {
        Log::write("net", "인터넷 없음 — 연결되지 않은 것으로 본다");
    }
}

void NetState::noteAnswered() {
    if (set(false)) {
        Log::write("net", "다시 연결됨 — 서버가 답했다");
    }
}

void NetState::notePath(bool satisfied) {
    if (!satisfied) {
        return;
    }
    if (set(false)) {
        Log::write("net", "다시 연결됨 — 네트워크 경로가 돌아왔다");
    }
}

}  // namespace parlendo
