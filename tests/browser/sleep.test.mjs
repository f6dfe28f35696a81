// A llama.cpp server watched without waking it, against a stand-in that
// answers /props, /metrics and /slots as a server with or without --metrics
// does: asleep, it is shown sleeping and its slots are not asked; idle for
// 5 s with /metrics, its props and counters are watched instead of its
// slots until a request runs; without /metrics the page says it keeps the
// server awake; a queue shows beside the slots. The clock is paused and
// each poll is a Refresh at a set time.
import assert from 'node:assert/strict';
import { createServer } from 'node:http';
import { after, before, describe, it } from 'node:test';
import { pageState, waitForRenders } from './helpers/browser.mjs';
import { useSetup } from './helpers/setup.mjs';

const s = useSetup();

// The stand-in: answers by path and query, `[status, type, body]` each.
const routes = new Map();
let origin = '';
const server = createServer((req, res) => {
  const [status, type, body] = routes.get(req.url) || [404, 'text/plain', 'not found'];
  res.writeHead(status, { 'Content-Type': type });
  res.end(typeof body === 'string' ? body : JSON.stringify(body));
});
before(async () => {
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
});
after(() => new Promise((resolve) => server.close(resolve)));

const json = (body) => [200, 'application/json', body];
// Server `name` (its path; `query` for a router's model): what its /props
// says, its counters (null: started without --metrics) and its slots, as
// [is_processing, ...].
function llama(name, { sleeping = false, counters = null, slots = [false, false], query = '' }) {
  routes.set(`/${name}/props${query}`, json({
    build_info: 'b1-abc', total_slots: slots.length, is_sleeping: sleeping,
    endpoint_metrics: counters !== null,
  }));
  routes.set(`/${name}/metrics${query}`, counters === null
    ? [501, 'application/json', { error: { code: 501, message: 'no metrics' } }]
    : [200, 'text/plain', `llamacpp:requests_processing ${counters[0]}\n` +
       `llamacpp:requests_deferred ${counters[1]}\n`]);
  routes.set(`/${name}/slots${query}`, json(slots.map((busy, id) => ({
    id, n_ctx: 4096, is_processing: busy, ...(busy ? { id_task: 9, n_decoded: 1 } : {}),
  }))));
  return `${origin}/${name}`;
}

const actions = (calls) =>
  calls.map((c) => {
    const q = new URL(c, 'http://x').searchParams;
    const url = q.get('url')?.replace(origin, '') ?? '';
    const models = q.get('models')?.slice(0, -1);
    const quiet = q.get('quiet')?.slice(0, -1);
    return `${q.get('action')} ${url}${q.get('metrics') ? ' +metrics' : ''}` +
      `${models ? ` ${models}` : ''}${quiet ? ` quiet:${quiet}` : ''}`;
  });

let T = 0;
const open = (url) => s.open({ url }, { clock: (T = Date.now()) });
// Sets the page's clock to T + `ms`, clicks Refresh, returns that poll's calls.
async function pollAt(page, ms) {
  const { renders, calls } = await pageState(page);
  await page.clock.setSystemTime(T + ms);
  await page.getByRole('button', { name: 'Refresh' }).click();
  await waitForRenders(page, renders + 1);
  return actions((await pageState(page)).calls.slice(calls.length));
}

describe('a server that sleeps', () => {
  it('is shown sleeping and never asked for slots until its props shows it awake', async () => {
    const q = '?model=a&autoload=false';
    llama('nap', { sleeping: true, query: q });
    const page = await open(`${origin}/nap?model=a`);
    let state = await pageState(page);
    assert.deepEqual(actions(state.calls), ['sessions ', 'props /nap?model=a']);
    assert.equal(state.message, 'sl-msg sl-sleep: sleeping');
    assert.equal(state.dot, 'dot');
    assert.equal(state.title, 'Slots \u00b7 sleeping');
    assert.equal(state.source, 'URL');
    assert.equal(state.srcLbl, `${origin}/nap/props${q}`);
    assert.deepEqual(await pollAt(page, 1500), ['props /nap?model=a']);
    assert.equal((await pageState(page)).message, 'sl-msg sl-sleep: sleeping');

    // Woken by someone else: its slots in the same poll.
    llama('nap', { slots: [true, false], query: q });
    assert.deepEqual(await pollAt(page, 3000), ['props /nap?model=a', 'slots /nap?model=a']);
    state = await pageState(page);
    assert.equal(state.title, 'Slots (2)');
    assert.equal(state.dot, 'dot live');
    assert.equal(state.message, null);
  });

  it('with /metrics: watched after 5 s of idle slots, polled again when a request runs', async () => {
    const address = llama('idle', { counters: [0, 0] });
    const page = await open(address);
    assert.deepEqual(actions((await pageState(page)).calls), [
      'sessions ', 'props /idle', 'slots /idle',
    ]);
    assert.deepEqual(await pollAt(page, 4999), ['slots /idle']);
    assert.deepEqual(await pollAt(page, 5000), ['slots /idle']);
    // Quiet: the last slots stay drawn, fresh, from its props and counters.
    for (const t of [6500, 12000]) {
      assert.deepEqual(await pollAt(page, t), ['props /idle +metrics']);
      const state = await pageState(page);
      assert.deepEqual([state.title, state.dot, state.slots.length], ['Slots (2)', 'dot live', 2]);
    }
    // Fallen asleep, then woken: slots again.
    llama('idle', { sleeping: true, counters: [0, 0] });
    assert.deepEqual(await pollAt(page, 13500), ['props /idle +metrics']);
    assert.equal((await pageState(page)).message, 'sl-msg sl-sleep: sleeping');
    assert.deepEqual(await pollAt(page, 15000), ['props /idle']);
    llama('idle', { counters: [0, 0] });
    assert.deepEqual(await pollAt(page, 16500), ['props /idle', 'slots /idle']);

  });

  it('with /metrics: a request brings the slots back, and a full server its queue', async () => {
    // (The page's clock stays within 15 s of the program's, which stamps
    // the answers: beyond that they would be drawn stale.)
    const address = llama('queue', { counters: [0, 0] });
    const page = await open(address);
    await pollAt(page, 5000);
    assert.deepEqual(await pollAt(page, 6500), ['props /queue +metrics']);
    llama('queue', { counters: [2, 3], slots: [true, true] });
    assert.deepEqual(await pollAt(page, 8000), ['props /queue +metrics', 'slots /queue']);
    // Every slot busy: the counters come with the slots, in the same call, for
    // the queue.
    assert.deepEqual(await pollAt(page, 9500), ['slots /queue +metrics']);
    assert.equal((await pageState(page)).title, 'Slots (2) \u00b7 queue 3');
    llama('queue', { counters: [1, 0], slots: [true, false] });
    assert.deepEqual(await pollAt(page, 11000), ['slots /queue +metrics']);
    assert.equal((await pageState(page)).title, 'Slots (2)');
    assert.deepEqual(await pollAt(page, 12500), ['slots /queue']);
  });

  it("a router's own address is polled as before; a sleeping model is listed, not asked", async () => {
    routes.set('/rt/props', json({ role: 'router', build_info: 'b1-abc' }));
    routes.set('/rt/slots', [400, 'application/json', { error: { code: 400, message: 'no model' } }]);
    routes.set('/rt/models', json({ data: [
      { id: 'a', status: { value: 'sleeping' } }, { id: 'b', status: { value: 'loaded' } },
    ] }));
    llama('rt', { query: '?model=b&autoload=false' });
    const page = await open(`${origin}/rt`);
    assert.deepEqual(actions((await pageState(page)).calls), [
      'sessions ', 'props /rt', 'slots /rt', 'models /rt', 'router /rt b',
    ]);
    const rows = await page.evaluate(() =>
      [...document.querySelectorAll('#card .sl-model')].map((r) =>
        [...r.children].map((c) => c.textContent).join(' | ')
      )
    );
    assert.deepEqual(rows, ['b', 'a | sleeping']);
  });

  it("a router's idle model: its counters instead of its slots until a request runs", async () => {
    routes.set('/rq/props', json({ role: 'router', build_info: 'b1-abc' }));
    routes.set('/rq/slots', [400, 'application/json', { error: { code: 400, message: 'no model' } }]);
    routes.set('/rq/models', json({ data: [
      { id: 'a', status: { value: 'loaded' } }, { id: 'b', status: { value: 'loaded' } },
    ] }));
    llama('rq', { query: '?model=a&autoload=false', counters: [0, 0] });
    llama('rq', { query: '?model=b&autoload=false', slots: [true] });
    const page = await open(`${origin}/rq`);
    assert.deepEqual(await pollAt(page, 4999), ['router /rq a,b']);
    assert.deepEqual(await pollAt(page, 5000), ['router /rq a,b']);
    for (const t of [6500, 8000]) {
      assert.deepEqual(await pollAt(page, t), ['router /rq b quiet:a']);
      const state = await pageState(page);
      assert.deepEqual([state.title, state.dot], ['Slots (3)', 'dot live']);
    }
    llama('rq', { query: '?model=a&autoload=false', counters: [1, 0] });
    assert.deepEqual(await pollAt(page, 9500), ['router /rq b quiet:a']);
    assert.deepEqual(await pollAt(page, 11000), ['router /rq a,b']);
  });

  it('without /metrics: keeps polling its slots and says so once, under them', async () => {
    const address = llama('awake', {});
    const page = await open(address);
    assert.equal((await pageState(page)).message, null);
    await pollAt(page, 4999);
    assert.equal((await pageState(page)).message, null);
    for (const t of [5000, 6500]) {
      assert.deepEqual(await pollAt(page, t), ['slots /awake']);
      const notes = await page.evaluate(() =>
        [...document.querySelectorAll('#card > .sl-note')].map((n) => n.textContent)
      );
      assert.deepEqual(notes, [
        'This page keeps the server awake by polling its slots; start it with --metrics ' +
          'to let it sleep while idle.',
      ]);
    }
  });
});
