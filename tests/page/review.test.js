'use strict';
// A known or not-known mark whose save the app could not confirm is asked about again.
const test = require('node:test');
const assert = require('node:assert/strict');

// The page's bridge over a scripted app: the replies are given in order.
const listeners = {};
globalThis.addEventListener = (type, f) => { listeners[type] = f; };
let replies = [];
let calls = [];
globalThis.pywebview = {api: new Proxy({}, {get: (t, name) => (...args) => {
  calls.push([name, args]);
  return Promise.resolve(replies.shift());
}})};
const P = require('./load').load('dom.js', 'text.js', 'errors.js', 'bridge.js', 'wb-review.js');
listeners.pywebviewready();

const toasts = [];
const reloaded = [];
globalThis.state = {ready: true};
P.ui = {toast: (text, o) => toasts.push([text, (o || {}).kind]), failed: (r) => toasts.push([r.code, 'error'])};
P.wb = {loadReviews: (ids) => reloaded.push(...ids)};
P.wbReview.RECHECKS = [0.001, 0.001, 0.001];

// The app's next replies, in order; answers the calls they will get.
function script(list) {
  replies = list.slice();
  calls = [];
  return calls;
}

const unknown = {ok: false, msg: 'SAVE_NOT_CONFIRMED', error_class: 'save',
                 save: {operation_id: 'op-1', state: 'commit_unknown',
                        error_code: 'transport_or_response_unknown'}};

test('an unconfirmed save is confirmed by asking again', async () => {
  toasts.length = 0;
  reloaded.length = 0;
  const calls = script([unknown,
                        {ok: true, data: {operation_id: 'op-1', state: 'commit_unknown'}},
                        {ok: true, data: {operation_id: 'op-1', state: 'confirmed'}}]);
  const done = new Promise((resolve) => P.wbReview.save('w1', true, resolve));
  assert.equal(await done, 'confirmed');
  assert.deepEqual(calls.map((c) => c[0]), ['save_review', 'save_status', 'save_status']);
  assert.deepEqual(calls[1][1], ['op-1']);
  assert.deepEqual(reloaded, ['w1']);
});

test('a save the server refused for good says why; one never settled says so once', async () => {
  toasts.length = 0;
  script([unknown, {ok: true, data: {state: 'failed_terminal', error_code: 'operation_conflict'}}]);
  assert.equal(await new Promise((resolve) => P.wbReview.save('w2', false, resolve)), 'failed');
  assert.match(toasts[0][0], /다른 내용으로 저장돼/);

  toasts.length = 0;
  const pending = {ok: true, data: {state: 'commit_unknown'}};
  const calls = script([unknown, pending, pending, pending, pending]);
  assert.equal(await new Promise((resolve) => P.wbReview.save('w3', true, resolve)), 'failed');
  assert.equal(calls.filter((c) => c[0] === 'save_status').length, 3);
  assert.equal(toasts.length, 1);
  assert.match(toasts[0][0], /확인하지 못했어요/);
});

test('a save refused at once, or needing sign-in, is not asked about again', async () => {
  toasts.length = 0;
  let calls = script([{ok: false, msg: 'SAVE_NOT_CONFIRMED', error_class: 'save',
                       save: {state: 'failed_terminal', error_code: 'invalid_review_payload'}}]);
  assert.equal(await P.wbReview.save('', true), 'failed');
  assert.equal(calls.length, 1);
  assert.equal(toasts.length, 1);
  toasts.length = 0;
  calls = script([{ok: false, msg: 'AUTH_REAUTH_REQUIRED', error_class: 'auth',
                   save: {state: 'failed_terminal', error_code: 'request_authentication'}}]);
  assert.equal(await P.wbReview.save('w', true), 'failed');
  assert.equal(toasts.length, 0, 'the sign-in screen speaks for it');
});
