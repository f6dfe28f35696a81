// The monitor against real llama.cpp servers (tools/llama/build), fetched by
// the program through curl under lighttpd, in Debian's Chromium on a real
// clock: fresh slots, live speeds against the server's own figures, the
// disabled endpoint, a server that restarts, a key, and a router's models.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';
import { callsOf, pageState, waitFor } from '../browser/helpers/browser.mjs';
import { startHost } from '../browser/helpers/host.mjs';
import { useSetup } from '../browser/helpers/setup.mjs';
import { modelArgs, routerArgs, until, useLlamas } from './helpers/llama.mjs';

const s = useSetup();
const llama = useLlamas();

// The page on a real clock, opened on `url`, after its first rendering.
async function openOn(url) {
  return s.open({ url }, { clock: undefined });
}

const rows = (state) => state.slots.map((b) => b.rows[0].spans);
const idleRows = (n, ctx = '2K ctx') =>
  Array.from({ length: n }, (_, i) => [`#${i}  idle`, ctx]);
const busyTg = (state, id) => {
  const head = rows(state).find((r) => r[0] === `#${id}` && r.length === 4);
  const m = head && /^tg: ([0-9.]+) t\/s$/.exec(head[2]);
  return m ? Number(m[1]) : null;
};

// Generates `n` tokens; resolves to the server's own generation speed.
const generate = (server, n, prompt = 'Once upon a time') =>
  server
    .post('/completion', { prompt, n_predict: n, ignore_eos: true, cache_prompt: false })
    .then((r) => r.body.timings.predicted_per_second);

describe('a real llama-server', () => {
  it('draws the idle slots of a fresh server', async () => {
    const server = await llama(modelArgs('tiny.gguf'));
    const page = await openOn(server.base);
    const state = await pageState(page);
    assert.equal(state.title, 'Slots (2)');
    assert.equal(state.dot, 'dot live');
    assert.deepEqual(rows(state), idleRows(2));
    assert.equal(state.srcLbl, `${server.base}/slots`);
  });

  it('shows a generating slot at the speed the server reports, then idle', async () => {
    const server = await llama(modelArgs('slow.gguf'));
    const page = await openOn(server.base);
    const own = generate(server, 500);
    const seen = [];
    let finished = false;
    own.then(() => (finished = true));
    while (!finished) {
      const tg = busyTg(await pageState(page), 0) ?? busyTg(await pageState(page), 1);
      if (tg !== null) seen.push(tg);
      await sleep(250);
    }
    const reported = await own;
    assert.ok(seen.length >= 4, `measured only ${seen.length} times`);
    for (const tg of seen) {
      assert.ok(Math.abs(tg - reported) <= 0.35 * reported, `shown ${tg} t/s, server ${reported}`);
    }
    // Once done the slot is idle, and its speed is gone.
    const state = await waitFor(
      page,
      () => document.querySelectorAll('#card .sl-idle').length === 2,
      undefined,
      'both slots idle'
    ).then(() => pageState(page));
    assert.deepEqual(rows(state), idleRows(2));
  });

  it('shows two slots generating at once, each at its own speed', async () => {
    const server = await llama(modelArgs('slow.gguf'));
    const page = await openOn(server.base);
    const own = [generate(server, 400, 'Hello'), generate(server, 400, 'Far away')];
    const seen = { 0: [], 1: [] };
    let finished = false;
    Promise.all(own).then(() => (finished = true));
    while (!finished) {
      const state = await pageState(page);
      // Only while both generate: each slot's own speed then.
      if (state.slots.every((b) => b.rows[0].spans.length === 4)) {
        for (const id of [0, 1]) {
          const tg = busyTg(state, id);
          if (tg !== null) seen[id].push(tg);
        }
      }
      await sleep(250);
    }
    const reported = await Promise.all(own);
    for (const id of [0, 1]) assert.ok(seen[id].length >= 3, `slot ${id}: ${seen[id].length}`);
    // Which request ran in which slot is the server's choice: match either way.
    const within = (values, speed) => values.every((tg) => Math.abs(tg - speed) <= 0.35 * speed);
    assert.ok(
      (within(seen[0], reported[0]) && within(seen[1], reported[1])) ||
        (within(seen[0], reported[1]) && within(seen[1], reported[0])),
      `shown ${JSON.stringify(seen)}, server ${reported}`
    );
  });

  it("shows the disabled endpoint's message", async () => {
    const server = await llama(modelArgs('tiny.gguf', '--no-slots'));
    const state = await pageState(await openOn(server.base));
    assert.equal(
      state.message,
      'sl-err: This server does not support slots endpoint. Start it with `--slots`'
    );
    assert.equal(state.dot, 'dot err');
  });

  it('shows the failure while the server is down, then the slots again', async () => {
    const server = await llama(modelArgs('tiny.gguf'));
    const page = await openOn(server.base);
    await server.stop();
    await waitFor(
      page,
      () => document.querySelector('#card .sl-err')?.textContent,
      undefined,
      'the failure'
    );
    assert.equal(
      (await pageState(page)).message,
      'sl-err: unable to fetch /slots from llama.cpp server'
    );
    await server.start();
    await waitFor(page, () => document.getElementById('title').textContent === 'Slots (2)');
    const state = await pageState(page);
    assert.deepEqual(rows(state), idleRows(2));
    assert.equal((await callsOf(page, 'sessions')).length, 1, 'the page was not reloaded');
  });

  it('reaches a server behind an API key with the key the host configured', async () => {
    const server = await llama(modelArgs('tiny.gguf', '--api-key', 'pw-42'));
    assert.equal(
      (await pageState(await openOn(server.base))).message,
      'sl-err: Invalid API Key'
    );
    const keyed = await startHost({ QV_LLAMA_API_KEYS: `${server.base}=pw-42` });
    try {
      const page = await s.browser.newPage();
      await page.goto(`${keyed.url}?url=${encodeURIComponent(server.base)}`);
      await waitFor(page, () => document.getElementById('title').textContent === 'Slots (2)');
      assert.deepEqual(rows(await pageState(page)), idleRows(2));
    } finally {
      await keyed.stop();
    }
  });

  describe('in router mode', () => {
    it("groups the loaded models' slots by name and never loads a model", async () => {
      const router = await llama(routerArgs(['a', 'b']));
      const status = async (id) =>
        (await router.get('/models')).body.data.find((m) => m.id === id).status.value;
      await router.post('/models/load', { model: 'a' });
      await until(async () => (await status('a')) === 'loaded', 'model a loaded');

      const page = await openOn(router.base);
      await waitFor(page, () => document.querySelectorAll('#card .sl-model').length === 2);
      let state = await pageState(page);
      const groups = () =>
        page.evaluate(() =>
          [...document.querySelectorAll('#card > .sl-group')].map((g) => ({
            model: [...g.querySelector('.sl-model').children].map((c) => c.textContent),
            rows: [...g.querySelectorAll('.sl-slot .sl-row')].map((r) =>
              [...r.children].map((c) => c.textContent)
            ),
            message: g.querySelector('.sl-err, .sl-msg')?.textContent ?? null,
          }))
        );
      assert.equal(state.title, 'Slots (2)');
      assert.equal(state.dot, 'dot live');
      assert.deepEqual(await groups(), [
        { model: ['a'], rows: idleRows(2), message: null },
        { model: ['b', 'not loaded'], rows: [], message: null },
      ]);

      // Polling for a while: every poll is one router call, the list and
      // a's slots, and b stays as it was. Once a has been idle for 5 s its
      // counters are asked instead, once: this router has no /metrics, so
      // its slots are polled on.
      const before = (await callsOf(page, 'router')).length;
      await sleep(9000);
      const polls = (await callsOf(page, 'router')).slice(before);
      assert.ok(polls.length >= 4, `${polls.length} polls`);
      const asked = polls.map((c) => {
        const q = new URL(c, 'http://x').searchParams;
        assert.equal(q.get('url'), router.base);
        return q.get('models') ?? `quiet:${q.get('quiet')}`;
      });
      assert.equal(asked.filter((a) => a === 'quiet:a,').length, 1, asked.join(' '));
      assert.deepEqual(asked.filter((a) => a !== 'quiet:a,' && a !== 'a,'), []);
      assert.equal((await callsOf(page, 'slots')).length, 1, 'the address once, before the list');
      assert.equal(await status('b'), 'unloaded');

      // A model that unloads while the page polls: its own message, then
      // listed as not loaded; the other model still draws.
      await router.post('/models/load', { model: 'b' });
      await until(async () => (await status('b')) === 'loaded', 'model b loaded');
      await waitFor(page, () => document.getElementById('title').textContent === 'Slots (4)');
      await router.post('/models/unload', { model: 'b' });
      await waitFor(
        page,
        () => document.querySelector('#card .sl-group:nth-child(2) .sl-err')?.textContent,
        undefined,
        "b's message"
      );
      assert.deepEqual((await groups())[1].message, 'model is not loaded');
      assert.deepEqual((await groups())[0].rows, idleRows(2));
      await waitFor(page, () => document.querySelector('#card .sl-off'), undefined, 'b listed');
      assert.equal((await pageState(page)).title, 'Slots (2)');
      assert.deepEqual((await groups())[1], {
        model: ['b', 'not loaded'],
        rows: [],
        message: null,
      });

      // Typed with a model: that model alone, by name.
      const one = await openOn(`${router.base}?model=a`);
      state = await pageState(one);
      assert.equal(state.title, 'Slots (2)');
      assert.deepEqual(rows(state), idleRows(2));
      assert.equal(
        await one.evaluate(() => document.querySelector('#card > .sl-model').textContent),
        'a'
      );
      assert.equal(state.srcLbl, `${router.base}/slots?model=a&autoload=false`);
    });
  });
});
