// The page's figures and their arithmetic (assets/page/slot_math.js) under
// node: the slot schemas, the live speeds, the token counts, the context bar.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { pure } from './pieces.mjs';

const m = pure([
  'normSlot', 'measured', 'rate', 'slotRows', 'tokenCounts', 'ctxFill', 'barClass',
  'busyFigures', 'isStale', 'hasSlots', 'fmtCtx', 'fmtNum', 'oneLine', 'errText',
]);

// Runs each case through `fn`; a case is [name, ...arguments, expected].
function table(fn, cases) {
  for (const c of cases) assert.deepEqual(fn(...c.slice(1, -1)), c.at(-1), c[0]);
}

// What normSlot gives, from the fields that differ from an empty slot.
const norm = (fields) => ({
  id: undefined, is_processing: false, n_ctx: 0, tg: 0, pp: 0, n_prompt_tokens: 0,
  n_prompt_tokens_processed: 0, n_decoded: 0, ...fields,
});

describe('slot schemas', () => {
  it('reads the flat and the raw schema into one', () => {
    const timings = { predicted_per_second: 12.34, prompt_per_second: 456.7 };
    table(m.normSlot, [
      ['flat', { id: 1, is_processing: 1, n_ctx: '8192', tg: 41.26, pp: 1234.5,
        n_prompt_tokens: 5000, n_prompt_tokens_processed: 1200, n_decoded: 800 },
      norm({ id: 1, is_processing: true, n_ctx: 8192, tg: 41.26, pp: 1234.5, n_prompt_tokens: 5000,
        n_prompt_tokens_processed: 1200, n_decoded: 800 })],
      ['raw: n_past, timings, next_token', { id: 2, n_ctx: 4096, is_processing: true, n_past: 1000,
        timings, next_token: [{ n_decoded: 24 }] },
      norm({ id: 2, is_processing: true, n_ctx: 4096, tg: 12.34, pp: 456.7, n_prompt_tokens: 1000,
        n_decoded: 24 })],
      ['present zeros win over the raw members', { tg: 0, pp: 0, n_prompt_tokens: 0, n_decoded: 0,
        n_past: 500, timings, next_token: [{ n_decoded: 9 }] }, norm({})],
      ['next_token as an object', { next_token: { n_decoded: 99 } }, norm({})],
      ['a count that is not a number', { n_prompt_tokens: 'many' }, norm({ n_prompt_tokens: NaN })],
      // Only a number is the cached count, and its presence changes the counts.
      ['n_prompt_tokens_cache 0', { n_prompt_tokens_cache: 0 }, norm({ n_prompt_tokens_cache: 0 })],
      ['n_prompt_tokens_cache as text', { n_prompt_tokens_cache: '250' }, norm({})],
      ['n_prompt_tokens_cache null', { n_prompt_tokens_cache: null }, norm({})],
    ]);
  });

  it('measures only busy server slots that name a task and send no speed', () => {
    const busy = { is_processing: true, id_task: 7 };
    table(m.measured, [
      ['a busy slot with a task', busy, true],
      ['task 0', { ...busy, id_task: 0 }, true],
      ['idle', { ...busy, is_processing: false }, false],
      ['no task', { is_processing: true }, false],
      ['task null', { ...busy, id_task: null }, false],
      ['sends tg', { ...busy, tg: 0 }, false],
      ['sends pp', { ...busy, pp: 0 }, false],
      ['sends timings', { ...busy, timings: {} }, false],
    ]);
  });

  it('keeps the slots that are not falsy, and tracks measured ones by id and its type', () => {
    const busy = (id) => ({ id, is_processing: true, id_task: 1, n_prompt_tokens_processed: 5 });
    const slots = [busy(0), null, { id: 1 }, 0, busy('0'), { ...busy(2), tg: 3 }];
    const got = m.slotRows(slots, undefined, 0);
    assert.deepEqual(got.rows.map((r) => [r.n.id, r.live !== null]), [
      [0, true], [1, false], ['0', true], [2, false],
    ]);
    assert.deepEqual([...got.kept.keys()], ['number:0', 'string:0']);
  });

  it('tells answers with slots, and stale ones', () => {
    table(m.hasSlots, [
      ['slots', { slots: [null] }, true],
      ['an empty error', { error: '', slots: [0] }, true],
      ['an error', { error: 'x', slots: [0] }, false],
      ['no slots', { slots: [] }, false],
      ['slots not an array', { slots: {} }, false],
      ['no answer', null, false],
    ]);
    const E = 1_700_000_000;
    table(m.isStale, [
      ['15.999 s old', { updated_epoch: E }, (E + 15) * 1000 + 999, false],
      ['16 s old', { updated_epoch: E }, (E + 16) * 1000, true],
      ['as text', { updated_epoch: String(E) }, (E + 3600) * 1000, false],
      ['from the future', { updated_epoch: E + 1000 }, E * 1000, false],
      ['none', {}, (E + 3600) * 1000, false],
    ]);
  });
});

describe('live speeds', () => {
  // Feeds a measured slot's answers through slotRows, each with the tracks
  // the last one kept; a row is [ms, task, n_prompt_tokens_processed,
  // n_decoded] and then, when checked, [tg, pp] rounded to 0.1.
  function run(name, rows) {
    let kept;
    for (const [t, task, proc, dec, want] of rows) {
      const slot = { id: 0, is_processing: true, id_task: task, n_prompt_tokens_processed: proc,
        next_token: [{ n_decoded: dec }] };
      const got = m.slotRows([slot], kept, t);
      kept = got.kept;
      const { tg, pp } = got.rows[0].live;
      const round = (v) => (v === null ? null : Math.round(v * 10) / 10);
      if (want) assert.deepEqual([round(tg), round(pp)], want, `${name} at ${t} ms`);
    }
  }
  const pace = (t) => (t <= 4500 ? 100 + 0.1 * t : 550 + 0.3 * (t - 4500));

  const cases = [
    ['a rate once the answers span 1 s', [[0, 1, 9, 50, [null, null]],
      [500, 1, 9, 100, [null, null]], [1000, 1, 9, 150, [100, null]],
      [1500, 1, 9, 200, [100, null]]]],
    ['999 ms is too short', [[0, 1, 9, 10], [999, 1, 9, 110, [null, null]]]],
    // Two answers at the same time: the later one stands for both.
    ['the same time twice', [[0, 1, 9, 10], [0, 1, 9, 20], [1000, 1, 9, 120, [100, null]]]],
    // The prompt read at 400 t/s, kept once read; tg from the first decoded
    // token on.
    ['prompt then tokens', [[0, 1, 0, 0, [null, null]], [1500, 1, 600, 0, [null, 400]],
      [3000, 1, 600, 45, [null, 400]], [4500, 1, 600, 90, [30, 400]],
      [7500, 1, 600, 180, [30, 400]], [9000, 1, 600, 225, [30, 400]]]],
    ['least squares: one late answer moves the rate little',
      [[0, 1, 9, 0], [1000, 1, 9, 100], [2500, 1, 9, 200], [3000, 1, 9, 300, [92.3, null]]]],
    ['a new pace shows within the 6 s window', Array.from({ length: 9 }, (_, i) => {
      const t = 1500 * i;
      return [t, 1, 9, pace(t), { 1: [100, null], 7: [300, null], 8: [300, null] }[i]];
    })],
    // The window holds an answer exactly 6 s old, not an older one.
    ['the window edge', [[0, 1, 9, 10], [6000, 1, 9, 610, [100, null]], [12001, 1, 9, 1210],
      [13001, 1, 9, 1410, [200, null]]]],
    ['another task starts afresh', [[0, 1, 9, 10], [1000, 1, 9, 110, [100, null]],
      [2000, 2, 9, 210, [null, null]], [3000, 2, 9, 310, [100, null]]]],
    ['n_decoded going back starts afresh', [[0, 1, 9, 500], [1000, 1, 9, 600, [100, null]],
      [2000, 1, 9, 50, [null, null]]]],
    ['n_prompt_tokens_processed going back starts afresh', [[0, 1, 0, 0],
      [1000, 1, 500, 0, [null, 500]], [2000, 1, 100, 0, [null, null]]]],
  ];
  for (const [name, rows] of cases) it(name, () => run(name, rows));

  it('fits a line through the samples, or none over less than 1 s', () => {
    const at = (...pts) => pts.map(([t, v]) => ({ t, v }));
    table(m.rate, [
      ['one sample', at([0, 1]), 'v', null],
      ['999 ms', at([0, 0], [999, 100]), 'v', null],
      ['exact', at([0, 0], [1000, 50], [2000, 100]), 'v', 50],
      ['falling', at([0, 100], [2000, 0]), 'v', -50],
      ['flat', at([0, 7], [1000, 7]), 'v', 0],
    ]);
  });
});

describe('counts and the context', () => {
  it('counts the prompt, its cached part and the context used', () => {
    const n = (p, proc, dec, cache) => ({ n_prompt_tokens: p, n_prompt_tokens_processed: proc,
      n_decoded: dec, ...(cache === undefined ? {} : { n_prompt_tokens_cache: cache }) });
    table(m.tokenCounts, [
      ['cache reported', n(1500, 750, 500, 250), { prompt: 1000, cached: 250, used: 1500 }],
      ['more generated than counted', n(100, 0, 150, 0), { prompt: 0, cached: 0, used: 100 }],
      ['no cache reported', n(1500, 1250, 500), { prompt: 1500, cached: 250, used: 2000 }],
      ['more processed than the prompt', n(600, 700, 0), { prompt: 600, cached: 0, used: 600 }],
    ]);
  });

  it('fills the bar in whole percent and warns from 70 %, full from 90 %', () => {
    const fill = (used, ctx) => {
      const f = m.ctxFill(used, ctx);
      return f === null ? null : [f, m.barClass(f)];
    };
    table(fill, [
      ['69.4 %', 694, 1000, [69, 'sl-bar']],
      ['69.5 % rounds to 70', 695, 1000, [70, 'sl-bar warn']],
      ['89.4 %', 894, 1000, [89, 'sl-bar warn']],
      ['89.5 % rounds to 90', 895, 1000, [90, 'sl-bar full']],
      ['more than the context', 1500, 1000, [100, 'sl-bar full']],
      ['negative', -500, 1000, [0, 'sl-bar']],
      ['not a number', NaN, 1000, [0, 'sl-bar']],
      ['no context', 10, 0, null],
      ['a context that is no number', 10, NaN, null],
    ]);
  });

  it('writes the rows of a busy slot', () => {
    const worked = m.normSlot({ id: 1, is_processing: true, n_ctx: 8192, n_prompt_tokens: 5000,
      n_prompt_tokens_processed: 1200, n_decoded: 800, tg: 41.26, pp: 1234.5 });
    const reading = { ...worked, n_decoded: 0 };
    table(m.busyFigures, [
      ['sent speeds', worked, null, { reading: false, tg: 'tg: 41.3 t/s', pp: 'pp: 1235 t/s',
        prompt: 'prompt: 5,000   cache: 76.0%', decoded: 'decoded: 800   remain: 2,392 / 8K',
        fill: 71 }],
      ['measured', worked, { tg: 29.96, pp: 399.5 }, { reading: false, tg: 'tg: 30.0 t/s',
        pp: 'pp: 400 t/s', prompt: 'prompt: 5,000   cache: 76.0%',
        decoded: 'decoded: 800   remain: 2,392 / 8K', fill: 71 }],
      ['not measured yet, reading the prompt', reading, { tg: null, pp: null }, { reading: true,
        tg: 'tg: \u2013 t/s', pp: 'pp: \u2013 t/s', prompt: 'prompt: 5,000   cache: 76.0%',
        decoded: 'decoded: 0   remain: 3,192 / 8K', fill: 61 }],
      ['nothing to count', m.normSlot({ is_processing: true }), null, { reading: false,
        tg: 'tg: 0.0 t/s', pp: 'pp: 0 t/s', prompt: 'prompt: 0   cache: 0.0%',
        decoded: 'decoded: 0   remain: 0 / 0', fill: null }],
    ]);
  });

  it('formats sizes, counts, ids and errors', () => {
    table(m.fmtCtx, [
      ['0', 0, '0'], ['1023', 1023, '1023'], ['1024', 1024, '1K'], ['1535', 1535, '1K'],
      ['1536', 1536, '2K'], ['text', '4096', '4K'], ['no number', 'x', '0'],
    ]);
    table(m.fmtNum, [['thousands', 1234567, '1,234,567'], ['no number', 'x', '0']]);
    table(m.oneLine, [['controls', 'a\nb\tc\u2028d\r\ne  f\u0085', 'a b c d  e  f ']]);
    table(m.errText, [
      ['a message', { message: 'Loading model', code: 503 }, 'Loading model'],
      ['no message', { code: 500 }, '[object Object]'],
      ['a message that is no text', { message: 42 }, '[object Object]'],
      ['an array', ['a', 'b'], 'a,b'],
      ['a number', 7, '7'],
    ]);
  });
});
