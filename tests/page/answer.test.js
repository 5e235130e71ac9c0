'use strict';
// The answer window's Markdown renderer: the marked block of resources/ai_popup_web.html, which
// the program copies into the answer page.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const vm = require('vm');

const page = fs.readFileSync(path.join(__dirname, '..', '..', 'resources', 'ai_popup_web.html'),
                             'utf8');
const begin = page.indexOf('// ── MD_BEGIN');
const end = page.indexOf('// ── MD_END ──', begin);
const md = vm.createContext({});
vm.runInContext(page.slice(begin, end), md);
const render = (text) => md.renderMarkdown(text, []);

test('answers keep their Markdown', () => {
  assert.equal(render('# 제목 ##\n\n**굵게** *기울임* ***둘 다*** __굵게__ _기울임_ ~~지움~~'),
               '<h1>제목</h1><p><strong>굵게</strong> <em>기울임</em> ' +
               '<strong><em>둘 다</em></strong> <strong>굵게</strong> <em>기울임</em> ' +
               '<del>지움</del></p>');
  assert.equal(render('`a<b` and ``x ` y`` and snake_case_name and 2 * 3 * 4'),
               '<p><code>a&lt;b</code> and <code>x ` y</code> and snake_case_name and ' +
               '2 * 3 * 4</p>');
  assert.equal(render('[문서](https://example.com/a_(b) "제목") and [no] (link) and [a [b](c)'),
               '<p><a class="link" title="https://example.com/a_(b)">문서</a> and [no] (link) ' +
               'and <a class="link" title="c">a [b</a></p>');
  assert.equal(render('> 인용\n> > 안쪽\n\n- 하나\n  - 둘\n3. 셋'),
               '<blockquote><p>인용</p><blockquote><p>안쪽</p></blockquote></blockquote>' +
               '<ul><li>하나<ul><li>둘</li></ul></li></ul><ol start="3"><li>셋</li></ol>');
  assert.equal(render('| a | b |\n|:-|-:|\n| 1 | `|` |'),
               '<div class="table"><table><thead><tr><th>a</th><th class="r">b</th></tr>' +
               '</thead><tbody><tr><td>1</td><td class="r"><code>|</code></td></tr></tbody>' +
               '</table></div>');
  assert.equal(render('```js\n<b>\n```\n---'),
               '<pre><code data-lang="js">&lt;b&gt;</code></pre><hr>');
  const maths = [];
  assert.equal(md.renderMarkdown('$x^2$ 과 $5 와 \\(y\\)\n$$\nz\n$$', maths),
               '<p><span class="tex" data-math="1"></span> 과 $5 와 ' +
               '<span class="tex" data-math="0"></span></p>' +
               '<span class="tex tex-block" data-math="2"></span>');
  assert.deepEqual(maths.map((m) => m.tex), ['y', 'x^2', '\nz\n']);
  // What the answer says never becomes markup.
  assert.equal(render('<img src=x onerror=alert(1)> "q" & \'s\''),
               '<p>&lt;img src=x onerror=alert(1)&gt; &quot;q&quot; &amp; &#39;s&#39;</p>');
});

test('deep quotes and wide tables stay bounded', () => {
  const quoted = render('>'.repeat(50) + ' 끝');
  assert.equal(quoted.split('<blockquote>').length - 1, md.mdQuoteDepth);
  assert.ok(quoted.includes('&gt;'.repeat(50 - md.mdQuoteDepth) + ' 끝'));
  const wide = (n) => '|' + 'a|'.repeat(n) + '\n|' + '-|'.repeat(n) + '\n|' + 'b|'.repeat(n);
  assert.ok(render(wide(md.mdTableColumns)).startsWith('<div class="table">'));
  assert.ok(render(wide(md.mdTableColumns + 1)).startsWith('<p>'), 'a paragraph, nothing lost');

  // Each short row makes a whole row of cells: 64 columns and 50,000 rows of one character would
  // be 3.2 million cells. An answer's tables share one budget of cells; what is past it is text.
  const columns = md.mdTableColumns;
  const rows = Math.floor((md.mdTableCells - columns) / columns);
  const tall = wide(columns) + '\n|'.repeat(50000) + '\n\n' + wide(columns);
  const html = render(tall);
  const count = (part) => html.split(part).length - 1;
  assert.equal(count('<th>'), columns);
  assert.equal(count('<td>'), rows * columns, 'the rows that fit');
  assert.equal(count('<table>'), 1, 'a later table that does not fit is text too');
  assert.ok(html.length < 1e6, `${html.length} characters of markup`);
  assert.ok(html.endsWith('<br>|' + 'b|'.repeat(columns) + '</p>'), html.slice(-80));
  assert.equal(count('<br>|'), 50000 - rows + 2, 'every row past the budget is still there');
  // The budget is the answer's, not the table's: quoted tables draw from it as well.
  const inQuotes = render(('> ' + wide(columns).replace(/\n/g, '\n> ') + '\n\n').repeat(200));
  assert.ok(inQuotes.split('<td').length - 1 <= md.mdTableCells);
});

// The processor time of the fastest of five renderings, in milliseconds: on a busy machine the
// time on the clock grows with the waits for a processor, the processor time does not.
function timed(text) {
  let best = Infinity;
  for (let i = 0; i < 5; i++) {
    const start = process.cpuUsage();
    render(text);
    const used = process.cpuUsage(start);
    best = Math.min(best, (used.user + used.system) / 1000);
  }
  return best;
}

test('hostile answers take time in proportion to their length', () => {
  // Each builds an answer of about n characters; quadratic work would take 64 times as long
  // for eight times the text.
  const hostile = {
    'unclosed strong': (n) => '**a '.repeat(n / 4),
    'unclosed strong emphasis': (n) => '***a '.repeat(n / 5),
    'unclosed low lines': (n) => '__a '.repeat(n / 4),
    'unclosed strike': (n) => '~~a '.repeat(n / 4),
    'unclosed links': (n) => '[a '.repeat(n / 3),
    'labels without targets': (n) => '[a](b '.repeat(n / 6),
    'unclosed formulas': (n) => '\\(a '.repeat(n / 4),
    'unmatched backticks': (n) => Array.from({length: n / 40}, (_, i) => '`'.repeat(i % 9 + 1) +
                                                 'x'.repeat(30)).join(''),
    'deep quotes': (n) => '>'.repeat(n),
    'quoted lines': (n) => '> > > > > > > > > > a\n'.repeat(n / 22),
    'unclosed display lines': (n) => '\\[a\n'.repeat(n / 4),
    'wide table': (n) => '|a'.repeat(n / 8) + '\n' + '|-'.repeat(n / 8) + '\n' + '|\n'.repeat(n / 4),
    'spaced heading': (n) => '# x' + ' '.repeat(n) + 'y',
    'dollar escapes': (n) => '$a\\$'.repeat(n / 4),
    'indented list': (n) => ' '.repeat(n) + 'x',
  };
  // Work done elsewhere in the process (its garbage collector) can spoil one measurement; growth
  // that is really quadratic shows every time.
  const n = 10000;
  for (const [name, make] of Object.entries(hostile)) {
    render(make(n));  // warms the engine up
    let seen = '';
    for (let attempt = 0; attempt < 3; attempt++) {
      const small = Math.max(timed(make(n)), 1);
      const large = timed(make(8 * n));
      seen += ` ${small.toFixed(1)} ms, then ${large.toFixed(1)} ms;`;
      if (large < 30 * small) break;
      assert.ok(attempt < 2, `${name}:${seen}`);
    }
  }
});
