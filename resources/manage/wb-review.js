// Known or not known: marking one word, and a review session over a list of words. A mark whose
// save was not confirmed is asked about again until the app knows.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;
  const call = P.bridge.call;

  const RECHECKS = [1.5, 4, 10];  // seconds before asking again about an unconfirmed save

  // Saves one mark. Answers 'confirmed', 'pending' (being checked again) or 'failed'.
  async function save(wordId, known, onSettled) {
    const result = await call('save_review', [known, wordId]);
    if (result.ok) {
      refreshState(wordId);
      if (onSettled) onSettled('confirmed');
      return 'confirmed';
    }
    if (result.stale || P.bridge.needsSignIn(result)) {
      if (onSettled) onSettled('failed');
      return 'failed';
    }
    const saveInfo = result.save || {};
    if (saveInfo.state === 'commit_unknown' && typeof saveInfo.operation_id === 'string') {
      recheck(saveInfo.operation_id, wordId, 0, onSettled);
      return 'pending';
    }
    P.ui.failed(result);
    if (onSettled) onSettled('failed');
    return 'failed';
  }

  function recheck(operationId, wordId, attempt, onSettled) {
    if (attempt >= P.wbReview.RECHECKS.length) {
      P.ui.toast('복습 결과가 저장됐는지 아직 확인하지 못했어요. 관리 창을 닫으면 앱이 한 번 더 확인해요.',
                 {kind: 'error'});
      if (onSettled) onSettled('failed');
      return;
    }
    setTimeout(async () => {
      if (!root.state.ready) return;
      const result = await call('save_status', [operationId], {quiet: true});
      const state = result.ok && result.data ? result.data.state : null;
      if (state === 'confirmed') {
        refreshState(wordId);
        if (onSettled) onSettled('confirmed');
      } else if (state === 'failed_terminal') {
        P.ui.toast(P.errors.saveCodeText(result.data.error_code), {kind: 'error'});
        if (onSettled) onSettled('failed');
      } else if (!result.ok && !result.save) {
        P.ui.failed(result);
        if (onSettled) onSettled('failed');
      } else {
        recheck(operationId, wordId, attempt + 1, onSettled);
      }
    }, P.wbReview.RECHECKS[attempt] * 1000);
  }

  function refreshState(wordId) {
    P.wb.loadReviews([wordId]);
  }

  async function mark(wordId, known) {
    const outcome = await save(wordId, known);
    if (outcome === 'confirmed') {
      P.ui.toast(known ? '‘알아요’ 로 저장했어요.' : '‘몰라요’ 로 저장했어요.', {kind: 'success', seconds: 2});
    } else if (outcome === 'pending') {
      P.ui.toast('저장됐는지 확인하는 중이에요…', {kind: 'info', seconds: 3});
    }
  }

  // ---- a session ----

  async function start() {
    const s = P.wb.state;
    let list;
    let title;
    if (s.sourceId) {
      list = P.wb.visibleWords();
      const src = s.lib && s.lib.sources.get(s.sourceId);
      title = src ? src.title : '출처';
    } else {
      const folder = s.scope === 'all' || s.scope === 'unfiled' ? null : s.scope;
      const result = await call('words_under_folder', [folder]);
      if (!result.ok) {
        P.ui.failed(result);
        return;
      }
      list = result.data && Array.isArray(result.data.words) ? result.data.words : [];
      title = folder ? P.wb.scopeTitle() : '모든 단어';
    }
    list = list.filter((w) => w && typeof w.word_id === 'string');
    if (!list.length) {
      P.ui.toast('복습할 단어가 없어요.', {kind: 'info'});
      return;
    }
    // Words not yet known come first.
    const known = (w) => {
      const r = s.reviews.get(w.word_id);
      return r && r.status === 'known' ? 1 : 0;
    };
    list = list.map((w, i) => ({w, i})).sort((a, b) => known(a.w) - known(b.w) || a.i - b.i)
      .map((x) => x.w);
    session(title, list);
  }

  function session(title, words) {
    const details = new Map();
    let index = 0;
    let revealed = false;
    const tally = {known: 0, unknown: 0, pending: 0, failed: 0};
    const missed = [];
    const progress = h('div.review-progress');
    const bar = h('div.progress', {role: 'progressbar', attrs: {'aria-valuemin': 0,
                                                               'aria-valuemax': words.length}},
                  h('div.progress-fill'));
    const stage = h('div.review-stage');
    const status = h('p.review-status', {role: 'status'});
    const d = P.ui.dialog({title: '복습 · ' + P.text.shorten(title, 40), wide: true,
                           className: 'review-dialog', body: [progress, bar, stage, status],
                           actions: [{label: '그만하기'}]});

    async function fetchDetails(from) {
      const ids = words.slice(from, from + 20).map((w) => w.word_id).filter((id) => !details.has(id));
      if (!ids.length) return;
      for (const id of ids) details.set(id, null);
      const result = await call('word_details', [ids]);
      for (const id of ids) {
        const v = result.ok && result.data && typeof result.data[id] === 'object' ? result.data[id] : {};
        details.set(id, v);
      }
      if (!d.closed && index < words.length) paint();
    }

    function paint() {
      if (index >= words.length) return finish();
      const w = words[index];
      progress.textContent = (index + 1) + ' / ' + words.length;
      bar.setAttribute('aria-valuenow', String(index));
      bar.firstChild.style.width = (index / words.length * 100) + '%';
      const info = details.get(w.word_id);
      const text = (k, fallback) => (info && typeof info[k] === 'string' && info[k] ? info[k]
        : typeof fallback === 'string' ? fallback : '');
      const meaning = revealed
        ? h('div.review-meaning', null,
            info === null || info === undefined ? P.ui.spinner('뜻을 불러오는 중…') : null,
            text('korean', w.korean) ? h('p.review-korean', null, text('korean', w.korean)) : null,
            text('definition') ? h('p.review-def', null, text('definition')) : null,
            text('example') ? h('p.review-example', null, text('example')) : null)
        : h('div.review-meaning.hidden-meaning', null, h('p.muted', null, '뜻을 떠올려 보세요.'));
      const buttons = revealed
        ? h('div.review-buttons', null,
            h('button.unknown.big', {type: 'button', onClick: () => answer(false)}, icon('x'), ' 몰라요',
              h('kbd', null, '←')),
            h('button.known.big', {type: 'button', onClick: () => answer(true)}, icon('check'), ' 알아요',
              h('kbd', null, '→')))
        : h('div.review-buttons', null,
            h('button.primary.big', {type: 'button', onClick: reveal}, icon('eye'), ' 뜻 보기',
              h('kbd', null, 'Space')));
      replace(stage, h('div.review-card', null,
                       h('p.review-lemma', null, typeof w.lemma === 'string' ? w.lemma : ''),
                       text('phonetic', w.phonetic) ? h('p.phonetic', null, text('phonetic', w.phonetic)) : null,
                       meaning), buttons);
      const focusTarget = stage.querySelector('button.primary, button.known');
      if (focusTarget) focusTarget.focus();
    }

    function reveal() {
      revealed = true;
      paint();
    }

    function answer(known) {
      const w = words[index];
      if (known) tally.known += 1;
      else {
        tally.unknown += 1;
        missed.push(w);
      }
      save(w.word_id, known, (outcome) => {
        if (outcome === 'failed') tally.failed += 1;
        showStatus();
      }).then((outcome) => {
        if (outcome === 'pending') tally.pending += 1;
        showStatus();
      });
      index += 1;
      revealed = false;
      fetchDetails(index);
      paint();
    }

    function showStatus() {
      status.textContent = tally.failed ? '저장하지 못한 결과 ' + tally.failed + '개' : '';
    }

    function finish() {
      progress.textContent = words.length + ' / ' + words.length;
      bar.firstChild.style.width = '100%';
      replace(stage, h('div.review-done', null,
                       h('p.review-lemma', null, '다 했어요'),
                       h('p', null, '알아요 ' + tally.known + '개 · 몰라요 ' + tally.unknown + '개'),
                       missed.length
                         ? h('button.primary', {type: 'button', onClick: () => {
                           d.close();
                           session(title, missed);
                         }}, '몰라요만 다시 하기') : null));
      const again = stage.querySelector('button');
      if (again) again.focus();
      P.wb.loadReviews(words.map((w) => w.word_id));
    }

    d.element.addEventListener('keydown', (e) => {
      if (e.target.closest('input, textarea') || index >= words.length) return;
      if (!revealed && (e.key === ' ' || e.key === 'Enter')) {
        e.preventDefault();
        reveal();
      } else if (revealed && (e.key === 'ArrowLeft' || e.key === '1')) {
        e.preventDefault();
        answer(false);
      } else if (revealed && (e.key === 'ArrowRight' || e.key === '2')) {
        e.preventDefault();
        answer(true);
      }
    });

    fetchDetails(0);
    paint();
  }

  P.wbReview = {mark, start, save, RECHECKS: RECHECKS.slice()};
})(typeof window !== 'undefined' ? window : globalThis);
