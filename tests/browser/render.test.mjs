// How the monitor draws a slots answer: the rows of idle and busy slots, the
// context bar, staleness, the badges and the footer. The answers come from a
// stand-in llama.cpp server through the real program under lighttpd; objects
// pass through the program unchanged, so any answer can be shown.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { pageState, waitForRenders } from './helpers/browser.mjs';
import { useSetup } from './helpers/setup.mjs';

const s = useSetup();

const busy = (fields) => ({ is_processing: true, ...fields });
const idle = (fields) => ({ is_processing: false, ...fields });
// A busy slot given by its token counts.
const counts = (id, n_ctx, n_prompt_tokens, n_prompt_tokens_processed, n_decoded) =>
  busy({ id, n_ctx, n_prompt_tokens, n_prompt_tokens_processed, n_decoded });

// Clicks Refresh and waits for the rendering it causes.
async function refresh(page) {
  const { renders } = await pageState(page);
  await page.getByRole('button', { name: 'Refresh' }).click();
  await waitForRenders(page, renders + 1);
  return pageState(page);
}

describe('slot rows', () => {
  // Each entry: a slot as the answer holds it, and the block it draws
  // (rows as their spans or text, then the bar), or null when it draws none.
  const cases = [
    [
      'the worked example',
      busy({
        id: 1,
        n_ctx: 8192,
        n_prompt_tokens: 5000,
        n_prompt_tokens_processed: 1200,
        n_decoded: 800,
        tg: 41.26,
        pp: 1234.5,
      }),
      [
        ['#1', 'sl-gen|\u25cf gen', 'tg: 41.3 t/s', 'pp: 1235 t/s'],
        'prompt: 5,000   cache: 76.0%',
        'decoded: 800   remain: 2,392 / 8K',
        ['sl-bar warn', '71%'],
      ],
    ],
    ['an idle slot', idle({ id: 0, n_ctx: 4096 }), [['#0  idle', '4K ctx']]],
    ['a null element', null, null],
    ['a zero element', 0, null],
    ['a false element', false, null],
    [
      '69.4% of the context: no warning',
      counts(2, 1000, 600, 600, 94),
      [['#2', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: 600   cache: 0.0%',
        'decoded: 94   remain: 306 / 1000', ['sl-bar', '69%']],
    ],
    [
      '69.5% rounds to 70 and warns',
      counts(3, 1000, 600, 600, 95),
      [['#3', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: 600   cache: 0.0%',
        'decoded: 95   remain: 305 / 1000', ['sl-bar warn', '70%']],
    ],
    [
      '89.4% still warns',
      counts(4, 1000, 800, 400, 94),
      [['#4', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: 800   cache: 50.0%',
        'decoded: 94   remain: 106 / 1000', ['sl-bar warn', '89%']],
    ],
    [
      '89.5% rounds to 90 and is full',
      counts(5, 1000, 800, 0, 95),
      [['#5', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: 800   cache: 100.0%',
        'decoded: 95   remain: 105 / 1000', ['sl-bar full', '90%']],
    ],
    [
      'more used than the context holds',
      counts(6, 1000, 1200, 1200, 300),
      [['#6', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: 1,200   cache: 0.0%',
        'decoded: 300   remain: 0 / 1000', ['sl-bar full', '100%']],
    ],
    [
      'a busy slot without a context size: no bar',
      busy({ id: 7, n_prompt_tokens: 10, n_prompt_tokens_processed: 10, n_decoded: 5, tg: 0,
        pp: 0.5 }),
      [['#7', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 1 t/s'], 'prompt: 10   cache: 0.0%',
        'decoded: 5   remain: 0 / 0'],
    ],
    [
      'present zeros win over the raw members',
      busy({
        id: 8, n_ctx: 0, tg: 0, pp: 0, n_prompt_tokens: 0, n_decoded: 0, n_past: 500,
        timings: { predicted_per_second: 50, prompt_per_second: 60 },
        next_token: [{ n_decoded: 9 }],
      }),
      [['#8', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: 0   cache: 0.0%',
        'decoded: 0   remain: 0 / 0'],
    ],
    [
      'the raw schema: n_past, no timings',
      busy({ id: 9, n_ctx: 4096, n_past: 1000, next_token: [{ n_decoded: 24 }] }),
      [['#9', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: 1,000   cache: 100.0%',
        'decoded: 24   remain: 3,072 / 4K', ['sl-bar', '25%']],
    ],
    [
      'the raw schema: timings, next_token as an object',
      busy({
        id: 10, n_ctx: 2048, n_prompt_tokens: 12345, n_prompt_tokens_processed: 12345,
        timings: { predicted_per_second: 12.34, prompt_per_second: 456.7 },
        next_token: { n_decoded: 99 },
      }),
      [['#10', 'sl-gen|\u25cf gen', 'tg: 12.3 t/s', 'pp: 457 t/s'], 'prompt: 12,345   cache: 0.0%',
        'decoded: 0   remain: 0 / 2K', ['sl-bar full', '100%']],
    ],
    ['context 0', idle({ id: 11, n_ctx: 0 }), [['#11  idle', '0 ctx']]],
    ['context 1023', idle({ id: 12, n_ctx: 1023 }), [['#12  idle', '1023 ctx']]],
    ['context 1024', idle({ id: 13, n_ctx: 1024 }), [['#13  idle', '1K ctx']]],
    ['context 1535', idle({ id: 14, n_ctx: 1535 }), [['#14  idle', '1K ctx']]],
    ['context 1536', idle({ id: 15, n_ctx: 1536 }), [['#15  idle', '2K ctx']]],
    ['numbers sent as text', idle({ id: 16, n_ctx: '4096' }), [['#16  idle', '4K ctx']]],
    // Counts that make no sense draw an empty bar rather than a full one.
    [
      'a negative count',
      busy({ id: 17, n_ctx: 1000, n_prompt_tokens: -500 }),
      [['#17', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: -500   cache: 0.0%',
        'decoded: 0   remain: 1,500 / 1000', ['sl-bar', '0%']],
    ],
    [
      'a count that is not a number',
      busy({ id: 18, n_ctx: 1000, n_prompt_tokens: 'many' }),
      [['#18', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'], 'prompt: 0   cache: 0.0%',
        'decoded: 0   remain: 0 / 1000', ['sl-bar', '0%']],
    ],
    ['markup in an idle id', idle({ id: '<b>x</b>', n_ctx: 0 }), [['#<b>x</b>  idle', '0 ctx']]],
    [
      'markup in a busy id',
      busy({ id: '<img src=x onerror=alert(1)>&amp;', n_ctx: 100 }),
      [['#<img src=x onerror=alert(1)>&amp;', 'sl-gen|\u25cf gen', 'tg: 0.0 t/s', 'pp: 0 t/s'],
        'prompt: 0   cache: 0.0%', 'decoded: 0   remain: 100 / 100', ['sl-bar', '0%']],
    ],
  ];

  it('draws each kind of slot to the character', async () => {
    s.answers.slots('rows', { slots: cases.map((c) => c[1]) });
    const page = await s.open({ url: s.answers.address('rows') });
    const state = await pageState(page);

    assert.equal(state.title, `Slots (${cases.length})`);
    const drawn = cases.filter((c) => c[2] !== null);
    assert.equal(state.slots.length, drawn.length);
    drawn.forEach(([name, , want], i) => {
      const got = state.slots[i];
      const rows = got.rows.map((row) => (row.spans.length ? row.spans : row.text));
      const wantBar = Array.isArray(want.at(-1)) && want.at(-1)[0].startsWith('sl-bar');
      assert.deepEqual(rows, wantBar ? want.slice(0, -1) : want, name);
      assert.deepEqual(got.bar && [got.bar.cls, got.bar.width], wantBar ? want.at(-1) : null, name);
      const kinds = got.rows.map((r) => r.cls);
      const busyKinds = ['sl-row sl-act-head', 'sl-row sl-detail', 'sl-row sl-detail'];
      assert.deepEqual(kinds, rows.length === 1 ? ['sl-row sl-idle'] : busyKinds, name);
    });
    // Nothing of the answer became markup.
    const elements = await page.evaluate(() =>
      [...document.getElementById('card').querySelectorAll('*')].map((e) => e.tagName)
    );
    assert.deepEqual([...new Set(elements)].sort(), ['DIV', 'I', 'SPAN']);
    assert.equal(await page.title(), 'Slots Monitor \u00b7 VELUNORA BOT');
  });

  it('paints the bar by its class and width', async () => {
    s.answers.slots('bars', {
      slots: [
        busy({ id: 0, n_ctx: 100, n_prompt_tokens: 10 }),
        busy({ id: 1, n_ctx: 100, n_prompt_tokens: 75 }),
        busy({ id: 2, n_ctx: 100, n_prompt_tokens: 95 }),
      ],
    });
    const page = await s.open({ url: s.answers.address('bars') }, { reducedMotion: 'reduce' });
    const bars = await page.evaluate(() =>
      [...document.querySelectorAll('.sl-bar')].map((bar) => {
        const track = bar.getBoundingClientRect().width;
        const fill = bar.firstElementChild.getBoundingClientRect().width;
        const color = (name) => {
          const probe = document.createElement('b');
          probe.style.color = `var(${name})`;
          document.body.appendChild(probe);
          const value = getComputedStyle(probe).color;
          probe.remove();
          return value;
        };
        return {
          share: Math.round((fill / track) * 100),
          same: ['--blue', '--orange', '--red'].map(color),
          fill: getComputedStyle(bar.firstElementChild).backgroundColor,
        };
      })
    );
    assert.deepEqual(bars.map((b) => b.share), [10, 75, 95]);
    assert.deepEqual(bars.map((b, i) => b.fill === b.same[i]), [true, true, true]);
  });
});

describe('staleness, badges and footer', () => {
  const E = 1_700_000_000;
  const slot = idle({ id: 0, n_ctx: 2048 });

  it('is stale only when updated_epoch is a number more than 15 s old', async () => {
    s.answers.slots('stale', { updated_epoch: E, slots: [slot] });
    const page = await s.open(
      { url: s.answers.address('stale') },
      { clock: (E + 15) * 1000 + 999, reducedMotion: 'reduce' }
    );
    const cases = [
      // [updated_epoch, browser time in ms, stale]
      [E, (E + 15) * 1000 + 999, false],
      [E, (E + 16) * 1000, true],
      [E, (E + 3600) * 1000, true],
      [String(E), (E + 3600) * 1000, false],
      [E + 1000, E * 1000, false],
      [undefined, (E + 3600) * 1000, false],
    ];
    for (const [epoch, now, stale] of cases) {
      s.answers.slots('stale', { updated_epoch: epoch, slots: [slot, null] });
      await page.clock.setSystemTime(now);
      const state = await refresh(page);
      const label = `${epoch} at ${now}`;
      assert.equal(state.dot, stale ? 'dot stale' : 'dot live', label);
      assert.equal(state.title, stale ? 'Slots (2) \u00b7 stale' : 'Slots (2)', label);
      assert.equal(state.stale, stale, label);
      const opacity = await page.evaluate(
        () => getComputedStyle(document.getElementById('card')).opacity
      );
      assert.equal(opacity, stale ? '0.6' : '1', label);
    }
  });

  it('shows the badges and the footer, and keeps them after an error', async () => {
    s.answers.slots('badges', { braxel: true, url: 'http://gpu-box:8080/slots', slots: [slot] });
    const page = await s.open({ url: s.answers.address('badges') });
    let state = await pageState(page);
    assert.equal(state.braxel, true);
    assert.equal(state.source, 'URL');
    assert.equal(state.srcLbl, 'http://gpu-box:8080/slots');
    const time = await page.evaluate(() => new Date().toLocaleTimeString());
    assert.equal(state.tsLbl, `updated ${time}`);
    const look = await page.evaluate(() => {
      const style = (id) => getComputedStyle(document.getElementById(id));
      return [style('srcBadge').textTransform, style('braxelBadge').textTransform];
    });
    assert.deepEqual(look, ['uppercase', 'uppercase']);

    // Without braxel or url: the badge hides, the left label empties.
    s.answers.slots('badges', { braxel: 0, slots: [slot] });
    state = await refresh(page);
    assert.equal(state.braxel, false);
    assert.equal(state.source, 'URL');
    assert.equal(state.srcLbl, '');

    // An error after good data leaves the source badge and the footer alone.
    s.answers.slots('badges', { braxel: true, url: 'http://gpu-box:8080/slots', slots: [slot] });
    await refresh(page);
    await page.clock.setSystemTime(Date.now() + 60_000);
    s.answers.slots('badges', { error: 'model crashed', braxel: true, slots: [slot] });
    state = await refresh(page);
    assert.equal(state.dot, 'dot err');
    assert.equal(state.title, 'Slots Monitor');
    assert.equal(state.braxel, false);
    assert.equal(state.message, 'sl-err: model crashed');
    assert.equal(state.slots.length, 0);
    assert.equal(state.source, 'URL');
    assert.equal(state.srcLbl, 'http://gpu-box:8080/slots');
    assert.equal(state.tsLbl, `updated ${time}`);
  });
});
