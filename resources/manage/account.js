// The account: who is signed in, signing out, resetting this computer's sign-in and deleting the
// account.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;
  const call = P.bridge.call;

  let host = null;

  function paint() {
    if (!host) return;
    const s = P.app.session || {};
    replace(host, h('div.page.account', null,
                    h('header.page-head', null, h('h2', null, '계정')),
                    h('section.settings-section.profile', null,
                      h('div.avatar', {attrs: {'aria-hidden': 'true'}},
                        (s.username || '?').slice(0, 1).toUpperCase()),
                      h('div', null, h('p.profile-name', null, s.username || '(이름 없음)'),
                        s.email ? h('p.muted', null, s.email) : null),
                      h('button', {type: 'button', dataset: {act: 'sign-out'}, onClick: () => P.auth.signOut()},
                        icon('logout'), ' 로그아웃')),
                    h('section.settings-section', null,
                      h('h3', null, '이 컴퓨터의 로그인 초기화'),
                      h('p.muted', null, '로그아웃하고 이 컴퓨터에 저장된 로그인 정보와 AI 키를 지워요. ' +
                        '서버의 단어장과 계정은 그대로 있어요.'),
                      h('button', {type: 'button', dataset: {act: 'reset'}, onClick: resetLocal},
                        icon('restore'), ' 초기화')),
                    h('section.settings-section.danger-zone', null,
                      h('h3', null, '계정 삭제'),
                      h('p.muted', null, '계정과 서버의 단어장, 프로젝트가 모두 지워지고 되살릴 수 없어요. ' +
                        '이 컴퓨터에 남은 로그인 정보와 설정도 정리해요.'),
                      h('button.danger', {type: 'button', dataset: {act: 'delete'}, onClick: deleteAccount},
                        icon('trash'), ' 계정 삭제…'))));
  }

  async function resetLocal() {
    const sure = await P.ui.confirm({
      title: '이 컴퓨터의 로그인을 초기화할까요?',
      message: '로그아웃되고, 다시 쓰려면 로그인해야 해요. 서버의 데이터는 지우지 않아요.',
      confirmLabel: '초기화', danger: true});
    if (!sure) return;
    const result = await call('reset_local_state', [], {quiet: true});
    if (!result.ok) {
      P.ui.failed(result);
      return;
    }
    root.leaveApp(P.auth.wipeSummary(result.data));
  }

  function deleteAccount() {
    const password = h('input.text-input', {type: 'password', attrs: {'aria-label': '비밀번호',
                                                                      autocomplete: 'current-password'}});
    const understood = h('input', {type: 'checkbox'});
    P.ui.dialog({
      title: '계정을 삭제할까요?', className: 'danger-dialog',
      body: [h('p', null, '계정과 서버에 저장된 단어장, 팝업 카드, 프로젝트가 모두 지워져요. 되살릴 수 없어요.'),
             h('label.field', null, h('span.field-label', null, '확인을 위해 비밀번호를 입력해 주세요'), password),
             h('label.check-line', null, understood, h('span', null, '되살릴 수 없다는 것을 이해했어요'))],
      dirty: () => password.value !== '',
      actions: [
        {label: '취소'},
        {label: '계정 삭제', danger: true, onClick: async (dlg) => {
          if (!understood.checked) {
            dlg.setError('되살릴 수 없다는 것을 확인해 주세요.');
            return false;
          }
          if (!password.value) {
            dlg.setError('비밀번호를 입력해 주세요.');
            password.focus();
            return false;
          }
          dlg.setBusy(true);
          const result = await call('delete_account', [password.value], {quiet: true});
          dlg.setBusy(false);
          if (!result.ok) {
            dlg.setError(P.errors.messageFor(result));
            if (result.code === 'ACCOUNT_DELETE_WRONG_PASSWORD') {
              password.select();
              password.focus();
            }
            if (result.code === 'AUTH_REAUTH_REQUIRED') {
              dlg.close();
              root.leaveApp(P.errors.CODES.AUTH_REAUTH_REQUIRED);
            }
            return false;
          }
          password.value = '';
          dlg.close();
          root.leaveApp('계정을 삭제했어요. ' + P.auth.wipeSummary(result.data));
          return true;
        }},
      ],
      initialFocus: password,
    });
  }

  P.screens = P.screens || {};
  P.screens.account = {
    mount(el) {
      host = el;
      paint();
    },
    unmount() {
      host = null;
    },
    refresh() {
      paint();
    },
  };
})(typeof window !== 'undefined' ? window : globalThis);
