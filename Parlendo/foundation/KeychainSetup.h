#pragma once

#include "foundation/Executor.h"

namespace parlendo::KeychainSetup {

// Chooses, once per launch, where this process keeps its keychain items: the Secret Service when
// one answers within `timeoutSeconds` with an unlocked default collection (what the file store
// holds from launches without one moves there), else the 0600 file under the state root (logged
// once under "keychain"). Called once at start-up, before any item is read.
void install(double timeoutSeconds = 3.0);

// The serial queue "parlendo.keychain" on which keychain work runs away from the main thread. It
// lives as long as the process and is never joined: a keyring that stopped answering must not
// hold the program when it quits.
ExecutorPtr queue();

}  // namespace parlendo::KeychainSetup
