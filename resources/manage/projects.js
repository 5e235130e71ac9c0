// Projects: the list of projects with their trash, and one project's documents (upload by picker
// or by drop, progress, open, relink, delete, thumbnails), AI popups and saved conversations.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});
  const {h, icon, replace} = P.dom;
  const call = P.bridge.call;

  const NAME_MAX = 40;
  const PROMPT_MAX = 300;

  const st = {
    status: 'idle', error: '', drives: [], selected: null, view: 'documents',  // documents, popups, threads, trash
    docs: null, docsStatus: 'idle', docsError: '', docsFor: null,
    popups: null, popupsStatus: 'idle', popupsFor: null,
    unplaced: null, unplacedStatus: 'idle',
    map: null, mapFor: null,
    trash: null, trashStatus: 'idle',
    aiDetect: null, aiAuthenticated: null,
    upload: null,  // {drive, files, progress: {done,total,index,count}}
    thumbs: new Map(),  // document id → {state, png}
  };
  let host = null;
  let seq = 0;

  function boundedProblem(value, max, what) {
    const t = P.text.strip(value);
    if (!t) return what + '을(를) 입력해 주세요.';
    if (P.text.scalarCount(t) > max) return what + '은(는) ' + max + '자까지 쓸 수 있어요.';
    return null;
  }

  function drive(id) {
    return st.drives.find((d) => d.drive_id === id) || null;
  }

  function isStudy(d) {
    return d && d.kind === 'study';
  }

  // A project failure's text: handled hooks stay quiet.
  function failed(result) {
    if (result.stale || P.bridge.needsSignIn(result)) return;
    P.ui.failed(result);
  }

  // ---- loading ----

  async function loadList(keep) {
    seq += 1;
    const mine = seq;
    st.status = 'loading';
    paint();
    const [enabled, list] = await Promise.all([call('drive_enabled', [], {quiet: true}), call('drive_list')]);
    if (mine !== seq) return;
    if (!enabled.ok || enabled.data !== true) {
      st.status = 'error';
      st.error = '이 컴퓨터에서는 아직 프로젝트를 쓸 수 없어요.';
    } else if (!list.ok) {
      st.status = 'error';
      st.error = P.errors.messageFor(list);
    } else {
      st.status = 'ready';
      st.drives = (list.data && Array.isArray(list.data.drives) ? list.data.drives : [])
        .filter((d) => d && typeof d.drive_id === 'string');
      if (!keep || !drive(st.selected)) {
        const study = st.drives.find(isStudy);
        st.selected = study ? study.drive_id : (st.drives[0] ? st.drives[0].drive_id : null);
      }
    }
    paint();
    loadAI();
    if (st.selected && st.view !== 'trash') loadView();
  }

  async function loadAI() {
    const [detect, status] = await Promise.all([call('drive_detect', [], {quiet: true}),
                                                call('drive_ai_status', [], {quiet: true})]);
    st.aiDetect = detect.ok && detect.data ? detect.data.on === true : null;
    st.aiAuthenticated = status.ok && status.data ? status.data.authenticated === true : null;
    paintHead();
  }

  function loadView() {
    if (st.view === 'documents') loadDocs();
    else if (st.view === 'popups') loadPopups();
    else if (st.view === 'threads') loadUnplaced();
    else if (st.view === 'trash') loadTrash();
  }

  async function loadDocs() {
    const id = st.selected;
    if (!id) return;
    if (st.docsFor !== id) st.docs = null;
    st.docsFor = id;
    st.docsStatus = 'loading';
    paintBody();
    const result = await call('drive_documents', [id]);
    if (st.docsFor !== id) return;
    if (!result.ok) {
      st.docsStatus = 'error';
      st.docsError = P.errors.messageFor(result);
    } else {
      st.docsStatus = 'ready';
      st.docs = (result.data && Array.isArray(result.data.documents) ? result.data.documents : [])
        .filter((d) => d && typeof d.document_id === 'string');
    }
    paintBody();
  }

  async function loadPopups() {
    const id = st.selected;
    if (!id) return;
    // Whether captures are taken, which the AI popups' copy keys go through as well.
    call('drive_capture_revive', [], {quiet: true}).then((result) => {
      st.capture = result.ok && result.data && typeof result.data === 'object' ? result.data : null;
      if (st.view === 'popups') paintBody();
    });
    if (st.popupsFor !== id) st.popups = null;
    st.popupsFor = id;
    st.popupsStatus = 'loading';
    paintBody();
    const result = await call('drive_popups', [id]);
    if (st.popupsFor !== id) return;
    if (!result.ok) {
      st.popupsStatus = 'error';
      st.popupsError = P.errors.messageFor(result);
    } else {
      st.popupsStatus = 'ready';
      st.popups = (result.data && Array.isArray(result.data.popups) ? result.data.popups : [])
        .filter((p) => p && typeof p.popup_id === 'string');
    }
    paintBody();
  }

  async function loadUnplaced() {
    const id = st.selected;
    if (!id) return;
    st.unplacedStatus = 'loading';
    st.unplaced = null;
    paintBody();
    const result = await call('drive_unplaced', [id]);
    if (st.selected !== id) return;
    st.unplacedStatus = result.ok ? 'ready' : 'error';
    st.unplaced = result.ok ? result.data : null;
    st.unplacedError = result.ok ? '' : P.errors.messageFor(result);
    paintBody();
  }

  async function loadTrash() {
    st.trashStatus = 'loading';
    paintBody();
    const result = await call('drive_deleted_list');
    st.trashStatus = result.ok ? 'ready' : 'error';
    st.trash = result.ok ? result.data : null;
    st.trashError = result.ok ? '' : P.errors.messageFor(result);
    paintBody();
  }

  // ---- drawing ----

  let listEl = null;
  let headEl = null;
  let bodyEl = null;
  let progressEl = null;

  function paint() {
    if (!host) return;
    listEl = h('div.project-list', {role: 'listbox', attrs: {'aria-label': '프로젝트'}});
    headEl = h('header.project-head');
    bodyEl = h('div.project-body');
    progressEl = h('div.upload-progress', {hidden: true, attrs: {'aria-live': 'polite'}});
    const side = h('aside.pane.projects-side', {attrs: {'aria-label': '프로젝트 목록'}},
                   h('header.pane-head', null, h('h2', null, '프로젝트'),
                     P.dom.iconButton('plus', '새 프로젝트', createDrive, {className: 'new-project'})),
                   h('div.pane-body', null, listEl),
                   h('footer.pane-foot', null,
                     h('button.trash-link' + (st.view === 'trash' ? '.active' : ''), {type: 'button', onClick: () => {
                       st.view = 'trash';
                       paint();
                       loadTrash();
                     }}, icon('trash'), ' 휴지통')));
    const main = h('section.pane.project-main', {attrs: {'aria-label': '프로젝트 내용'}},
                   headEl, progressEl, bodyEl);
    main.addEventListener('dragover', (e) => {
      if (e.dataTransfer && Array.from(e.dataTransfer.types || []).includes('Files')) {
        main.classList.add('drop-ready');
      }
    });
    main.addEventListener('dragleave', (e) => {
      if (!main.contains(e.relatedTarget)) main.classList.remove('drop-ready');
    });
    main.addEventListener('drop', (e) => {
      main.classList.remove('drop-ready');
      // The page sees where files fell; their paths come from the app right after.
      const card = e.target && e.target.closest ? e.target.closest('.doc-card') : null;
      st.dropOn = card ? {document: card.dataset.id, at: Date.now()} : null;
    });
    replace(host, h('div.projects', null, side, main));
    paintList();
    paintHead();
    paintProgress();
    paintBody();
  }

  function paintList() {
    if (!listEl) return;
    if (st.status === 'loading' && !st.drives.length) {
      replace(listEl, P.ui.spinner('프로젝트를 불러오는 중…'));
      return;
    }
    if (st.status === 'error') {
      replace(listEl, P.ui.errorState(st.error, () => loadList(true)));
      return;
    }
    replace(listEl, st.drives.map((d) => {
      const chosen = d.drive_id === st.selected && st.view !== 'trash';
      const item = h('div.project-item' + (chosen ? '.selected' : ''), {
        role: 'option', tabIndex: chosen || (!st.selected && d === st.drives[0]) ? 0 : -1,
        attrs: {'aria-selected': chosen ? 'true' : 'false'}, dataset: {id: d.drive_id}},
      icon(d.kind === 'vocab' ? 'book' : 'project', 'row-icon'),
      h('div.row-text', null,
        h('span.row-name', null, d.kind === 'vocab' ? '단어장' : P.text.orPlaceholder(d.name, '(이름 없음)')),
        h('span.row-meta', null, ['문서 ' + P.text.number(d.document_count || 0) + '개',
                                  P.text.ago(d.last_at)].filter(Boolean).join(' · ')),
        typeof d.active_popup_name === 'string'
          ? h('span.row-meta.ai', null, icon('sparkle'), ' ' + d.active_popup_name) : null));
      item.addEventListener('click', () => select(d.drive_id));
      item.addEventListener('keydown', (e) => {
        const at = st.drives.indexOf(d);
        let to = null;
        if (e.key === 'ArrowDown') to = Math.min(st.drives.length - 1, at + 1);
        else if (e.key === 'ArrowUp') to = Math.max(0, at - 1);
        else if (e.key === 'F2' && isStudy(d)) renameDrive(d);
        else if (e.key === 'Delete' && isStudy(d)) deleteDrive(d);
        else if (e.key === 'Enter') select(d.drive_id);
        else return;
        e.preventDefault();
        if (to !== null) {
          select(st.drives[to].drive_id);
          const again = listEl.querySelector('[data-id="' + CSS.escape(st.drives[to].drive_id) + '"]');
          if (again) again.focus();
        }
      });
      return item;
    }));
    if (!st.drives.length && st.status === 'ready') {
      listEl.appendChild(P.ui.emptyState('project', '프로젝트가 없어요', 'PDF를 모아 둘 프로젝트를 만들어 보세요.'));
    }
  }

  function select(id) {
    if (st.selected === id && st.view !== 'trash') return;
    st.selected = id;
    if (st.view === 'trash' || st.view === 'map') st.view = 'documents';
    const d = drive(id);
    if (st.view === 'popups' && !isStudy(d)) st.view = 'documents';
    paintList();
    paintHead();
    loadView();
  }

  function paintHead() {
    if (!headEl) return;
    const aiSwitch = st.aiDetect === null ? null
      : P.ui.toggle('AI 팝업 (Ctrl+C 두 번)', st.aiDetect, async (on, input) => {
        input.disabled = true;
        const result = await call('drive_detect_set', [on]);
        input.disabled = false;
        if (!result.ok) {
          input.checked = !on;
          failed(result);
          return;
        }
        st.aiDetect = result.data && result.data.on === true;
        input.checked = st.aiDetect;
      }, {className: 'ai-switch'});
    const aiNote = st.aiAuthenticated === false ? h('span.muted', null, '로그인해야 AI 팝업을 쓸 수 있어요') : null;
    if (st.view === 'trash') {
      replace(headEl, h('div.project-title', null, h('h2', null, '프로젝트 휴지통')), aiSwitch);
      return;
    }
    const d = drive(st.selected);
    if (!d) {
      replace(headEl, h('div.project-title', null, h('h2', null, '프로젝트')), aiSwitch, aiNote);
      return;
    }
    const tabs = h('div.tabs', {role: 'tablist', attrs: {'aria-label': '프로젝트 보기'}},
                   [['documents', '문서', 'file'], ['popups', 'AI 팝업', 'sparkle'], ['threads', '대화 기록', 'message']]
                     .filter(([v]) => v !== 'popups' || isStudy(d))
                     .map(([v, label, ic]) => {
                       const active = st.view === v || (v === 'documents' && st.view === 'map');
                       const b = h('button.tab' + (active ? '.active' : ''), {type: 'button', role: 'tab',
                                                                             attrs: {'aria-selected': String(active)},
                                                                             dataset: {view: v}}, icon(ic), ' ' + label);
                       b.addEventListener('click', () => {
                         st.view = v;
                         paintHead();
                         loadView();
                       });
                       return b;
                     }));
    replace(headEl,
            h('div.project-title', null,
              h('h2', null, d.kind === 'vocab' ? '단어장' : P.text.orPlaceholder(d.name, '(이름 없음)')),
              d.kind === 'vocab' ? h('span.badge', null, '단어장 프로젝트') : null,
              isStudy(d) ? P.dom.iconButton('edit', '이름 바꾸기 (F2)', () => renameDrive(d)) : null,
              isStudy(d) ? P.dom.iconButton('trash', '휴지통으로', () => deleteDrive(d)) : null),
            aiSwitch, aiNote, tabs);
  }

  function paintBody() {
    if (!bodyEl) return;
    if (st.view === 'trash') return replace(bodyEl, trashView());
    if (st.status === 'error') return replace(bodyEl);
    if (!st.selected) {
      return replace(bodyEl, st.status === 'loading' ? P.ui.spinner() : P.ui.emptyState(
        'project', '프로젝트를 고르세요', '왼쪽에서 프로젝트를 고르거나 새로 만들어 보세요.'));
    }
    if (st.view === 'map') return replace(bodyEl, mapView());
    if (st.view === 'popups') return replace(bodyEl, popupsView());
    if (st.view === 'threads') return replace(bodyEl, threadsView());
    replace(bodyEl, docsView());
  }

  // ---- documents ----

  function docsView() {
    const uploading = st.upload !== null;
    const toolbar = h('div.toolbar', null,
                      h('button.primary', {type: 'button', disabled: uploading, dataset: {act: 'upload'},
                                           onClick: () => upload(null)}, icon('upload'), ' PDF 올리기'),
                      h('span.muted', null, 'PDF 파일을 이 창에 끌어다 놓아도 올라가요.'));
    if (st.docsStatus === 'loading' && !st.docs) return [toolbar, P.ui.spinner('문서를 불러오는 중…')];
    if (st.docsStatus === 'error') return [toolbar, P.ui.errorState(st.docsError, loadDocs)];
    const docs = st.docs || [];
    if (!docs.length) {
      return [toolbar, h('div.drop-zone', null, P.ui.emptyState('upload', '문서가 없어요',
                                                               'PDF를 올리면 AI 팝업이 읽고 있는 쪽을 알아보고 답해요.'))];
    }
    const grid = h('div.doc-grid', {role: 'list'}, docs.map(docCard));
    observeThumbs(grid);
    return [toolbar, grid];
  }

  const STATUS_TEXT = {uploading: '올리는 중', no_text: '글 없음', ready: ''};
  const SOURCE_TEXT = {missing: '원본 PDF를 찾을 수 없어요', unknown: '이 컴퓨터에 원본 정보가 없어요'};

  function docCard(d) {
    const thumb = st.thumbs.get(d.document_id);
    const picture = thumb && thumb.state === 'ok'
      ? h('img.thumb-img', {alt: '', src: 'data:image/png;base64,' + thumb.png, onError: (e) => {
        e.currentTarget.replaceWith(h('div.thumb-none', null, icon('file'), h('span', null, '미리보기 실패')));
      }})
      : h('div.thumb-none', null, icon('file'), thumb && thumb.state !== 'loading'
        ? h('span', null, {missing: '원본 없음', unknown: '미리보기 없음', failed: '미리보기 실패',
                           error: '미리보기 없음'}[thumb.state] || '') : null);
    const name = P.text.orPlaceholder(d.file_name, 'document.pdf');
    const statusText = STATUS_TEXT[d.status] !== undefined ? STATUS_TEXT[d.status] : String(d.status || '');
    const linked = d.source_state === 'ok';
    return h('article.doc-card', {role: 'listitem', dataset: {id: d.document_id}},
             h('div.thumb', {dataset: {thumb: d.document_id}}, picture),
             h('div.doc-info', null,
               h('h3.doc-name', {title: name}, name),
               h('p.row-meta', null, [P.text.number(d.page_count || 0) + '쪽',
                                      typeof d.toc_count === 'number' && d.toc_count > 0 ? '목차 ' + d.toc_count : '',
                                      P.text.date(d.created_at)].filter(Boolean).join(' · ')),
               statusText ? h('span.badge.status-' + d.status, null, statusText) : null,
               !linked ? h('p.doc-warn', null, SOURCE_TEXT[d.source_state] || SOURCE_TEXT.unknown,
                           ' 같은 PDF를 이 카드에 끌어다 놓아도 연결돼요.') : null),
             h('div.doc-actions', null,
               h('button.document-open', {type: 'button', disabled: !linked,
                                          attrs: {'data-focus': 'open:document:' + d.document_id},
                                          onClick: () => openDoc(d)}, icon('open'), ' 열기'),
               h('button', {type: 'button', dataset: {act: 'map'}, onClick: () => openMap(d)}, icon('map'),
                 ' 목차·대화'),
               !linked ? h('button', {type: 'button', dataset: {act: 'relink'}, onClick: () => relink(d)},
                           icon('link'), ' 다시 연결') : null,
               h('button.danger.subtle', {type: 'button', dataset: {act: 'delete'}, onClick: () => deleteDoc(d)},
                 icon('trash'), ' 지우기')));
  }

  // Thumbnails are asked for when their card comes into view, two at a time.
  let thumbQueue = [];
  let thumbsRunning = 0;
  let observer = null;

  function observeThumbs(grid) {
    if (observer) observer.disconnect();
    const want = (id) => {
      if (st.thumbs.has(id)) return;
      st.thumbs.set(id, {state: 'loading'});
      thumbQueue.push(id);
      pumpThumbs();
    };
    if (typeof IntersectionObserver !== 'function') {
      for (const el of grid.querySelectorAll('[data-thumb]')) want(el.dataset.thumb);
      return;
    }
    observer = new IntersectionObserver((entries) => {
      for (const e of entries) {
        if (e.isIntersecting) {
          observer.unobserve(e.target);
          want(e.target.dataset.thumb);
        }
      }
    }, {rootMargin: '200px'});
    for (const el of grid.querySelectorAll('[data-thumb]')) observer.observe(el);
  }

  async function pumpThumbs() {
    while (thumbsRunning < 2 && thumbQueue.length) {
      const id = thumbQueue.shift();
      thumbsRunning += 1;
      call('drive_thumbnail', [id], {quiet: true}).then((result) => {
        thumbsRunning -= 1;
        const d = result.ok && result.data ? result.data : {};
        st.thumbs.set(id, {state: typeof d.state === 'string' ? d.state : 'failed',
                           png: typeof d.png === 'string' ? d.png : ''});
        const slot = bodyEl && bodyEl.querySelector('[data-thumb="' + CSS.escape(id) + '"]');
        const doc = st.docs && st.docs.find((x) => x.document_id === id);
        if (slot && doc) slot.replaceWith(docCard(doc).querySelector('.thumb'));
        pumpThumbs();
      });
    }
  }

  async function openDoc(d) {
    const result = await call('drive_document_open', [d.document_id]);
    if (!result.ok) return failed(result);
    const data = result.data || {};
    if (data.opened === true) return;
    if (data.state === 'no_app') {
      P.ui.toast('이 PDF를 열 프로그램을 찾지 못했어요. PDF 보기 프로그램을 설치하거나 PDF의 기본 프로그램으로 정해 주세요.',
                 {kind: 'error'});
      return;
    }
    P.ui.toast(data.state === 'missing' ? '원본 PDF를 찾을 수 없어요. ‘다시 연결’ 로 파일을 골라 주세요.'
      : '이 컴퓨터에는 이 문서의 원본 정보가 없어요. ‘다시 연결’ 로 같은 PDF를 골라 주세요.', {kind: 'error'});
    loadDocs();
  }

  async function relink(d) {
    const result = await call('drive_document_relink_pick', [d.document_id]);
    if (!result.ok) return failed(result);
    if (result.data && result.data.cancelled === true) return;
    P.ui.toast('원본 PDF를 다시 연결했어요.', {kind: 'success'});
    st.thumbs.delete(d.document_id);
    loadDocs();
  }

  async function relinkTo(d, path) {
    P.ui.toast('‘' + P.text.shorten(P.text.orPlaceholder(d.file_name, 'document.pdf'), 40) +
               '’ 에 이 PDF를 연결하는 중…', {kind: 'info', seconds: 3});
    const result = await call('drive_document_relink', [d.document_id, path]);
    if (!result.ok) return failed(result);
    P.ui.toast('원본 PDF를 다시 연결했어요.', {kind: 'success'});
    st.thumbs.delete(d.document_id);
    loadDocs();
  }

  async function deleteDoc(d) {
    const name = P.text.orPlaceholder(d.file_name, 'document.pdf');
    const sure = await P.ui.confirm({title: '‘' + P.text.shorten(name, 60) + '’ 문서를 지울까요?',
                                     message: '이 프로젝트에서 문서를 빼고, 이 컴퓨터에 둔 쪽 글 사본도 지워요. ' +
                                       '원본 PDF 파일은 그대로 있어요.',
                                     confirmLabel: '지우기', danger: true});
    if (!sure) return;
    const result = await call('drive_document_delete', [d.document_id]);
    if (!result.ok) return failed(result);
    st.docs = (st.docs || []).filter((x) => x.document_id !== d.document_id);
    st.thumbs.delete(d.document_id);
    const dr = drive(st.selected);
    if (dr && typeof dr.document_count === 'number') dr.document_count = Math.max(0, dr.document_count - 1);
    paintList();
    paintBody();
    P.ui.toast('문서를 지웠어요.', {kind: 'success'});
  }

  // ---- uploads ----

  // paths: null to ask with the file picker, else the dropped paths.
  async function upload(paths) {
    const id = st.selected;
    if (!id || st.upload) return;
    st.upload = {drive: id, progress: null, files: paths ? paths.length : 0};
    paintProgress();
    paintBody();
    const result = paths ? await call('drive_upload_paths', [id, paths]) : await call('drive_upload', [id]);
    st.upload = null;
    paintProgress();
    if (!result.ok) {
      failed(result);
      paintBody();
      return;
    }
    const data = result.data || {};
    if (data.cancelled === true) {
      paintBody();
      return;
    }
    reportUpload(data);
    loadList(true);
  }

  // A summary of an upload's results: {done, failed: [{name, text}], notPdf, tooMany}. Pure.
  function uploadSummary(data) {
    const results = data && Array.isArray(data.results) ? data.results : [];
    const out = {done: 0, duplicates: 0, noText: 0, failed: [], notPdf: 0, tooMany: 0, skipped: 0};
    for (const r of results) {
      if (!r || typeof r !== 'object') continue;
      const name = typeof r.file_name === 'string' ? r.file_name : 'document.pdf';
      if (typeof r.error === 'string') out.failed.push({name: name, text: P.errors.driveText(r.error)});
      else {
        out.done += 1;
        if (typeof r.duplicate_of === 'string') out.duplicates += 1;
        if (r.status === 'no_text') out.noText += 1;
      }
    }
    const d = data && typeof data === 'object' ? data : {};
    out.notPdf = typeof d.not_pdf === 'number' ? d.not_pdf : 0;
    out.tooMany = typeof d.too_many === 'number' ? d.too_many : 0;
    return out;
  }

  function reportUpload(data) {
    const s = uploadSummary(data);
    const lines = [];
    if (s.done) lines.push('문서 ' + s.done + '개를 올렸어요.');
    if (s.duplicates) lines.push('그중 ' + s.duplicates + '개는 이미 있던 문서라 그대로 두었어요.');
    if (s.noText) lines.push('글을 읽을 수 없는 문서 ' + s.noText + '개는 AI 팝업이 쪽을 찾지 못해요.');
    if (s.notPdf) lines.push('PDF가 아니거나 찾을 수 없는 파일 ' + s.notPdf + '개는 건너뛰었어요.');
    if (s.tooMany) lines.push('한 번에 20개까지 올릴 수 있어 ' + s.tooMany + '개는 올리지 않았어요.');
    if (!s.failed.length && !s.notPdf && !s.tooMany) {
      P.ui.toast(lines.join(' ') || '올릴 문서가 없었어요.', {kind: 'success'});
      return;
    }
    if (!s.done && !s.failed.length) lines.unshift('올린 문서가 없어요.');
    P.ui.dialog({title: '올리기 결과', body: [
      lines.map((l) => h('p', null, l)),
      s.failed.length ? h('ul.upload-failures', null, s.failed.map((f) =>
        h('li', null, h('strong', null, f.name), h('span', null, ' — ' + f.text)))) : null],
    actions: [{label: '확인', primary: true}]});
  }

  function paintProgress() {
    if (!progressEl) return;
    const u = st.upload;
    if (!u || u.drive !== st.selected) {
      progressEl.hidden = true;
      replace(progressEl);
      return;
    }
    progressEl.hidden = false;
    const p = u.progress;
    const ratio = p && p.total > 0 ? Math.min(1, p.done / p.total) : 0;
    const text = p
      ? '파일 ' + p.index + ' / ' + p.count + ' · ' + P.text.number(p.done) + ' / ' + P.text.number(p.total) + '쪽 올림'
      : 'PDF를 읽고 있어요…';
    replace(progressEl, h('div.progress-line', null, icon('upload'), h('span', null, text)),
            h('div.progress' + (p ? '' : '.indeterminate'), {role: 'progressbar',
                                                             attrs: {'aria-valuemin': 0, 'aria-valuemax': 100,
                                                                     'aria-valuenow': p ? Math.round(ratio * 100) : null,
                                                                     'aria-label': '올리기 진행'}},
              h('div.progress-fill', {style: {width: (ratio * 100) + '%'}})));
  }

  function uploadProgress(p) {
    if (!st.upload) return;
    const n = (v) => (typeof v === 'number' && isFinite(v) ? v : 0);
    st.upload.progress = {done: n(p.done), total: n(p.total), index: n(p.index), count: n(p.count)};
    paintProgress();
  }

  function acceptFiles(files) {
    if (!host || P.app.current !== 'projects' || !st.selected || st.view === 'trash') {
      P.ui.toast('PDF를 넣을 프로젝트를 먼저 여세요. 프로젝트 화면에서 프로젝트를 고른 뒤 놓아 주세요.',
                 {kind: 'info'});
      return;
    }
    if (st.upload) {
      P.ui.toast('올리는 중이에요. 끝난 뒤에 다시 놓아 주세요.', {kind: 'info'});
      return;
    }
    if (!files.length) return;
    if (!files.some((f) => /\.pdf$/i.test(f.path))) {
      P.ui.toast('PDF 파일만 올릴 수 있어요.', {kind: 'error'});
      return;
    }
    // One PDF dropped on a document whose original is lost links that document to it.
    const on = st.dropOn && Date.now() - st.dropOn.at < 3000 ? st.dropOn.document : null;
    st.dropOn = null;
    const target = on && st.docs ? st.docs.find((d) => d.document_id === on) : null;
    if (target && target.source_state !== 'ok' && files.length === 1) {
      relinkTo(target, files[0].path);
      return;
    }
    if (st.view !== 'documents') {
      st.view = 'documents';
      paintHead();
      loadDocs();
    }
    upload(files.map((f) => f.path));
  }

  // ---- the document map and conversations ----

  async function openMap(d) {
    st.view = 'map';
    st.map = null;
    st.mapFor = d;
    paintHead();
    paintBody();
    const result = await call('drive_document_map', [d.document_id]);
    if (st.mapFor !== d) return;
    st.map = result.ok ? result.data : {error: P.errors.messageFor(result)};
    if (!result.ok) failed(result);
    paintBody();
  }

  function threadLine(t) {
    const b = h('button.thread-link', {type: 'button', dataset: {thread: t.thread_id || ''}},
                icon('message'), h('span.snippet', null, t.snippet || '(빈 질문)'),
                h('span.muted', null, [typeof t.page_no === 'number' ? t.page_no + '쪽' : '',
                                       P.text.date(t.created_at)].filter(Boolean).join(' · ')));
    b.addEventListener('click', () => {
      if (typeof t.thread_id === 'string') P.threads.openThread(t.thread_id);
    });
    return h('li', null, b);
  }

  function mapView() {
    const d = st.mapFor;
    const back = h('button', {type: 'button', onClick: () => {
      st.view = 'documents';
      paintHead();
      paintBody();
    }}, '← 문서 목록');
    const name = d ? P.text.orPlaceholder(d.file_name, 'document.pdf') : '';
    if (!st.map) return [back, P.ui.spinner('목차와 대화를 불러오는 중…')];
    if (st.map.error) return [back, P.ui.errorState(st.map.error, () => openMap(d))];
    const {rows, loose} = P.threads.mapRows(st.map);
    const threads = Array.isArray(st.map.threads) ? st.map.threads.length : 0;
    return [h('div.toolbar', null, back, h('h3', null, name)),
            h('p.muted', null, '목차 ' + rows.length + '개 · 저장된 대화 ' + threads + '개' +
              (st.map.truncated === true ? ' (최근 500개만 보여요)' : '')),
            rows.length ? h('ol.toc', null, rows.map((r) =>
              h('li.toc-entry', {style: {'--level': Math.max(1, Math.min(6, r.entry.level || 1))}},
                h('div.toc-line', null, h('span.toc-title', null, P.text.orPlaceholder(r.entry.title, '(제목 없음)')),
                  h('span.muted', null, r.entry.page_start === r.entry.page_end
                    ? r.entry.page_start + '쪽' : r.entry.page_start + '–' + r.entry.page_end + '쪽')),
                r.threads.length ? h('ul.threads', null, r.threads.map(threadLine)) : null)))
              : h('p.muted', null, '이 문서에는 목차가 없어요.'),
            loose.length ? [h('h4', null, '목차 밖의 대화'), h('ul.threads', null, loose.map(threadLine))] : null];
  }

  function threadsView() {
    if (st.unplacedStatus === 'loading') return P.ui.spinner('대화를 불러오는 중…');
    if (st.unplacedStatus === 'error') return P.ui.errorState(st.unplacedError, loadUnplaced);
    const threads = st.unplaced && Array.isArray(st.unplaced.threads) ? st.unplaced.threads : [];
    if (!threads.length) {
      return P.ui.emptyState('message', '문서 밖의 대화가 없어요',
                             '문서의 쪽에서 물어본 대화는 문서의 ‘목차·대화’ 에서 볼 수 있어요.');
    }
    return [h('p.muted', null, '어느 문서에도 속하지 않은 질문이에요.' +
              (st.unplaced.truncated === true ? ' 최근 200개만 보여요.' : '')),
            h('ul.threads', null, threads.map(threadLine))];
  }

  // ---- AI popups ----

  function popupsView() {
    const capture = st.capture ? P.app.detectSummary(st.capture) : null;
    const toolbar = h('div.toolbar', null,
                      h('button.primary', {type: 'button', onClick: () => popupEditor(null)}, icon('plus'), ' 새 AI 팝업'),
                      h('span.muted', null, '글을 선택하고 Ctrl+C를 두 번 누르면 켜 둔 AI 팝업의 지시대로 AI가 답해요. ' +
                        '켤 수 있는 팝업은 모든 프로젝트를 통틀어 하나예요.'));
    const captureLine = capture
      ? h('p.capture-line', {dataset: {state: capture.state}}, h('span.dot'),
          ' 감지 상태: ' + capture.text + (capture.state === 'on' ? '' : ' — ' + capture.detail),
          capture.state === 'on' ? null : h('button.link', {type: 'button', onClick: () => P.app.go('detect')},
                                            ' 감지 화면으로'))
      : null;
    if (st.popupsStatus === 'loading' && !st.popups) return [toolbar, captureLine, P.ui.spinner()];
    if (st.popupsStatus === 'error') {
      return [toolbar, captureLine, P.ui.errorState(st.popupsError, loadPopups)];
    }
    const list = st.popups || [];
    if (!list.length) {
      return [toolbar, captureLine,
              P.ui.emptyState('sparkle', 'AI 팝업이 없어요', '예) “쉬운 말로 풀어서 설명해 줘”')];
    }
    return [toolbar, captureLine, h('div.card-grid', {role: 'list'}, list.map((p) => h('article.popup-card' + (p.is_active ? '.active' : ''), {
      role: 'listitem', dataset: {id: p.popup_id}},
    h('header.popup-card-head', null,
      P.ui.toggle('', p.is_active === true, (on, input) => setActive(p, on, input),
                  {ariaLabel: (p.name || 'AI 팝업') + ' 켜기', className: 'card-switch'}),
      h('h3', null, P.text.orPlaceholder(p.name, '(이름 없음)')),
      p.is_active ? h('span.badge.status-known', null, '켜짐') : null),
    h('p.prompt', null, p.prompt || ''),
    h('footer.popup-card-actions', null,
      h('button', {type: 'button', dataset: {act: 'edit'}, onClick: () => popupEditor(p)}, icon('edit'), ' 편집'),
      h('button.danger.subtle', {type: 'button', dataset: {act: 'delete'}, onClick: () => deletePopup(p)},
        icon('trash'), ' 지우기')))))];
  }

  async function setActive(p, on, input) {
    input.disabled = true;
    const result = await call(on ? 'drive_popup_activate' : 'drive_popup_deactivate', [p.popup_id]);
    input.disabled = false;
    if (!result.ok) {
      input.checked = !on;
      failed(result);
      return;
    }
    loadPopups();
    loadList(true);
  }

  function popupEditor(p) {
    const name = h('input.text-input', {type: 'text', value: p ? p.name || '' : '',
                                        attrs: {'aria-label': 'AI 팝업 이름', maxlength: 80}});
    const prompt = h('textarea.text-area', {rows: 5, attrs: {'aria-label': '지시문', maxlength: 600}});
    prompt.value = p ? p.prompt || '' : '';
    const counter = (input, max) => {
      const c = h('span.counter');
      const f = () => {
        const n = P.text.scalarCount(P.text.strip(input.value));
        c.textContent = n + ' / ' + max;
        c.classList.toggle('over', n > max);
      };
      input.addEventListener('input', f);
      f();
      return c;
    };
    const start = name.value + '\u0000' + prompt.value;
    P.ui.dialog({
      title: p ? 'AI 팝업 편집' : '새 AI 팝업', wide: true,
      body: [h('label.field', null, h('span.field-label', null, '이름'), name, counter(name, NAME_MAX)),
             h('label.field', null, h('span.field-label', null, '지시문 — AI에게 어떻게 답할지 알려 주세요'),
               prompt, counter(prompt, PROMPT_MAX))],
      dirty: () => name.value + '\u0000' + prompt.value !== start,
      actions: [{label: '취소'}, {label: p ? '저장' : '만들기', primary: true, onClick: async (dlg) => {
        const problem = boundedProblem(name.value, NAME_MAX, '이름') || boundedProblem(prompt.value, PROMPT_MAX, '지시문');
        if (problem) {
          dlg.setError(problem);
          return false;
        }
        dlg.setBusy(true);
        const result = p ? await call('drive_popup_update', [p.popup_id, name.value, prompt.value])
          : await call('drive_popup_create', [st.selected, name.value, prompt.value]);
        dlg.setBusy(false);
        if (!result.ok) {
          if (result.stale || P.bridge.needsSignIn(result)) return true;
          dlg.setError(P.errors.messageFor(result));
          return false;
        }
        loadPopups();
        P.ui.toast(p ? 'AI 팝업을 저장했어요.' : 'AI 팝업을 만들었어요. 켜야 쓸 수 있어요.', {kind: 'success'});
        return true;
      }}],
      initialFocus: name,
    });
  }

  async function deletePopup(p) {
    const sure = await P.ui.confirm({title: '‘' + P.text.orPlaceholder(p.name, 'AI 팝업') + '’ 을(를) 지울까요?',
                                     message: '지운 AI 팝업은 되살릴 수 없어요. 이미 저장된 대화는 남아요.',
                                     confirmLabel: '지우기', danger: true});
    if (!sure) return;
    const result = await call('drive_popup_delete', [p.popup_id]);
    if (!result.ok) return failed(result);
    loadPopups();
    if (p.is_active) loadList(true);
  }

  // ---- projects: create, rename, trash ----

  async function createDrive() {
    await P.ui.prompt({
      title: '새 프로젝트', label: '프로젝트 이름', confirmLabel: '만들기', maxChars: NAME_MAX,
      validate: (v) => boundedProblem(v, NAME_MAX, '이름'),
      submit: async (value) => {
        const result = await call('drive_create', [value]);
        if (!result.ok) {
          if (result.stale || P.bridge.needsSignIn(result)) return null;
          return P.errors.messageFor(result);
        }
        const d = result.data || {};
        if (typeof d.drive_id === 'string') {
          st.drives.push({drive_id: d.drive_id, kind: 'study', name: d.name, document_count: 0,
                          created_at: null, last_at: null, active_popup_name: null});
          st.selected = d.drive_id;
          st.view = 'documents';
          paint();
          loadDocs();
        }
        return null;
      },
    });
  }

  async function renameDrive(d) {
    await P.ui.prompt({
      title: '프로젝트 이름 바꾸기', label: '프로젝트 이름', value: d.name || '', confirmLabel: '바꾸기',
      maxChars: NAME_MAX, validate: (v) => boundedProblem(v, NAME_MAX, '이름'),
      submit: async (value) => {
        const result = await call('drive_rename', [d.drive_id, value]);
        if (!result.ok) {
          if (result.stale || P.bridge.needsSignIn(result)) return null;
          return P.errors.messageFor(result);
        }
        d.name = result.data && typeof result.data.name === 'string' ? result.data.name : value.trim();
        paintList();
        paintHead();
        return null;
      },
    });
  }

  async function deleteDrive(d) {
    const sure = await P.ui.confirm({
      title: '‘' + P.text.orPlaceholder(d.name, '프로젝트') + '’ 을(를) 휴지통으로 옮길까요?',
      message: '문서와 AI 팝업도 함께 옮겨져요. 휴지통에서 30일 안에 되살릴 수 있어요.',
      confirmLabel: '휴지통으로', danger: true});
    if (!sure) return;
    const result = await call('drive_delete', [d.drive_id]);
    if (!result.ok) return failed(result);
    st.drives = st.drives.filter((x) => x.drive_id !== d.drive_id);
    if (st.selected === d.drive_id) st.selected = null;
    loadList(false);
    P.ui.toast('프로젝트를 휴지통으로 옮겼어요.', {kind: 'success', seconds: 10,
                                               action: {label: '되돌리기', onClick: () => restoreDrive(d.drive_id)}});
  }

  async function restoreDrive(id) {
    const result = await call('drive_restore', [id]);
    if (!result.ok) return failed(result);
    P.ui.toast('프로젝트를 되살렸어요.', {kind: 'success'});
    if (st.view === 'trash') loadTrash();
    loadList(true);
  }

  async function purgeDrive(d) {
    const sure = await P.ui.confirm({
      title: '‘' + P.text.orPlaceholder(d.name, '프로젝트') + '’ 을(를) 영구 삭제할까요?',
      message: '문서와 AI 팝업이 영원히 지워지고 되살릴 수 없어요.',
      confirmLabel: '영구 삭제', danger: true});
    if (!sure) return;
    const result = await call('drive_purge', [d.drive_id]);
    if (!result.ok) return failed(result);
    const kept = result.data && typeof result.data.threads_kept === 'number' ? result.data.threads_kept : 0;
    P.ui.toast('영구 삭제했어요.' + (kept ? ' 저장된 대화 ' + kept + '개는 남겨 두었어요.' : ''), {kind: 'success'});
    loadTrash();
  }

  function trashView() {
    if (st.trashStatus === 'loading' && !st.trash) return P.ui.spinner('휴지통을 불러오는 중…');
    if (st.trashStatus === 'error') return P.ui.errorState(st.trashError, loadTrash);
    const drives = st.trash && Array.isArray(st.trash.drives) ? st.trash.drives : [];
    const days = st.trash && typeof st.trash.trash_days === 'number' ? st.trash.trash_days : 30;
    if (!drives.length) return P.ui.emptyState('trash', '휴지통이 비어 있어요', '지운 프로젝트는 ' + days + '일 동안 여기 있어요.');
    return [h('p.muted', null, '지운 프로젝트는 ' + days + '일 동안 되살릴 수 있고, 그 뒤에는 영구 삭제돼요.'),
            h('div.trash-projects', {role: 'list'}, drives.map((d) => h('div.trash-row', {role: 'listitem', dataset: {id: d.drive_id}},
              icon('project', 'row-icon'),
              h('div.row-text', null, h('span.row-name', null, P.text.orPlaceholder(d.name, '(이름 없음)')),
                h('span.row-meta', null, '문서 ' + P.text.number(d.document_count || 0) + '개 · ' +
                  (typeof d.days_left === 'number' ? d.days_left + '일 뒤 영구 삭제' : ''))),
              h('button.restore', {type: 'button', onClick: () => restoreDrive(d.drive_id)}, icon('restore'), ' 되살리기'),
              h('button.danger.subtle', {type: 'button', dataset: {act: 'purge'}, onClick: () => purgeDrive(d)},
                icon('trash'), ' 영구 삭제'))))];
  }

  P.screens = P.screens || {};
  P.screens.projects = {
    mount(el) {
      host = el;
      paint();
      loadList(true);
    },
    unmount() {
      if (observer) observer.disconnect();
      host = null;
      listEl = headEl = bodyEl = progressEl = null;
    },
    refresh() {
      st.thumbs.clear();
      loadList(true);
    },
    reset() {
      seq += 1;
      Object.assign(st, {status: 'idle', drives: [], selected: null, view: 'documents', docs: null,
                         docsFor: null, popups: null, popupsFor: null, unplaced: null, map: null,
                         trash: null, aiDetect: null, aiAuthenticated: null, upload: null});
      st.thumbs.clear();
      thumbQueue = [];
    },
    acceptFiles,
    uploadProgress,
  };
  P.projects = {uploadSummary, boundedProblem};
})(typeof window !== 'undefined' ? window : globalThis);
