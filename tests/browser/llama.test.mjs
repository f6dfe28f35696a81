// The monitor on real answers of a llama.cpp server (tests/fixtures), fetched
// by the program through curl: current servers count the generated tokens in
// n_prompt_tokens and report n_prompt_tokens_cache, and answer failures with
// an error object.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { pageState, waitForRenders } from './helpers/browser.mjs';
import { fixture } from './helpers/paths.mjs';
import { useSetup } from './helpers/setup.mjs';

const s = useSetup();

const GEN = 'sl-gen|\u25cf gen';
const idleRow = (id) => ({ rows: [[`#${id}  idle`, '2K ctx']], bar: null });
const busyRows = (id, detail1, detail2, bar, speeds = ['tg: 0.0 t/s', 'pp: 0 t/s']) => ({
  rows: [[`#${id}`, GEN, ...speeds], detail1, detail2],
  bar,
});
// A server's busy slot names its task and sends no speeds: the page measures
// them, and shows a dash until two answers have come.
const UNMEASURED = ['tg: \u2013 t/s', 'pp: \u2013 t/s'];

// The slot blocks as rows of span texts (or the row's text) and the bar.
const blocks = (state) =>
  state.slots.map((b) => ({
    rows: b.rows.map((r) => (r.spans.length ? r.spans : r.text)),
    bar: b.bar && [b.bar.cls, b.bar.width],
  }));

async function show(name) {
  const page = await s.open({ url: s.answers.address(name) });
  return { page, state: await pageState(page) };
}

describe('real llama.cpp answers', () => {
  const cases = [
    [
      'slots-busy.json',
      [
        idleRow(0),
        busyRows(1, 'prompt: 633   cache: 0.0%', 'decoded: 859   remain: 556 / 2K', [
          'sl-bar warn',
          '73%',
        ], UNMEASURED),
        busyRows(2, 'prompt: 633   cache: 0.0%', 'decoded: 860   remain: 555 / 2K', [
          'sl-bar warn',
          '73%',
        ], UNMEASURED),
        idleRow(3),
      ],
    ],
    [
      'slots-busy-slow.json',
      [
        idleRow(0),
        busyRows(1, 'prompt: 633   cache: 0.0%', 'decoded: 110   remain: 1,305 / 2K', [
          'sl-bar',
          '36%',
        ], UNMEASURED),
        busyRows(2, 'prompt: 633   cache: 0.0%', 'decoded: 110   remain: 1,305 / 2K', [
          'sl-bar',
          '36%',
        ], UNMEASURED),
        idleRow(3),
      ],
    ],
    ['slots-idle.json', [0, 1, 2, 3].map(idleRow)],
    ['slots-idle-after-use.json', [0, 1, 2, 3].map(idleRow)],
  ];
  for (const [file, want] of cases) {
    it(`draws ${file}`, async () => {
      const name = file.replace('.json', '');
      s.answers.slots(name, fixture(file));
      const { state } = await show(name);
      assert.deepEqual(blocks(state), want);
      assert.equal(state.title, 'Slots (4)');
      assert.equal(state.dot, 'dot live');
      assert.equal(state.source, 'URL');
      assert.equal(state.srcLbl, `${s.answers.address(name)}/slots`);
    });
  }

  it('shows the message of an error object', async () => {
    const cases = [
      [
        'disabled',
        fixture('slots-disabled-501.json'),
        501,
        'This server does not support slots endpoint. Start it with `--slots`',
      ],
      [
        'api-key',
        { error: { message: 'Invalid API Key', type: 'authentication_error', code: 401 } },
        401,
        'Invalid API Key',
      ],
      [
        'loading',
        { error: { code: 503, message: 'Loading model', type: 'unavailable_error' } },
        503,
        'Loading model',
      ],
      // Anything else is converted to text as it is.
      ['no-message', { error: { code: 500 } }, 500, '[object Object]'],
      ['number-message', { error: { message: 42 } }, 500, '[object Object]'],
      ['array', { error: ['a', 'b'] }, 500, 'a,b'],
      ['number', { error: 7 }, 500, '7'],
    ];
    for (const [name, body, status, message] of cases) {
      s.answers.slots(name, body, { status });
    }
    const page = await s.open();
    for (const [name, , , message] of cases) {
      const { renders } = await pageState(page);
      await page.locator('#urlIn').fill(s.answers.address(name));
      await page.locator('#urlIn').press('Enter');
      await waitForRenders(page, renders + 1);
      const state = await pageState(page);
      assert.equal(state.message, `sl-err: ${message}`, name);
      assert.equal(state.dot, 'dot err', name);
    }
  });

  it('reads n_prompt_tokens_cache only when it is a number', async () => {
    const raw = (id, fields) => ({ id, n_ctx: 2048, is_processing: true, ...fields });
    s.answers.slots('cache', [
      // 1500 tokens in the context, 500 of them generated, 250 of the prompt cached.
      raw(0, { n_prompt_tokens: 1500, n_prompt_tokens_processed: 750, n_prompt_tokens_cache: 250,
        next_token: [{ n_decoded: 500 }] }),
      // More generated than counted: the prompt is 0, not negative.
      raw(1, { n_prompt_tokens: 100, n_prompt_tokens_cache: 0, n_decoded: 150 }),
      // Not a number: the described rules apply.
      raw(2, { n_prompt_tokens: 1500, n_prompt_tokens_processed: 1250, n_prompt_tokens_cache: '250',
        next_token: [{ n_decoded: 500 }] }),
      raw(3, { n_prompt_tokens: 1500, n_prompt_tokens_processed: 1250, n_prompt_tokens_cache: null,
        next_token: [{ n_decoded: 500 }] }),
    ]);
    const { state } = await show('cache');
    assert.deepEqual(blocks(state), [
      busyRows(0, 'prompt: 1,000   cache: 25.0%', 'decoded: 500   remain: 548 / 2K', [
        'sl-bar warn',
        '73%',
      ]),
      busyRows(1, 'prompt: 0   cache: 0.0%', 'decoded: 150   remain: 1,948 / 2K', ['sl-bar', '5%']),
      busyRows(2, 'prompt: 1,500   cache: 16.7%', 'decoded: 500   remain: 48 / 2K', [
        'sl-bar full',
        '98%',
      ]),
      busyRows(3, 'prompt: 1,500   cache: 16.7%', 'decoded: 500   remain: 48 / 2K', [
        'sl-bar full',
        '98%',
      ]),
    ]);
  });
});
