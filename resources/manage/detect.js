// Detection: whether captures are taken, what stands in the way, the server's notice and the count
// of captures turned away.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;

  const REJECTIONS = [
    ['capture', 'CAPTURE_CAPACITY', '앞의 캡처가 끝나지 않아 넘긴 횟수'],
    ['capture', 'COPY_IDENTITY_OR_DEADLINE', '고른 글을 제때 읽지 못한 횟수'],
    ['lookup', 'LOOKUP_CAPACITY', '뜻 찾기가 밀려 넘긴 횟수'],
    ['save', 'SAVE_CAPACITY', '저장이 밀려 넘긴 횟수'],
    ['save', 'SAVE_ADMISSION_CLOSED_OR_FULL', '저장을 받을 수 없어 넘긴 횟수'],
    ['display', 'POPUP_CAPACITY', '팝업이 가득 차 넘긴 횟수'],
    ['display', 'GUI_CAPACITY', '화면이 밀려 넘긴 횟수'],
  ];

  let host = null;

  // [{label, count}] of the turned-away captures in a status, or [] when it has none.
  function rejections(d) {
    const health = d && d.health && typeof d.health === 'object' ? d.health : null;
    const groups = health && health.rejections && typeof health.rejections === 'object'
      ? health.rejections : null;
    if (!groups) return [];
    const out = [];
    for (const [group, key, label] of REJECTIONS) {
      const g = groups[group];
      const n = g && typeof g[key] === 'number' ? g[key] : 0;
      out.push({key: key, label: label, count: n});
    }
    return out;
  }

  function paint() {
    if (!host) return;
    const d = P.app.detect;
    const s = P.app.detectSummary(d);
    const on = d && d.enabled === true;
    const check = (ok, text) => h('li.check' + (ok ? '.ok' : '.no'), null, icon(ok ? 'check' : 'x'),
                                  h('span', null, text));
    const toggle = h('button.big' + (on ? '' : '.primary'), {type: 'button', disabled: !d,
                                                            dataset: {act: on ? 'stop' : 'start'}},
                     icon(on ? 'stop' : 'play'), on ? ' 감지 끄기' : ' 감지 켜기');
    toggle.addEventListener('click', async () => {
      toggle.disabled = true;
      await P.app.setDetect(!on);
      toggle.disabled = false;
    });
    const notice = d && d.server_notice && typeof d.server_notice.text === 'string' ? d.server_notice : null;
    const counts = rejections(d);
    replace(host, h('div.page.detect', null,
                    h('header.page-head', null, h('h2', null, '감지'),
                      h('p.muted', null, '감지가 켜져 있으면 글을 선택하고 Alt와 Ctrl을 같이 눌렀다 떼서 단어 팝업을 띄울 수 있어요. ' +
                        'Alt를 두 번 빠르게 눌러도 켜고 꺼요.')),
                    h('section.detect-card', {dataset: {state: s.state}},
                      h('div.detect-state', null, h('span.dot.big-dot'), h('strong', null, s.text)),
                      s.detail ? h('p', null, s.detail) : null,
                      d ? h('ul.checks', null,
                            check(d.enabled === true, '감지 켬'),
                            check(d.ready === true, '접근성 권한과 로그인'),
                            check(d.healthy !== false, '캡처 작업이 정상'),
                            check(d.watching === true, '지금 캡처를 받는 중'))
                        : P.ui.spinner('상태를 확인하는 중…'),
                      toggle),
                    notice ? h('section.notice-card', {role: 'status'}, icon('alert'),
                               h('div', null, h('strong', null, '서버 알림'), h('p', null, notice.text),
                                 notice.update_required === true ? h('p', null, '새 버전으로 업데이트해 주세요.') : null))
                      : null,
                    counts.length
                      ? h('section.settings-section', null, h('h3', null, '넘긴 캡처'),
                          h('p.muted', null, '앱을 켠 뒤로 바빠서 처리하지 못한 캡처 수예요. 자주 늘어나면 앱을 다시 켜 보세요.'),
                          h('table.counts', null, h('tbody', null, counts.map((c) =>
                            h('tr', {dataset: {key: c.key}}, h('th', {attrs: {scope: 'row'}}, c.label),
                              h('td', null, P.text.number(c.count)))))))
                      : null));
  }

  P.screens = P.screens || {};
  P.screens.detect = {
    mount(el) {
      host = el;
      paint();
      P.app.refreshDetect();
    },
    unmount() {
      host = null;
    },
    refresh() {
      paint();
    },
    statusChanged() {
      const focused = host && host.contains(document.activeElement)
        ? document.activeElement.dataset.act : null;
      paint();
      if (focused && host) {
        const again = host.querySelector('button[data-act]');
        if (again) again.focus();
      }
    },
  };
  P.detect = {rejections};
})(typeof window !== 'undefined' ? window : globalThis);
