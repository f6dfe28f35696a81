// A llama.cpp router through the page, against a stand-in router: its /slots
// without a model answers the 400 error object, its /models lists the models
// with their states, and /slots?model=ID answers each model's slots. The
// clock is paused, so the list's age and the speeds are exact.
import assert from 'node:assert/strict';
import { createServer } from 'node:http';
import { after, before, describe, it } from 'node:test';
import { callsOf, pageState, waitForRenders } from './helpers/browser.mjs';
import { useSetup } from './helpers/setup.mjs';

const s = useSetup();

// The stand-in router: answers by path and query, `[status, body]` each.
const routes = new Map();
let origin = '';
const server = createServer((req, res) => {
  const [status, body] = routes.get(req.url) || [404, { error: 'no route' }];
  res.writeHead(status, { 'Content-Type': 'application/json' });
  res.end(typeof body === 'string' ? body : JSON.stringify(body));
});
before(async () => {
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
});
after(() => new Promise((resolve) => server.close(resolve)));

// A router's answer to /slots without a model.
const NO_MODEL = [
  400,
  { error: { code: 400, message: 'model is required', type: 'invalid_request_error' } },
];
// Sets up router `name`: its models as [id, state], each loaded model's
// answer as [status, body]; returns its address.
function router(name, models, answers = {}) {
  routes.set(`/${name}/slots`, NO_MODEL);
  const data = models.map(([id, value]) => ({ id, status: { value } }));
  routes.set(`/${name}/models`, [200, { data }]);
  for (const [id, answer] of Object.entries(answers)) model(name, id, answer);
  return `${origin}/${name}`;
}
const model = (name, id, answer) =>
  routes.set(`/${name}/slots?model=${encodeURIComponent(id)}&autoload=false`, answer);

const idle = (n) => [
  200,
  Array.from({ length: n }, (_, id) => ({ id, n_ctx: 4096, is_processing: false })),
];
// A generating slot as a current server sends it: counts, no speeds.
const generating = (dec) => [200, [{
  id: 0, n_ctx: 4096, is_processing: true, id_task: 5, n_prompt_tokens: 100 + dec,
  n_prompt_tokens_processed: 100, n_prompt_tokens_cache: 0, next_token: [{ n_decoded: dec }],
}]];

// The card's groups: the model row's spans, the slot heads' spans, a message.
const groups = (page) =>
  page.evaluate(() =>
    [...document.querySelectorAll('#card > .sl-group')].map((g) => ({
      model: [...g.querySelector('.sl-model').children].map((c) => c.textContent),
      heads: [...g.querySelectorAll('.sl-slot > .sl-row:first-child')].map((r) =>
        [...r.children].map((c) => c.textContent).join(' | ')
      ),
      message: g.querySelector('.sl-err, .sl-msg')?.textContent ?? null,
    }))
  );
const actions = (calls) =>
  calls.map((c) => {
    const q = new URL(c, 'http://x').searchParams;
    const models = q.get('models')?.slice(0, -1);
    return `${q.get('action')} ${q.get('url')?.replace(origin, '') ?? ''}${models ? ` ${models}` : ''}`;
  });

// Sets the page's clock to `t`, clicks Refresh and returns the calls of that
// poll. The page's timer never fires: its clock only moves when set.
async function pollAt(page, t) {
  const { renders, calls } = await pageState(page);
  await page.clock.setSystemTime(t);
  await page.getByRole('button', { name: 'Refresh' }).click();
  await waitForRenders(page, renders + 1);
  return actions((await pageState(page)).calls.slice(calls.length));
}

describe('router mode', () => {
  // The page's clock, paused at the real time of each test's start (the
  // program's answers carry the real time): polls happen when a test asks.
  let T = 0;
  const open = (url) => s.open({ url }, { clock: (T = Date.now()) });

  it('groups the loaded models, lists the others, and reads the list with every poll', async () => {
    const address = router(
      'r1',
      [['a', 'loaded'], ['b', 'loaded'], ['c', 'unloaded'], ['d', 'loading']],
      { a: idle(2), b: generating(10) }
    );
    const page = await open(address);
    let state = await pageState(page);
    assert.deepEqual(actions(state.calls), [
      'sessions ',
      'props /r1',
      'slots /r1',
      'models /r1',
      'router /r1 a,b',
    ]);
    assert.deepEqual(await groups(page), [
      { model: ['a'], heads: ['#0  idle | 4K ctx', '#1  idle | 4K ctx'], message: null },
      { model: ['b'], heads: ['#0 | \u25cf gen | tg: \u2013 t/s | pp: \u2013 t/s'], message: null },
      { model: ['c', 'not loaded'], heads: [], message: null },
      { model: ['d', 'loading'], heads: [], message: null },
    ]);
    assert.equal(state.title, 'Slots (3)');
    assert.equal(state.dot, 'dot live');
    assert.equal(state.source, 'URL');
    assert.equal(state.srcLbl, address);
    assert.equal(state.slots.length, 0);

    // The next polls are one router call each: the list and the slots of
    // the models it last showed loaded; b's speed is measured.
    model('r1', 'b', generating(160));
    assert.deepEqual(await pollAt(page, T + 1500), ['router /r1 a,b']);
    assert.deepEqual((await groups(page))[1].heads, [
      '#0 | \u25cf gen | tg: 100.0 t/s | pp: \u2013 t/s',
    ]);
    // A model loaded meanwhile is listed at once, and asked from the next
    // poll on.
    router('r1', [['a', 'loaded'], ['b', 'loaded'], ['c', 'loaded'], ['d', 'unloaded']], {
      c: idle(1),
    });
    assert.deepEqual(await pollAt(page, T + 3000), ['router /r1 a,b']);
    assert.deepEqual(
      (await groups(page)).map((g) => g.model),
      [['a'], ['b'], ['c', 'loaded'], ['d', 'not loaded']]
    );
    assert.deepEqual(await pollAt(page, T + 4500), ['router /r1 a,b,c']);
    assert.equal((await pageState(page)).title, 'Slots (4)');
    assert.deepEqual(
      (await groups(page)).map((g) => g.model),
      [['a'], ['b'], ['c'], ['d', 'not loaded']]
    );
  });

  it("shows a model's failure in its group, then lists it as the list says", async () => {
    const address = router('r2', [['a', 'loaded'], ['b', 'loaded']], {
      a: idle(1),
      b: [400, { error: { code: 400, message: 'model is not loaded' } }],
    });
    const page = await open(address);
    let state = await pageState(page);
    assert.deepEqual(await groups(page), [
      { model: ['a'], heads: ['#0  idle | 4K ctx'], message: null },
      { model: ['b'], heads: [], message: 'model is not loaded' },
    ]);
    assert.equal(state.title, 'Slots (1)');
    assert.equal(state.dot, 'dot live');

    router('r2', [['a', 'loaded'], ['b', 'unloaded']]);
    assert.deepEqual(await pollAt(page, T + 1500), ['router /r2 a,b']);
    assert.deepEqual(await pollAt(page, T + 3000), ['router /r2 a']);
    assert.deepEqual((await groups(page))[1], {
      model: ['b', 'not loaded'],
      heads: [],
      message: null,
    });

    // Every loaded model failing: the dot says so.
    model('r2', 'a', [500, { error: { code: 500, message: 'boom' } }]);
    await pollAt(page, T + 4500);
    state = await pageState(page);
    assert.equal(state.dot, 'dot err');
    assert.equal(state.title, 'Slots (0)');
    assert.equal((await groups(page))[0].message, 'boom');
  });

  it('shows a failed list once, then reads it again', async () => {
    const address = router('r3', [['a', 'loaded']], { a: idle(1) });
    const page = await open(address);
    routes.set('/r3/models', [500, 'not json']);
    assert.deepEqual(await pollAt(page, T + 6000), ['router /r3 a']);
    let state = await pageState(page);
    assert.equal(state.message, 'sl-err: unexpected non-JSON response from /models');
    assert.equal(state.dot, 'dot err');
    assert.equal(state.title, 'Slots Monitor');
    router('r3', [['a', 'loaded']]);
    assert.deepEqual(await pollAt(page, T + 7500), ['router /r3 a']);
    assert.equal((await pageState(page)).title, 'Slots (1)');
  });

  it('shows the 400 of a server that is no router, and asks its list only later', async () => {
    routes.set('/plain/slots', NO_MODEL);
    routes.set('/plain/models', [200, { data: [{ id: 'm' }] }]);
    const page = await open(`${origin}/plain`);
    const state = await pageState(page);
    assert.deepEqual(actions(state.calls), [
      'sessions ', 'props /plain', 'slots /plain', 'models /plain',
    ]);
    assert.equal(state.message, 'sl-err: model is required');
    assert.equal(state.dot, 'dot err');
    assert.deepEqual(await pollAt(page, T + 29999), ['slots /plain']);
    assert.deepEqual(await pollAt(page, T + 30000), ['slots /plain', 'models /plain']);
  });

  it('draws a typed model alone, under its name', async () => {
    router('r4', [['a', 'loaded'], ['b', 'loaded']], { a: idle(2) });
    const page = await open(`${origin}/r4?model=a`);
    const state = await pageState(page);
    assert.deepEqual(actions(state.calls), ['sessions ', 'props /r4?model=a', 'slots /r4?model=a']);
    assert.equal(state.title, 'Slots (2)');
    assert.equal(
      await page.evaluate(() => document.querySelector('#card > .sl-model').textContent),
      'a'
    );
    assert.equal(state.slots.length, 2);
    assert.equal(state.srcLbl, `${origin}/r4/slots?model=a&autoload=false`);
  });
});
