#include "manage/BridgeShim.h"

#include "foundation/Uuid.h"
#include "manage/MacOverlay.h"

namespace parlendo::BridgeShim {

namespace {

constexpr const char* shimHead = R"JS((function () {
'use strict';
var handler = window.webkit && window.webkit.messageHandlers &&
    window.webkit.messageHandlers.bridge;
if (!handler) return;
var send = handler.postMessage.bind(handler);
var nonce = )JS";

constexpr const char* shimTail = R"JS(;
var load = (function () {
  var bytes = new Uint8Array(16);
  if (window.crypto && window.crypto.getRandomValues) {
    window.crypto.getRandomValues(bytes);
  } else {
    for (var i = 0; i < bytes.length; i += 1) bytes[i] = Math.floor(Math.random() * 256);
  }
  return Array.prototype.map.call(bytes, function (b) {
    return (b + 256).toString(16).slice(1);
  }).join('');
})();
var pending = new Map();
var seq = 0;
Object.defineProperty(window, '__prlResolve', {
  value: function (id, payload, from) {
    if (from !== load) return false;
    var resolve = pending.get(id);
    if (!resolve) return false;
    pending.delete(id);
    resolve(payload);
    return true;
  },
  writable: false, configurable: false, enumerable: false
});
var api = new Proxy({}, {
  get: function (target, name) {
    if (typeof name !== 'string' || name === 'then') return undefined;
    return function () {
      var args = Array.prototype.slice.call(arguments);
      return new Promise(function (resolve) {
        seq += 1;
        var id = seq;
        pending.set(id, resolve);
        send({id: id, name: name, args: args, nonce: nonce, load: load});
      });
    };
  }
});
window.pywebview = {api: api};
})();)JS";

}  // namespace

std::string script(const std::string& nonce) {
    return std::string(shimHead) + MacOverlay::literal(nonce) + shimTail;
}

std::string makeNonce() {
    return uuid::makeLower() + uuid::makeLower();
}

}  // namespace parlendo::BridgeShim
