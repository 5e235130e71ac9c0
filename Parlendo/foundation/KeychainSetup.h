#pragma once

#include "foundation/Executor.h"

namespace parlendo::KeychainSetup {

// Chooses, once per launch, where this process keeps its keychain items: the Secret Service when
// one answers within `timeoutSeconds` with an unlocked default collection (what the file store
// holds from launches without one moves there), else the 0600 file under the state root (logged
// once under "keychain"). Blocks the calling thread while it asks; each item moved is given up on
// after the Secret Service keychain's call time-out (it then stays in the file).
void install(double timeoutSeconds = 3.0);

// The same choice, made on the keychain queue ahead of all keychain work asked for after it, so
// that nothing reads an item before the store is chosen; returns at once. Called once at
// start-up, before any item is asked for.
void start(double timeoutSeconds = 3.0);

// The serial queue "parlendo.keychain" on which keychain work runs away from the main thread. It
// lives as long as the process and is never joined: a keyring that stopped answering must not
// hold the program when it quits.
ExecutorPtr queue();

}  // namespace parlendo::KeychainSetup
