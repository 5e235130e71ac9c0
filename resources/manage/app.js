// The page's frame: the functions and globals the app calls or reads, sign-in gating, the rail of
// screens, the top bar, theme and fonts, error reports and the keys that work everywhere.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;
  const call = P.bridge.call;

  // ---- what the app reads and calls ----

  const initialTheme = document.documentElement.getAttribute('data-app-theme');
  root.state = {ready: false};
  root.appTheme = initialTheme === 'dark' || initialTheme === 'light'
    ? initialTheme
    : (root.matchMedia && root.matchMedia('(prefers-color-scheme: dark)').matches ? 'dark' : 'light');
  root.themeRevision = 0;
  root.applyAppTheme = function () {
    const mode = root.appTheme === 'dark' ? 'dark' : 'light';
    if (document.documentElement.getAttribute('data-app-theme') !== mode) {
      document.documentElement.setAttribute('data-app-theme', mode);
    }
    for (const f of themeListeners) f(mode);
  };
  root.dirty = function () {
    return P.ui.anyDirty();
  };
  root.authBridge = {
    login: function () {
      return root.pywebview.api.login();
    },
  };
  root.showAuth = function (kind, text) {
    leave();
    P.auth.show(kind, text);
  };
  root.authResult = function (result) {
    P.auth.handleLogin(result);
  };
  root.leaveApp = function (message) {
    leave();
    P.auth.show('login', typeof message === 'string' ? message : '');
  };
  root.driveDropped = function (files) {
    const list = Array.isArray(files) ? files.filter((f) => f && typeof f.path === 'string') : [];
    if (!root.state.ready) return;
    if (P.screens.projects && P.screens.projects.acceptFiles) P.screens.projects.acceptFiles(list);
  };
  root.driveUploadProgress = function (progress) {
    if (P.screens.projects && P.screens.projects.uploadProgress) {
      P.screens.projects.uploadProgress(progress || {});
    }
  };

  const themeListeners = [];
  root.applyAppTheme();

  // ---- error reports ----

  let reported = 0;
  function report(kind) {
    if (reported >= 60) return;  // the app keeps 50 a run; spare it a flood
    reported += 1;
    call('ui_error', [kind], {quiet: true});
  }
  root.addEventListener('error', () => report('error'));
  root.addEventListener('unhandledrejection', () => report('rejection'));

  // ---- fonts ----

  function bytesOf(base64) {
    const raw = atob(base64);
    const out = new Uint8Array(raw.length);
    for (let i = 0; i < raw.length; i++) out[i] = raw.charCodeAt(i);
    return out.buffer;
  }

  async function installFonts() {
    const result = await call('ui_fonts', [], {quiet: true});
    if (!result.ok || !Array.isArray(result.data)) return 0;
    let added = 0;
    for (const font of result.data) {
      if (!font || typeof font.family !== 'string' || typeof font.data !== 'string') continue;
      try {
        const face = new FontFace(font.family, bytesOf(font.data), {
          weight: typeof font.weight === 'string' ? font.weight : '400',
          style: typeof font.style === 'string' ? font.style : 'normal',
        });
        document.fonts.add(await face.load());
        added += 1;
      } catch (_) { /* one bad font costs only itself */ }
    }
    document.documentElement.classList.toggle('ui-fonts', added > 0);
    return added;
  }

  // ---- frame ----

  const SCREENS = [
    {id: 'wordbook', label: '단어장', icon: 'book'},
    {id: 'popups', label: '팝업 카드', icon: 'cards'},
    {id: 'projects', label: '프로젝트', icon: 'project'},
    {id: 'trash', label: '휴지통', icon: 'trash'},
    {id: 'detect', label: '감지', icon: 'radar'},
    {id: 'settings', label: '설정', icon: 'settings'},
    {id: 'account', label: '계정', icon: 'user'},
  ];

  const app = {
    session: null,
    current: null,
    viewStored: null,
    view: P.viewSettings.normalize(null),
    detect: null,
  };
  P.app = app;
  P.screens = P.screens || {};

  let frame = null;
  let screenHost = null;
  let railButtons = {};
  let banner = null;
  let detectPill = null;
  let userButton = null;
  let detectTimer = 0;

  function buildFrame() {
    railButtons = {};
    const rail = h('nav.rail', {attrs: {'aria-label': '화면'}},
                   h('div.rail-brand', {attrs: {'aria-hidden': 'true'}}, 'P'));
    for (const s of SCREENS) {
      const b = h('button.rail-item', {type: 'button', dataset: {screen: s.id}, title: s.label,
                                       attrs: {'aria-label': s.label}},
                  icon(s.icon), h('span.rail-label', null, s.label));
      b.addEventListener('click', () => go(s.id));
      railButtons[s.id] = b;
      rail.appendChild(b);
    }
    detectPill = h('button.detect-pill', {type: 'button', dataset: {state: 'unknown'},
                                          onClick: toggleDetect}, h('span.dot'),
                   h('span.detect-text', null, '감지 …'));
    userButton = h('button.user-button', {type: 'button', onClick: (e) => userMenu(e.currentTarget)},
                   icon('user'), h('span.user-name', null, ''));
    const top = h('header.topbar', null,
                  h('h1.app-title', null, 'PARLENDO'),
                  P.search.element(),
                  h('div.topbar-tools', null,
                    detectPill,
                    P.dom.iconButton('refresh', '새로 고침 (F5)', () => refresh(), {
                      className: 'refresh-button'}),
                    themeButton(),
                    userButton));
    banner = h('div.banner', {hidden: true, role: 'status'});
    screenHost = h('main.screen', {id: 'screen', tabIndex: -1});
    const busy = h('div.busy-bar', {hidden: true, role: 'progressbar',
                                    attrs: {'aria-label': '앱의 답을 기다리는 중'}}, h('div.busy-fill'));
    let busyTimer = 0;
    P.bridge.onBusy((n) => {
      clearTimeout(busyTimer);
      if (n > 0) busyTimer = setTimeout(() => { busy.hidden = false; }, 300);
      else busy.hidden = true;
    });
    frame = h('div.frame', {id: 'frame'}, rail,
              h('div.workspace', null, busy, top, banner, screenHost));
    return frame;
  }

  function themeButton() {
    const b = h('button.icon-button.theme-button', {type: 'button'});
    const paint = (mode) => {
      const next = mode === 'dark' ? '밝은 화면으로' : '어두운 화면으로';
      replace(b, icon(mode === 'dark' ? 'sun' : 'moon'));
      b.title = next;
      b.setAttribute('aria-label', next);
    };
    paint(root.appTheme);
    themeListeners.push(paint);
    b.addEventListener('click', () => setTheme(root.appTheme === 'dark' ? 'light' : 'dark'));
    return b;
  }

  function userMenu(anchor) {
    P.ui.menu(anchor, [
      {label: '계정', icon: 'user', onClick: () => go('account')},
      {label: '설정', icon: 'settings', onClick: () => go('settings')},
      '-',
      {label: '로그아웃', icon: 'logout', id: 'sign-out', onClick: () => P.auth.signOut()},
    ], '계정 메뉴');
  }

  function go(id, params) {
    const screen = P.screens[id];
    if (!screen || !root.state.ready) return;
    P.ui.closeMenu();
    if (app.current && app.current !== id && P.screens[app.current].unmount) {
      P.screens[app.current].unmount();
    }
    const same = app.current === id;
    app.current = id;
    for (const key of Object.keys(railButtons)) {
      railButtons[key].classList.toggle('active', key === id);
      if (key === id) railButtons[key].setAttribute('aria-current', 'page');
      else railButtons[key].removeAttribute('aria-current');
    }
    if (!same) {
      P.ui.clearToasts();
      replace(screenHost);
      screenHost.dataset.screen = id;
      screen.mount(screenHost, params || {});
    } else if (params && screen.show) {
      screen.show(params);
    }
  }

  function refresh() {
    if (!root.state.ready) return;
    refreshDetect();
    const screen = P.screens[app.current];
    if (screen && screen.refresh) screen.refresh();
  }

  // ---- sign-in state ----

  function enter(data) {
    app.session = {
      username: data && typeof data.username === 'string' ? data.username : '',
      email: data && typeof data.email === 'string' ? data.email : '',
    };
    P.auth.hide();
    if (!frame) document.getElementById('app').appendChild(buildFrame());
    frame.hidden = false;
    userButton.querySelector('.user-name').textContent = app.session.username || '계정';
    root.state.ready = true;
    app.current = null;
    go('wordbook');
    loadViewSettings();
    startDetect();
  }

  function leave() {
    root.state.ready = false;
    P.ui.closeAll();
    P.ui.clearToasts();
    stopDetect();
    if (app.current && P.screens[app.current] && P.screens[app.current].unmount) {
      P.screens[app.current].unmount();
    }
    for (const s of Object.values(P.screens)) {
      if (s.reset) s.reset();
    }
    app.current = null;
    app.session = null;
    if (frame) {
      frame.hidden = true;
      replace(screenHost);
    }
    P.search.reset();
  }

  // ---- view settings and theme ----

  async function loadViewSettings() {
    const result = await call('get_view_settings');
    if (!result.ok) return;
    app.viewStored = result.data;
    const before = JSON.stringify(app.view);
    app.view = P.viewSettings.normalize(result.data);
    if (JSON.stringify(app.view) !== before) applyView();
    // A chosen mode holds across launches: it is pinned again at each start.
    if (app.view.theme !== 'system') await pinTheme(app.view.theme, false);
  }

  function applyView() {
    document.documentElement.dataset.density = app.view.density;
    const screen = P.screens[app.current];
    if (screen && screen.viewChanged) screen.viewChanged(app.view);
  }

  // Stores new view settings; answers the bridge result.
  async function saveView(patch) {
    const next = Object.assign({}, app.view, patch);
    const result = await call('set_view_settings', [P.viewSettings.merge(app.viewStored, next)]);
    if (result.ok) {
      app.viewStored = result.data;
      const before = JSON.stringify(app.view);
      app.view = P.viewSettings.normalize(result.data);
      if (JSON.stringify(app.view) !== before) applyView();
    }
    return result;
  }

  let pinned = false;  // the app holds a mode this page chose (until it quits)

  async function pinTheme(mode, tell) {
    const result = await call('set_ui_theme', [mode]);
    if (result.ok && (result.data === 'light' || result.data === 'dark')) {
      pinned = true;
      if (root.appTheme !== result.data) {
        root.appTheme = result.data;
        root.themeRevision += 1;
        root.applyAppTheme();
      }
    } else if (!result.ok && tell) {
      P.ui.toast(P.errors.messageFor(result), {kind: result.code === 'UI_THEME_UNAVAILABLE' ? 'info' : 'error'});
    }
    return result;
  }

  // The mode chosen here, whoever chose it (the top bar's button or Settings → 테마).
  const themeChoiceListeners = new Set();
  function chooseTheme(mode) {
    if (app.view.theme === mode) return;
    app.view = Object.assign({}, app.view, {theme: mode});
    for (const f of themeChoiceListeners) f(mode);
  }
  function onThemeChoice(f) {
    themeChoiceListeners.add(f);
    return () => themeChoiceListeners.delete(f);
  }

  // mode: 'light', 'dark' or 'system'. Following the system again is only asked of the app when
  // a mode was pinned; the choice itself is kept for the next launch either way.
  async function setTheme(mode) {
    const result = mode === 'system' && !pinned ? {ok: true, data: root.appTheme}
      : await pinTheme(mode, true);
    if (result.ok || mode === 'system') chooseTheme(mode);
    if (root.state.ready && (result.ok || mode === 'system')) {
      const saved = await saveView({theme: mode});
      if (!saved.ok) {
        // The mode holds for this run; only keeping it for the next launch failed.
        chooseTheme(mode);
        P.ui.failed(saved, {doing: '테마는 이번 실행에만 바뀌었어요.',
                            REQUEST_FAILED: '테마는 이번 실행에만 바뀌었어요. 다음 실행을 위해 저장하지 못했어요.'});
      }
    }
    return result;
  }

  // ---- detection ----

  function startDetect() {
    stopDetect();
    refreshDetect();
  }

  function stopDetect() {
    clearTimeout(detectTimer);
    detectTimer = 0;
  }

  async function refreshDetect() {
    clearTimeout(detectTimer);
    const result = await call('detect_status', [], {quiet: true});
    if (!root.state.ready) return;
    if (result.ok && result.data && typeof result.data === 'object') showDetect(result.data);
    detectTimer = setTimeout(refreshDetect, document.hidden ? 15000 : 4000);
  }

  function detectSummary(d) {
    if (!d) return {state: 'unknown', text: '감지 …', detail: ''};
    if (d.watching === true) return {state: 'on', text: '감지 켜짐', detail: '단어를 고르고 Alt+Ctrl을 누르면 뜻이 떠요.'};
    if (d.enabled !== true) return {state: 'off', text: '감지 꺼짐', detail: '누르면 감지를 켜요.'};
    if (d.healthy === false) return {state: 'warn', text: '감지 멈춤', detail: '워커 중단 — 앱을 다시 켜주세요'};
    if (d.ready === false) {
      return {state: 'warn', text: '감지 대기', detail: '접근성 권한이 필요해요. 권한 창의 안내를 따라 켜 주세요.'};
    }
    return {state: 'warn', text: '감지 대기', detail: ''};
  }

  function showDetect(d) {
    app.detect = d;
    const s = detectSummary(d);
    detectPill.dataset.state = s.state;
    detectPill.querySelector('.detect-text').textContent = s.text;
    detectPill.title = s.detail;
    detectPill.setAttribute('aria-label', s.text + (s.detail ? '. ' + s.detail : ''));
    const notice = d.server_notice && typeof d.server_notice === 'object' ? d.server_notice : null;
    if (notice && typeof notice.text === 'string' && notice.text) {
      replace(banner, icon('alert'), h('span.banner-text', {title: notice.text}, notice.text),
              notice.update_required === true
                ? h('strong.banner-extra', null, ' 새 버전으로 업데이트해 주세요.') : null);
      banner.hidden = false;
      banner.dataset.kind = notice.update_required === true ? 'update' : 'notice';
    } else {
      banner.hidden = true;
    }
    if (P.screens.detect && P.screens.detect.statusChanged) P.screens.detect.statusChanged(d);
  }

  async function toggleDetect() {
    const on = app.detect && app.detect.enabled === true;
    return setDetect(!on);
  }

  async function setDetect(on) {
    const result = await call(on ? 'detect_start' : 'detect_stop');
    if (!result.ok) {
      P.ui.failed(result);
      return result;
    }
    if (result.data && typeof result.data === 'object') {
      const merged = Object.assign({}, result.data);
      if (app.detect && app.detect.server_notice) merged.server_notice = app.detect.server_notice;
      showDetect(merged);
      if (on && result.data.enabled !== true) {
        P.ui.toast(detectSummary(merged).detail || '감지를 켤 수 없어요.', {kind: 'error'});
      }
    }
    return result;
  }

  // ---- keys that work everywhere ----

  root.addEventListener('keydown', (e) => {
    if (e.key === 'F5' || ((e.ctrlKey || e.metaKey) && (e.key === 'r' || e.key === 'R'))) {
      e.preventDefault();
      if (!P.ui.topDialog()) refresh();
      return;
    }
    if (!root.state.ready || P.ui.topDialog()) return;
    if ((e.ctrlKey || e.metaKey) && !e.altKey && (e.key === 'f' || e.key === 'F' || e.key === 'k' ||
                                                 e.key === 'K')) {
      e.preventDefault();
      P.search.focus();
    }
  });

  // Files dragged over the page are never opened as a page.
  for (const type of ['dragover', 'drop']) {
    root.addEventListener(type, (e) => {
      if (e.dataTransfer && Array.from(e.dataTransfer.types || []).includes('Files')) {
        e.preventDefault();
      }
    });
  }

  // ---- start ----

  P.bridge.hooks.onStale = (name, result) => {
    P.ui.toast(P.errors.messageFor(result), {kind: 'info'});
    if (root.state.ready) setTimeout(refresh, 50);
  };
  P.bridge.hooks.onSignInNeeded = () => {
    if (root.state.ready) root.leaveApp(P.errors.CODES.AUTH_REAUTH_REQUIRED);
  };

  // Runs `f` once the word book has shown its words (or after a few seconds, or at once when
  // nobody is signed in).
  function whenDrawn(f) {
    const until = performance.now() + 5000;
    const tick = () => {
      const drawn = !root.state.ready || (P.wb && P.wb.state.wordsPaint !== null) ||
        performance.now() > until || app.current !== 'wordbook';
      if (drawn) f();
      else setTimeout(tick, 100);
    };
    tick();
  }

  let started = false;
  root.addEventListener('pywebviewready', () => {
    if (started) return;
    started = true;
    app.readyAt = performance.now();
    // The app's mode, in case the page came up in another one.
    call('get_ui_theme', [], {quiet: true}).then((result) => {
      if (result.ok && (result.data === 'light' || result.data === 'dark') &&
          result.data !== root.appTheme) {
        root.appTheme = result.data;
        root.themeRevision += 1;
        root.applyAppTheme();
      }
    });
    // The fonts' data is large: it comes once the first screen is drawn, and the system's fonts
    // serve until then.
    P.auth.check().then(() => whenDrawn(installFonts));
  });

  Object.assign(app, {go, refresh, enter, leave, saveView, setTheme, setDetect, refreshDetect,
                      detectSummary, installFonts, SCREENS,
                      onTheme: (f) => themeListeners.push(f), onThemeChoice});
})(window);
