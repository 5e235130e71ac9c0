// Signing in: the checking state, sign-in and sign-up forms, the confirmation mail, the user name
// of a new account, the clean-up offer after a deleted account, and signing out.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;
  const call = P.bridge.call;

  let host = null;
  let lastEmail = '';

  function ensureHost() {
    const boot = document.getElementById('boot');
    if (boot) boot.remove();
    if (!host) {
      host = h('div.auth', {id: 'auth'});
      document.getElementById('app').appendChild(host);
    }
    host.hidden = false;
    return host;
  }

  function hide() {
    if (host) {
      host.hidden = true;
      replace(host);
    }
  }

  function card(title, ...content) {
    return h('section.auth-card', {attrs: {'aria-labelledby': 'auth-title'}},
             h('div.auth-brand', null, h('span.auth-logo', {attrs: {'aria-hidden': 'true'}}, 'P'),
               h('span', null, 'PARLENDO')),
             h('h2', {id: 'auth-title'}, title), ...content);
  }

  function message(text, kind) {
    return h('p.auth-message' + (kind ? '.' + kind : ''), {
      role: kind === 'error' ? 'alert' : 'status', hidden: !text}, text || '');
  }

  function field(label, input, hint) {
    return h('label.field', null, h('span.field-label', null, label), input,
             hint ? h('span.field-hint', null, hint) : null);
  }

  function input(type, name, value, extra) {
    return h('input.text-input', Object.assign({type: type, name: name, value: value || '',
                                                attrs: {spellcheck: 'false'}}, extra || {}));
  }

  // A form whose submit runs `action(values, setBusy, showError)`.
  function form(fields, submitLabel, action) {
    const error = message('', 'error');
    const submit = h('button.primary.wide', {type: 'submit'}, submitLabel);
    const f = h('form.auth-form', {attrs: {novalidate: true}}, fields, error, submit);
    const setBusy = (on) => {
      submit.disabled = on;
      f.classList.toggle('busy', on);
      submit.textContent = on ? '잠시만요…' : submitLabel;
    };
    const showError = (text) => {
      error.textContent = text || '';
      error.hidden = !text;
    };
    f.addEventListener('submit', async (e) => {
      e.preventDefault();
      if (submit.disabled) return;
      showError('');
      const values = {};
      for (const el of f.querySelectorAll('input')) values[el.name] = el.value;
      await action(values, setBusy, showError);
    });
    return {element: f, showError};
  }

  // ---- the screens ----

  function show(kind, text, extra) {
    const el = ensureHost();
    const o = extra || {};
    if (kind === 'checking') {
      replace(el, card('PARLENDO', h('div.auth-checking', null, P.ui.spinner(text || '로그인 확인 중…'))));
    } else if (kind === 'signup') {
      replace(el, signUpCard(text));
    } else if (kind === 'confirm') {
      replace(el, confirmCard(o.email || lastEmail, text));
    } else if (kind === 'profile') {
      replace(el, profileCard(o.suggested, o.rejected, text));
    } else {
      replace(el, signInCard(text, o));
    }
    const first = el.querySelector('input') || el.querySelector('button');
    if (first && kind !== 'checking') first.focus();
  }

  function signInCard(text, o) {
    const email = input('email', 'email', lastEmail, {attrs: {autocomplete: 'username',
                                                              spellcheck: 'false'}});
    const password = input('password', 'password', '', {attrs: {autocomplete: 'current-password'}});
    const f = form([field('이메일', email), field('비밀번호', password)], '로그인', signIn);
    const parts = [message(text, o.kind || 'info'), o.offline ? offlineNote() : null, f.element,
                   h('p.auth-switch', null, '처음이신가요? ',
                     h('button.link', {type: 'button', onClick: () => show('signup')}, '회원가입')),
                   o.cleanup ? cleanupOffer() : null];
    return card('로그인', ...parts);
  }

  function offlineNote() {
    return h('div.auth-offline', null,
             h('button', {type: 'button', onClick: check}, icon('refresh'), ' 다시 연결해 보기'));
  }

  function signUpCard(text) {
    const email = input('email', 'email', lastEmail, {attrs: {autocomplete: 'username'}});
    const password = input('password', 'password', '', {attrs: {autocomplete: 'new-password'}});
    const name = input('text', 'username', '', {attrs: {autocomplete: 'nickname', maxlength: 40}});
    const f = form([field('이메일', email), field('비밀번호', password,
                                                  '다른 곳에서 쓰지 않는 긴 비밀번호로 해 주세요.'),
                    field('사용자 이름', name, '비워 두면 메일 주소의 앞부분을 써요.')],
                   '가입하기', signUp);
    return card('회원가입', message(text, 'info'), f.element,
                h('p.auth-switch', null, '이미 계정이 있나요? ',
                  h('button.link', {type: 'button', onClick: () => show('login')}, '로그인')));
  }

  function confirmCard(email, text) {
    const status = message(text || '', 'info');
    const resend = h('button', {type: 'button'}, '인증 메일 다시 보내기');
    resend.addEventListener('click', async () => {
      resend.disabled = true;
      const result = await call('resend_confirmation', [email], {quiet: true});
      resend.disabled = false;
      status.hidden = false;
      status.className = 'auth-message ' + (result.ok ? 'success' : 'error');
      status.textContent = result.ok ? '인증 메일을 다시 보냈어요. 받은 메일함을 확인해 주세요.'
        : P.errors.messageFor(result);
    });
    return card('메일을 확인해 주세요',
                h('p', null, email ? email + ' 로 인증 메일을 보냈어요.' : '인증 메일을 보냈어요.'),
                h('p.muted', null,
                  '메일(스팸함 포함)의 [이메일 인증하기] 버튼을 누른 뒤 로그인해 주세요.'),
                status,
                h('div.auth-actions', null, resend,
                  h('button.primary', {type: 'button', onClick: () => show('login')}, '로그인하기')));
  }

  function profileCard(suggested, rejected, text) {
    const name = input('text', 'username', typeof suggested === 'string' ? suggested : '',
                       {attrs: {maxlength: 40}});
    const f = form([field('사용자 이름', name)], '이 이름으로 시작하기', setUsername);
    const note = rejected
      ? message('‘' + (suggested || '') + '’ 은(는) 쓸 수 없는 이름이에요. 다른 이름을 골라 주세요.', 'error')
      : message(text || '단어장에서 쓸 이름을 정해 주세요.', 'info');
    return card('사용자 이름 정하기', note, f.element);
  }

  function cleanupOffer() {
    const box = h('div.auth-cleanup', {role: 'region', attrs: {'aria-label': '계정 정리'}},
                  h('p', null, '삭제한 계정의 정보가 이 컴퓨터에 남아 있는 것 같아요. ' +
                    '이 컴퓨터에서 그 계정의 로그인 정보와 설정을 정리할까요?'));
    const go = h('button.danger', {type: 'button'}, '이 컴퓨터 정리하기');
    go.addEventListener('click', async () => {
      const sure = await P.ui.confirm({
        title: '이 컴퓨터의 계정 정보를 정리할까요?',
        message: '삭제된 계정의 로그인 정보, AI 키, 프로젝트 설정을 이 컴퓨터에서 지워요. 서버의 데이터에는 손대지 않아요.',
        confirmLabel: '정리하기', danger: true});
      if (!sure) return;
      go.disabled = true;
      const result = await call('forget_deleted_account', [], {quiet: true});
      go.disabled = false;
      if (result.ok) {
        box.remove();
        P.ui.toast(wipeSummary(result.data), {kind: 'success', seconds: 8});
      } else {
        P.ui.failed(result);
      }
    });
    box.appendChild(go);
    return box;
  }

  // What a wipe or reset changed, in one sentence.
  function wipeSummary(data) {
    const d = data && typeof data === 'object' ? data : {};
    const parts = [d.deleted === true ? '이 컴퓨터에서 계정 정보를 정리했어요.'
      : '이 컴퓨터의 로그인 상태를 초기화했어요.'];
    if (d.credentials_absent_verified === false) {
      parts.push('저장된 로그인 정보를 지웠는지는 확인하지 못했어요.');
    }
    if (d.optional_key_removed === false) parts.push('AI 키는 지우지 못했어요.');
    if (d.local_files_removed === false) parts.push('일부 설정 파일은 지우지 못했어요.');
    return parts.join(' ');
  }

  // ---- flows ----

  async function check() {
    show('checking', '로그인 확인 중…');
    const result = await call('login', [], {quiet: true});
    route(result);
  }

  // The reply of the app's own login call (raw envelope), or {ok: false}.
  function handleLogin(reply) {
    route(P.bridge.normalize('login', reply));
  }

  // Goes where a login, sign-in or user-name answer leads.
  function route(result) {
    if (!result.ok) {
      if (result.stale) {
        check();
        return;
      }
      show('login', P.errors.messageFor(result, {
        doing: '로그인 상태를 확인하지 못했어요.',
        REQUEST_FAILED: '로그인 상태를 확인하지 못했어요. 잠시 후 다시 시도해 주세요.',
        NO_REPLY: '로그인 상태를 확인하지 못했어요. 다시 시도해 주세요.'}),
      {kind: 'error', offline: true});
      return;
    }
    const d = result.data && typeof result.data === 'object' ? result.data : {};
    if (typeof d.username === 'string') {
      P.app.enter(d);
    } else if (d.need_profile === true) {
      show('profile', '', {suggested: d.suggested_username, rejected: d.username_rejected === true});
    } else if (d.need_confirm === true) {
      show('confirm', '');
    } else if (d.need_login === true) {
      const offline = d.auth_state === 'offline_or_unavailable';
      const text = offline ? '서버에 연결할 수 없어요. 인터넷 연결을 확인해 주세요.'
        : d.auth_state === 'reauth_required' ? '로그인이 만료됐어요. 다시 로그인해 주세요.' : '';
      show('login', text, {kind: offline ? 'error' : 'info', offline: offline,
                           cleanup: d.account_cleanup_offer === true});
    } else {
      show('login', P.errors.generic('login'), {kind: 'error', offline: true});
    }
  }

  function looksLikeEmail(text) {
    return /^[^\s@]+@[^\s@]+$/.test(text.trim());
  }

  async function signIn(values, setBusy, showError) {
    lastEmail = values.email.trim();
    if (!looksLikeEmail(values.email)) return showError(P.errors.CODES.AUTH_SIGNUP_EMAIL_INVALID);
    if (!values.password) return showError('비밀번호를 입력해 주세요.');
    setBusy(true);
    const result = await call('sign_in', [lastEmail, values.password], {quiet: true});
    setBusy(false);
    if (!result.ok) {
      if (result.code === 'AUTH_EMAIL_NOT_CONFIRMED') {
        show('confirm', P.errors.messageFor(result), {email: lastEmail});
        return;
      }
      showError(P.errors.messageFor(result, {
        doing: '로그인하지 못했어요.',
        REQUEST_FAILED: '로그인하지 못했어요. 잠시 후 다시 시도해 주세요.'}));
      return;
    }
    route(result);
  }

  async function signUp(values, setBusy, showError) {
    lastEmail = values.email.trim();
    if (!looksLikeEmail(values.email)) return showError(P.errors.CODES.AUTH_SIGNUP_EMAIL_INVALID);
    if (!values.password) return showError('비밀번호를 입력해 주세요.');
    if (P.text.charCount(values.username.trim()) > 40) {
      return showError('사용자 이름은 40자까지 쓸 수 있어요.');
    }
    setBusy(true);
    const result = await call('sign_up', [lastEmail, values.password, values.username],
                              {quiet: true});
    setBusy(false);
    if (!result.ok) {
      showError(P.errors.messageFor(result, {
        doing: '회원가입하지 못했어요.',
        REQUEST_FAILED: '회원가입하지 못했어요. 잠시 후 다시 시도해 주세요.'}));
      return;
    }
    route(result);
  }

  async function setUsername(values, setBusy, showError) {
    const name = values.username.trim();
    if (!name) return showError('사용자 이름을 입력해 주세요.');
    if (P.text.charCount(name) > 40) return showError('사용자 이름은 40자까지 쓸 수 있어요.');
    setBusy(true);
    const result = await call('set_username', [name], {quiet: true});
    setBusy(false);
    if (!result.ok) {
      showError(P.errors.messageFor(result, {
        REQUEST_FAILED: '이름을 저장하지 못했어요. 다른 이름으로 해 보거나 잠시 후 다시 시도해 주세요.'}));
      return;
    }
    route(result);
  }

  async function signOut() {
    const dirty = P.ui.anyDirty();
    const sure = await P.ui.confirm({
      title: '로그아웃할까요?',
      message: dirty ? '저장하지 않은 편집이 있어요. 로그아웃하면 사라져요.'
        : '이 컴퓨터에 저장된 로그인 정보와 AI 키를 지우고, 감지를 꺼요.',
      confirmLabel: '로그아웃', danger: dirty});
    if (!sure) return;
    const result = await call('sign_out', [], {quiet: true});
    const d = result.ok && result.data && typeof result.data === 'object' ? result.data : {};
    const text = d.credentials_absent_verified === false
      ? '로그아웃했어요. 다만 저장된 로그인 정보를 지웠는지 확인하지 못했어요. 앱을 다시 켠 뒤 확인해 주세요.'
      : '로그아웃했어요.';
    root.leaveApp(result.ok ? text : P.errors.messageFor(result));
  }

  P.auth = {show, hide, check, handleLogin, route, signOut, wipeSummary};
})(typeof window !== 'undefined' ? window : globalThis);
