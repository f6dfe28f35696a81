// The monitor lets real llama.cpp servers sleep (--sleep-idle-seconds) and
// never wakes them: asleep is read from /props, which wakes nothing, never
// from /slots. A server watched by the open page falls asleep, stays asleep
// and shows a request's busy slot once woken; a server asleep before the
// page opens stays asleep; the same for a router's model; without
// --metrics the page says it keeps the server awake; a full server's queue.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';
import { pageState } from '../browser/helpers/browser.mjs';
import { useSetup } from '../browser/helpers/setup.mjs';
import { modelArgs, routerArgs, until, useLlamas } from './helpers/llama.mjs';

const s = useSetup();
const llama = useLlamas();

// The page's poll, its quiet time (slot_math.js) and the server's idle time.
const POLL_MS = 1500;
const QUIET_MS = 5000;
const IDLE_S = 3;
// What the server's own idle check and the two cores add at most.
const SLACK_MS = 1500;

const openOn = (url) => s.open({ url }, { clock: undefined });
const title = async (page) => (await pageState(page)).title;
const sleepingShown = async (page) =>
  (await pageState(page)).message === 'sl-msg sl-sleep: sleeping';

// Whether the server (or the router's model `query`) says it sleeps.
const asleep = async (server, query = '') =>
  (await server.get(`/props${query}`)).body?.is_sleeping === true;

// Holds for `ms`: the server stays asleep and the page shows it so.
async function staysAsleep(server, page, query, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    assert.ok(await asleep(server, query), 'the server woke');
    assert.ok(await sleepingShown(page), 'the page shows no sleeping server');
    await sleep(500);
  }
}

// The two cases for a server at `base` (a router's model: `query`).
async function fallsAsleepWithThePageOpen(server, base, query, model) {
  const page = await openOn(base);
  const opened = Date.now();
  assert.equal(await asleep(server, query), false);
  await until(() => asleep(server, query), 'the server asleep', 30000);
  const took = Date.now() - opened;
  const bound = IDLE_S * 1000 + QUIET_MS + POLL_MS + SLACK_MS;
  assert.ok(took <= bound, `asleep after ${took} ms (at most ${bound})`);
  await until(() => sleepingShown(page), 'the page showing it sleeping', 2 * POLL_MS + SLACK_MS);
  await staysAsleep(server, page, query, 10000);

  // A request wakes it; its busy slot shows within two polls of waking.
  const done = server.post('/completion', {
    ...(model ? { model } : {}),
    prompt: 'Once upon a time', n_predict: 250, ignore_eos: true, cache_prompt: false,
  });
  await until(async () => !(await asleep(server, query)), 'the server awake', 30000);
  const woke = Date.now();
  await until(
    async () => (await pageState(page)).slots.some((b) => b.rows[0].cls.includes('sl-act-head')),
    'the busy slot shown',
    2 * POLL_MS + SLACK_MS
  );
  console.log(`# asleep ${took} ms after opening; busy slot shown ${Date.now() - woke} ms after waking`);
  await done;
}

async function staysAsleepWhenThePageOpens(server, base, query) {
  await until(() => asleep(server, query), 'the server asleep', 30000);
  const page = await openOn(base);
  assert.ok(await sleepingShown(page));
  assert.equal(await title(page), 'Slots \u00b7 sleeping');
  await staysAsleep(server, page, query, 10000);
}

describe('a real llama-server that sleeps', () => {
  const args = ['--sleep-idle-seconds', String(IDLE_S), '--metrics'];

  it('falls asleep with the page open, stays asleep, and shows a request once woken', async () => {
    const server = await llama(modelArgs('slow.gguf', ...args));
    await fallsAsleepWithThePageOpen(server, server.base, '');
  });

  it('asleep before the page opens, stays asleep', async () => {
    const server = await llama(modelArgs('tiny.gguf', ...args));
    await staysAsleepWhenThePageOpens(server, server.base, '');
  });

  // This llama.cpp passes --sleep-idle-seconds (and --metrics) on to the
  // model servers a router starts.
  describe("a router's model", () => {
    const query = '?model=a&autoload=false';
    async function router() {
      const server = await llama([...routerArgs(['a=slow.gguf']), ...args]);
      await server.post('/models/load', { model: 'a' });
      await until(
        async () => (await server.get('/props?model=a&autoload=false')).status === 200,
        'model a loaded'
      );
      return server;
    }

    it('falls asleep with the page open, stays asleep, and shows a request once woken', async () => {
      const server = await router();
      await fallsAsleepWithThePageOpen(server, `${server.base}?model=a`, query, 'a');
    });

    it('asleep before the page opens, stays asleep', async () => {
      const server = await router();
      await staysAsleepWhenThePageOpens(server, `${server.base}?model=a`, query);
    });

    it("on the router's own address: falls asleep with the page open and stays asleep", async () => {
      const server = await router();
      const page = await openOn(server.base);
      const opened = Date.now();
      await until(() => asleep(server, query), 'the model asleep', 30000);
      const took = Date.now() - opened;
      const bound = IDLE_S * 1000 + QUIET_MS + POLL_MS + SLACK_MS;
      assert.ok(took <= bound, `asleep after ${took} ms (at most ${bound})`);
      const listed = () =>
        page.evaluate(() =>
          [...document.querySelectorAll('#card .sl-model')].map((r) =>
            [...r.children].map((c) => c.textContent).join(' | ')
          )
        );
      await until(
        async () => (await listed()).includes('a | sleeping'),
        'the model listed as sleeping',
        2 * POLL_MS + SLACK_MS
      );
      const end = Date.now() + 10000;
      while (Date.now() < end) {
        assert.ok(await asleep(server, query), 'the model woke');
        await sleep(500);
      }
      assert.deepEqual(await listed(), ['a | sleeping']);
    });
  });

  it('without --metrics, says that the page keeps the server awake', async () => {
    const server = await llama(modelArgs('tiny.gguf', '--sleep-idle-seconds', String(IDLE_S)));
    const page = await openOn(server.base);
    const note = () => page.evaluate(() => document.querySelector('#card > .sl-note')?.textContent);
    await until(note, 'the note', QUIET_MS + 2 * POLL_MS + SLACK_MS);
    assert.match(await note(), /--metrics/);
    assert.equal(await asleep(server), false);
    assert.equal(await title(page), 'Slots (2)');
  });

  it('shows the queue of a server with one slot and three requests', async () => {
    const server = await llama(modelArgs('slow.gguf', '-np', '1', '--metrics'));
    const page = await openOn(server.base);
    const seen = [];
    const requests = ['Hello', 'Far away', 'Once'].map((prompt) =>
      server.post('/completion', { prompt, n_predict: 150, ignore_eos: true, cache_prompt: false })
    );
    let finished = false;
    Promise.all(requests).then(() => (finished = true));
    while (!finished) {
      const t = await title(page);
      if (seen.at(-1) !== t) seen.push(t);
      await sleep(200);
    }
    const queues = seen.filter((t) => / queue /.test(t));
    assert.deepEqual(
      queues.filter((t, i) => queues.indexOf(t) === i),
      ['Slots (1) \u00b7 queue 2', 'Slots (1) \u00b7 queue 1'],
      `titles seen: ${seen.join(', ')}`
    );
  });
});
