// Calls into the app. Every call goes through window.pywebview.api.NAME(...) once the app has
// announced itself with "pywebviewready", and every reply is read by its envelope into one shape:
//   {ok: true, data}
//   {ok: false, code, errorClass, save, scope, stale, drive, draft, reply}
// A call never throws and never rejects.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});

  function isObject(v) {
    return v !== null && typeof v === 'object' && !Array.isArray(v);
  }

  function failure(fields, reply) {
    return Object.assign({ok: false, code: '', errorClass: '', save: null, scope: null,
                          stale: false, drive: false, draft: false, reply: reply}, fields);
  }

  // Reads one reply of the call `name` into the shape above.
  function normalize(name, reply) {
    // drive_math_lib answers the bare script text; a bare value is data.
    if (!isObject(reply)) {
      if (typeof reply === 'string' || typeof reply === 'number' || typeof reply === 'boolean' ||
          Array.isArray(reply)) {
        return {ok: true, data: reply};
      }
      return failure({code: 'NO_REPLY'}, reply);
    }
    if (reply.ok === true) {
      const data = Object.prototype.hasOwnProperty.call(reply, 'data') ? reply.data : null;
      // Project operations answer their failures inside a successful envelope.
      if (typeof name === 'string' && name.startsWith('drive_') && isObject(data) &&
          typeof data.error === 'string') {
        return failure({code: data.error, drive: true,
                        scope: typeof data.scope === 'string' ? data.scope : null}, reply);
      }
      // A custom-popup draft reports its failures inside its data.
      if (name === 'propose_custom' && isObject(data) &&
          (data.status === 'error' || data.status === 'no_key' || data.status === 'no_call')) {
        const code = data.status === 'error' && typeof data.reason === 'string'
          ? data.reason : data.status;
        return failure({code: code, draft: true}, reply);
      }
      return {ok: true, data: data};
    }
    if (reply.ok === false) {
      const errorClass = typeof reply.error_class === 'string' ? reply.error_class : '';
      return failure({
        code: typeof reply.msg === 'string' ? reply.msg : '',
        errorClass: errorClass,
        save: isObject(reply.save) ? reply.save : null,
        // What went wrong with a request: "rejected" (with the server's status), "timeout",
        // "unavailable", "quota", "bad_shape"; '' when the app did not say.
        failure: typeof reply.failure === 'string' ? reply.failure : '',
        status: typeof reply.status === 'number' ? reply.status : 0,
        stale: reply.stale === true || errorClass === 'stale' ||
          reply.msg === 'AUTH_STALE_COMPLETION',
      }, reply);
    }
    return failure({code: 'NO_REPLY'}, reply);
  }

  function needsSignIn(result) {
    return !result.ok && (result.code === 'AUTH_REAUTH_REQUIRED' || result.errorClass === 'auth' ||
                          (result.drive && result.code === 'auth_required'));
  }

  // ---- the live bridge (browser only) ----

  let readyResolve;
  const readyPromise = new Promise((resolve) => { readyResolve = resolve; });
  let isReady = false;
  let inFlight = 0;
  let calls = 0;
  const busyListeners = [];
  const hooks = {onStale: null, onSignInNeeded: null};

  if (typeof root.addEventListener === 'function') {
    root.addEventListener('pywebviewready', () => {
      isReady = true;
      readyResolve();
    });
  }

  function setBusy(delta) {
    inFlight += delta;
    for (const f of busyListeners) {
      try {
        f(inFlight);
      } catch (_) { /* a listener's fault is its own */ }
    }
  }

  // opts.quiet: do not run the stale and sign-in hooks for this call.
  async function call(name, args, opts) {
    const list = Array.isArray(args) ? args : [];
    await readyPromise;
    const api = root.pywebview && root.pywebview.api;
    if (!api) return failure({code: 'NO_BRIDGE'}, null);
    calls += 1;
    setBusy(1);
    let reply;
    try {
      reply = await api[name](...list);
    } catch (_) {
      reply = undefined;
    } finally {
      setBusy(-1);
    }
    const result = normalize(name, reply);
    if (!result.ok && !(opts && opts.quiet)) {
      if (result.stale && hooks.onStale) hooks.onStale(name, result);
      else if (needsSignIn(result) && hooks.onSignInNeeded) hooks.onSignInNeeded(name, result);
    }
    return result;
  }

  P.bridge = {
    normalize,
    needsSignIn,
    call,
    hooks,
    whenReady: () => readyPromise,
    get ready() { return isReady; },
    get inFlight() { return inFlight; },
    get calls() { return calls; },
    onBusy(f) { busyListeners.push(f); },
  };
})(typeof window !== 'undefined' ? window : globalThis);
