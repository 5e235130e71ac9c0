#pragma once

#include <string>

namespace parlendo {

// The script that gives the manage page its bridge, injected at document start in the main frame
// only: `window.pywebview.api.<name>(...args)` posts {id, name, args, nonce, load} to the
// "bridge" message handler and returns a promise that settles when the app calls
// `window.__prlResolve(id, reply, load)`. The promise only ever resolves, to the reply envelope.
// Each document numbers its calls from 1 and marks them with `load`, a random text of its own; a
// reply marked for another document (one made before a reload or in a closed window) settles
// nothing, and `__prlResolve` answers whether it settled a call.
// Reading `then` or a symbol on `api` gives undefined, so awaiting `api` itself settles at once.
//
// The web view does not say which frame sent a message, so the shim carries `nonce`, a random
// text made per window, inside its closure: a message without it did not come through the shim.
namespace BridgeShim {

std::string script(const std::string& nonce);
// A fresh random nonce.
std::string makeNonce();

}  // namespace BridgeShim
}  // namespace parlendo
