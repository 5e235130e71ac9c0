// What each failure the app can answer means to the user, in Korean: what happened and what to do.
(function (root) {
  'use strict';
  const P = root.Parlendo || (root.Parlendo = {});

  const RETRY = '잠시 후 다시 시도해 주세요.';

  // Codes of the reply envelope's "msg" (sign-in, account, feedback, saving, credentials, theme).
  const CODES = {
    AUTH_LOGIN_FAILED: '이메일 또는 비밀번호가 맞지 않아요.',
    AUTH_EMAIL_NOT_CONFIRMED:
      '메일 인증이 아직 끝나지 않았어요. 받은 메일(스팸함 포함)의 [이메일 인증하기] 버튼을 눌러 주세요.',
    AUTH_NETWORK_UNAVAILABLE: '서버에 연결하지 못했어요. 인터넷 연결을 확인해 주세요.',
    AUTH_REAUTH_REQUIRED: '로그인이 필요해요. 다시 로그인해 주세요.',
    AUTH_SIGNUP_WEAK_PASSWORD:
      '흔하거나 유출된 적 있는 비밀번호라 쓸 수 없어요. 다른 곳에서 안 쓰는 긴 비밀번호로 해 주세요 (예: 단어 3~4개 + 숫자)',
    AUTH_SIGNUP_EMAIL_EXISTS: '이미 가입된 메일이에요. 로그인해 주세요.',
    AUTH_SIGNUP_EMAIL_INVALID: '이메일 주소를 확인해 주세요.',
    AUTH_SIGNUP_FAILED: '회원가입하지 못했어요. ' + RETRY,
    AUTH_EMAIL_RATE_LIMIT: '인증 메일을 너무 자주 요청했어요. ' + RETRY,
    AUTH_REQUEST_RATE_LIMIT: '요청이 너무 많아요. ' + RETRY,
    AUTH_RESEND_FAILED: '인증 메일을 다시 보내지 못했어요. ' + RETRY,
    AUTH_PASSWORD_CHANGE_INTERRUPTED:
      '비밀번호를 바꾸는 사이에 로그아웃됐어요. 재설정 메일의 링크를 다시 눌러 주세요.',
    AUTH_ADMISSION_CLOSED: '로그인이 필요해요. 다시 로그인한 뒤 보내 주세요.',
    AUTH_STALE_COMPLETION: '그사이 로그인한 계정이 바뀌어 이 결과는 버렸어요. 화면을 새로 고쳤어요.',
    AUTH_RESET_CREDENTIALS_UNCONFIRMED:
      '저장된 로그인 정보를 지웠는지 확인하지 못했어요. 앱을 다시 켠 뒤 한 번 더 해 주세요.',
    ACCOUNT_DELETE_FAILED: '계정을 삭제하지 못했어요. ' + RETRY,
    ACCOUNT_DELETE_WRONG_PASSWORD: '비밀번호가 맞지 않아요.',
    ACCOUNT_DELETE_RATE_LIMITED: '요청이 너무 잦아요. ' + RETRY,
    ACCOUNT_DELETE_NO_RESPONSE:
      '응답을 받지 못했어요. 계정이 이미 삭제됐을 수 있어요. 다시 로그인해 보세요.',
    ACCOUNT_CLEANUP_NOT_OFFERED: '정리할 것이 없어요. 이미 정리됐거나 다른 계정으로 로그인돼 있어요.',
    FEEDBACK_TEXT_INVALID: '의견을 1자 이상 2,000자 이하로 써 주세요.',
    FEEDBACK_UNAVAILABLE: '지금은 의견을 받을 수 없어요. 나중에 다시 보내 주세요.',
    FEEDBACK_RATE_LIMITED: '의견을 너무 자주 보냈어요. ' + RETRY,
    FEEDBACK_NETWORK: '서버에 닿지 못했어요. 인터넷 연결을 확인하고 다시 보내 주세요.',
    FEEDBACK_FAILED: '의견을 보내지 못했어요. ' + RETRY,
    SAVE_NOT_CONFIRMED: '저장됐는지 확인하지 못했어요. 새로 고침(F5)으로 지금 상태를 확인해 주세요.',
    server_contract_unavailable:
      '서버가 아직 이 기능을 지원하지 않아요. 앱을 최신 버전으로 업데이트하거나 나중에 다시 시도해 주세요.',
    REQUEST_FAILED: '요청을 처리하지 못했어요. ' + RETRY,
    CREDENTIAL_WRITE_FAILED:
      'AI 키를 저장하지 못했어요. 키를 확인하고 다시 저장해 주세요. 로그인돼 있어야 저장할 수 있어요.',
    CREDENTIAL_DELETE_FAILED: 'AI 키를 지우지 못했어요. 다시 시도해 주세요.',
    CREDENTIAL_STORE_NOT_ANSWERING:
      '비밀번호 저장소가 답하지 않아 AI 키를 읽거나 저장하지 못했어요. ' + RETRY,
    UI_THEME_UNAVAILABLE:
      '이번 실행에서는 시스템 설정으로 되돌릴 수 없어요. 앱을 다시 시작하면 시스템 설정을 따라요.',
  };

  // "error_code" of a save that was not confirmed.
  const SAVE_CODES = {
    transport_or_response_unknown:
      '서버의 답을 받지 못해 저장됐는지 알 수 없어요. 새로 고침(F5)으로 확인해 주세요.',
    contract_or_permission_rejected:
      '서버가 이 변경을 받지 않았어요. 이미 지워졌거나 바뀐 항목일 수 있어요. 새로 고침(F5)한 뒤 다시 해 주세요.',
    server_contract_unavailable: CODES.server_contract_unavailable,
    invalid_review_payload: '복습 결과를 저장할 수 없는 단어예요. 새로 고침(F5)한 뒤 다시 해 주세요.',
    request_authentication: CODES.AUTH_REAUTH_REQUIRED,
    operation_conflict: '같은 복습 기록이 이미 다른 내용으로 저장돼 있어요.',
    readback_unavailable: '서버가 저장했는지 아직 확인하지 못했어요. 잠시 뒤 다시 확인할게요.',
  };

  // The "error" of a project reply's data.
  const DRIVE_CODES = {
    name_invalid: '이름을 1자 이상 40자 이하로 써 주세요.',
    prompt_invalid: '지시문을 1자 이상 300자 이하로 써 주세요.',
    drive_not_found: '프로젝트를 찾을 수 없어요. 휴지통으로 옮겨졌거나 지워졌을 수 있어요.',
    drive_not_deletable: '단어장 프로젝트는 이름을 바꾸거나 지울 수 없어요.',
    drive_not_study: '단어장 프로젝트에는 AI 팝업을 만들 수 없어요.',
    not_found: '항목을 찾을 수 없어요. 이미 지워졌을 수 있어요. 새로 고침(F5)해 주세요.',
    document_not_found: '문서를 찾을 수 없어요. 이미 지워졌을 수 있어요.',
    server_error: '서버가 요청을 처리하지 못했어요. ' + RETRY,
    auth_required: '로그인이 필요해요. 다시 로그인해 주세요.',
    network_unavailable: '서버에 연결하지 못했어요. 인터넷 연결을 확인해 주세요.',
    quota_exceeded: '사용 한도를 넘었어요. 나중에 다시 시도해 주세요.',
    user_text_quota_exceeded: '올릴 수 있는 글의 양을 넘었어요. 다른 문서를 지우거나 나중에 다시 시도해 주세요.',
    conflict: '같은 항목이 이미 있어요.',
    setting_write_failed: '설정을 저장하지 못했어요. 로그인돼 있는지 확인하고 다시 시도해 주세요.',
    no_window: '파일을 고르는 창을 열지 못했어요. 관리 창을 다시 열고 시도해 주세요.',
    file_not_found: 'PDF 파일을 찾을 수 없어요. 파일이 옮겨졌거나 지워졌는지 확인해 주세요.',
    pdf_unreadable: 'PDF를 열 수 없어요. 암호가 걸렸거나 손상된 파일일 수 있어요.',
    page_count_out_of_range: '쪽이 없거나 3,000쪽이 넘는 PDF는 올릴 수 없어요.',
    page_text_too_long: '글이 너무 많은 쪽이 있어 올릴 수 없어요 (한 쪽에 20,000자까지).',
    batch_size_out_of_range: '쪽 묶음을 서버가 받지 않았어요. 다시 올려 주세요.',
    page_no_out_of_range: '쪽 번호가 맞지 않아 올리지 못했어요. 다시 올려 주세요.',
    pages_incomplete: '쪽이 다 올라가지 않았어요. 다시 올려 주세요.',
    toc_invalid: '목차를 읽을 수 없어 올리지 못했어요.',
    upload_interrupted: '연결이 끊겨 올리기를 멈췄어요. 올리던 문서는 지웠어요. 다시 올려 주세요.',
    not_pdf: 'PDF 파일만 연결할 수 있어요.',
    file_name_invalid:
      '파일 이름에 읽을 수 없는 글자가 있어 올릴 수 없어요. 파일 이름을 바꾼 뒤 다시 올려 주세요.',
    different_file: '올렸던 문서와 내용이 다른 파일이에요. 같은 PDF를 골라 주세요.',
    thread_turn_limit: '이 대화는 더 이어갈 수 없어요 (추가 질문은 20번까지).',
    not_authenticated: '로그인이 필요해요. 다시 로그인해 주세요.',
  };

  // The "status"/"reason" of a custom-popup draft.
  const DRAFT_CODES = {
    invalid_description: '원하는 팝업을 1자 이상 2,000자 이하로 설명해 주세요.',
    no_session: '로그인이 필요해요. 다시 로그인해 주세요.',
    no_key: 'AI로 초안을 만들려면 먼저 설정에서 AI API 키를 저장해 주세요.',
    stale_credentials: '초안을 만드는 사이 계정이나 AI 키가 바뀌어 결과를 버렸어요. 다시 시도해 주세요.',
    timeout: 'AI의 답이 너무 늦어요. 잠시 후 다시 시도해 주세요.',
    unreachable: 'AI 서비스에 연결하지 못했어요. 인터넷 연결을 확인해 주세요.',
    key_or_request_rejected: 'AI 서비스가 요청을 거절했어요. 저장한 AI API 키가 맞는지 확인해 주세요.',
    model_unavailable: 'AI 모델을 지금 쓸 수 없어요. 나중에 다시 시도해 주세요.',
    rate_limited: 'AI 요청이 너무 많아요. 잠시 후 다시 시도해 주세요.',
    provider_unavailable: 'AI 서비스가 지금 답하지 않아요. 나중에 다시 시도해 주세요.',
    no_call: 'AI가 팝업 설정을 만들지 못했어요. 원하는 내용을 조금 더 구체적으로 설명해 주세요.',
    malformed_proposal: 'AI가 만든 초안을 쓸 수 없었어요. 설명을 바꿔 다시 시도해 주세요.',
  };

  // A request that failed, said as what happened to it.
  const REQUEST_FAILURES = {
    rejected: (status) => '서버가 이 요청을 받지 않았어요' + (status ? ' (응답 ' + status + ')' : '') +
      '. 잠시 후 다시 시도하고, 계속되면 앱을 최신 버전으로 업데이트해 주세요.',
    timeout: () => '서버의 답이 너무 늦어요. ' + RETRY,
    unavailable: () => '서버에 연결하지 못했어요. 인터넷 연결을 확인하고 다시 시도해 주세요.',
    quota: () => '요청이 너무 많아요. ' + RETRY,
    bad_shape: () => '서버의 답을 읽지 못했어요. ' + RETRY,
  };

  function requestFailed(result) {
    const say = lookup(REQUEST_FAILURES, result.failure);
    return say ? say(result.status) : CODES.REQUEST_FAILED;
  }

  function generic(code) {
    return '알 수 없는 문제가 생겼어요. ' + RETRY + (code ? ' (코드: ' + code + ')' : '');
  }

  function lookup(table, code) {
    return typeof code === 'string' && Object.prototype.hasOwnProperty.call(table, code)
      ? table[code]
      : null;
  }

  // The message for a failed bridge result (see bridge.js: {ok:false, code, errorClass, save,
  // drive, failure, status}). `context` may give texts that suit one call better than the general
  // ones: {REQUEST_FAILED: '...'}, and `doing`: what was being done, said before what happened to
  // a request that failed on its way.
  function messageFor(result, context) {
    if (!result || typeof result !== 'object') return generic('');
    const ctx = context || {};
    const code = typeof result.code === 'string' ? result.code : '';
    if (result.drive) {
      return lookup(ctx, code) || lookup(DRIVE_CODES, code) || generic(code);
    }
    if (result.draft) {
      return lookup(ctx, code) || lookup(DRAFT_CODES, code) || generic(code);
    }
    if (code === 'SAVE_NOT_CONFIRMED' || code === 'server_contract_unavailable') {
      const saveCode = result.save && typeof result.save.error_code === 'string'
        ? result.save.error_code : '';
      return lookup(ctx, code) || lookup(SAVE_CODES, saveCode) || lookup(CODES, code);
    }
    if (result.errorClass === 'stale' || code === 'AUTH_STALE_COMPLETION') {
      return CODES.AUTH_STALE_COMPLETION;
    }
    // A request that failed on its way says what happened to it, after what was being done.
    if (code === 'REQUEST_FAILED' && lookup(REQUEST_FAILURES, result.failure)) {
      return (typeof ctx.doing === 'string' ? ctx.doing + ' ' : '') + requestFailed(result);
    }
    return lookup(ctx, code) || lookup(CODES, code) || generic(code);
  }

  // A failure code of a text that is not one of ours (for example a bare message).
  function isKnownCode(code) {
    return [CODES, SAVE_CODES, DRIVE_CODES, DRAFT_CODES].some((t) => lookup(t, code) !== null);
  }

  function saveCodeText(code) {
    return lookup(SAVE_CODES, code) || generic(code);
  }

  function driveText(code) {
    return lookup(DRIVE_CODES, code) || generic(code);
  }

  P.errors = {messageFor, isKnownCode, saveCodeText, driveText, generic,
              CODES, SAVE_CODES, DRIVE_CODES, DRAFT_CODES};
})(typeof window !== 'undefined' ? window : globalThis);
