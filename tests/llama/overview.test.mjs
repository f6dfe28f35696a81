// The overview against real llama.cpp servers, on a real clock: two servers
// and a router configured by the host, an address on which nothing listens,
// and two sessions. Every group with its counts, a generating slot's chart
// growing while the dead address keeps failing, the drill-down and Back.
// With SLOTS_SCREENSHOTS=DIR, both themes are photographed into DIR (the
// README's pictures: SLOTS_SCREENSHOTS=docs/screenshots).
import assert from 'node:assert/strict';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { after, before, describe, it } from 'node:test';
import { launchBrowser, overviewState, pageState, waitFor } from '../browser/helpers/browser.mjs';
import { startHost } from '../browser/helpers/host.mjs';
import { closedAddress } from '../browser/helpers/stand_in_http.mjs';
import { modelArgs, routerArgs, startLlama, until } from './helpers/llama.mjs';

const root = mkdtempSync(join(tmpdir(), 'slots-overview-'));
const session = (name, slots) => {
  mkdirSync(join(root, name));
  writeFileSync(join(root, name, 'slots.json'), JSON.stringify({ slots }));
};
session('chat-ui', [0, 1].map((id) => ({ id, is_processing: false, n_ctx: 8192 })));
session('notes', [
  {
    id: 0, is_processing: true, n_ctx: 8192, n_prompt_tokens: 2100,
    n_prompt_tokens_processed: 2100, n_decoded: 310, tg: 24.5, pp: 880,
  },
]);

describe('the overview of real llama-servers', () => {
  let coder;
  let chat;
  let router;
  let host;
  let browser;
  let page;
  before(async () => {
    let dead;
    [coder, chat, router, browser, dead] = await Promise.all([
      startLlama(modelArgs('slow.gguf')),
      startLlama(modelArgs('tiny.gguf')),
      startLlama(routerArgs(['a', 'b'])),
      launchBrowser(),
      closedAddress(),
    ]);
    await router.post('/models/load', { model: 'a' });
    await until(async () => {
      const models = (await router.get('/models')).body.data;
      return models.find((m) => m.id === 'a').status.value === 'loaded';
    }, 'model a loaded');
    host = await startHost({
      QV_LLAMA_SERVERS: `coder=${coder.base} chat=${chat.base} pool=${router.base} gone=${dead}`,
      QV_SESSIONS_DIR: root,
    });
    page = await browser.newPage();
    await page.goto(host.url);
    await waitFor(page, () => document.querySelectorAll('#card .ov-group').length === 7);
  });
  after(async () => {
    await Promise.all([browser?.close(), host?.stop(), ...[coder, chat, router].map((x) => x?.close())]);
    rmSync(root, { recursive: true, force: true });
  });

  const byName = async () => Object.fromEntries((await overviewState(page)).map((g) => [g.name, g]));

  it('shows every server, router model and session as a group', async () => {
    const groups = await overviewState(page);
    assert.deepEqual(
      groups.map((g) => [g.name, g.count]),
      [
        ['coder', '0/2'],
        ['chat', '0/2'],
        ['pool \u00b7 a', '0/2'],
        ['pool \u00b7 b', '0/0'],
        ['gone', '0/0'],
        ['chat-ui', '0/2'],
        ['notes', '1/1'],
      ]
    );
    const states = Object.fromEntries(groups.map((g) => [g.name, g.state]));
    assert.equal(states.coder, 'live');
    assert.equal(states['pool \u00b7 b'], 'not loaded');
    assert.equal(states.gone, 'failing');
    assert.match((await pageState(page)).title, /^Slots \(1\/9\)/);
  });

  it("grows a generating slot's chart while the dead address keeps failing", async () => {
    const done = coder.post('/completion', {
      prompt: 'Once upon a time', n_predict: 600, ignore_eos: true, cache_prompt: false,
    });
    // A failure shows where it is awaited, at the end.
    done.catch(() => {});
    const first = await waitFor(page, () => {
      const g = [...document.querySelectorAll('#card .ov-group')][0];
      const chart = g.querySelector('.sl-slot .chart');
      return chart ? chart._points.length / 2 : 0;
    });
    const later = await waitFor(
      page,
      (n) => {
        const g = [...document.querySelectorAll('#card .ov-group')][0];
        const chart = g.querySelector('.sl-slot .chart');
        const count = chart ? chart._points.length / 2 : 0;
        return count >= n + 3 && count;
      },
      first
    );
    assert.ok(later >= first + 3);
    const groups = await byName();
    assert.equal(groups.coder.count, '1/2');
    assert.match(groups.coder.speed, /^\u03a3 [0-9]+\.[0-9] t\/s$/);
    assert.notEqual(groups.coder.speed, '\u03a3 0.0 t/s');
    assert.equal(groups.gone.state, 'failing');
    assert.equal(groups.gone.message, 'unable to fetch /slots from llama.cpp server');
    // The session whose counts never move is stalled within 15 s of the
    // page's start, and counted.
    await waitFor(page, () => document.getElementById('title').textContent.includes('stalled'));
    assert.equal((await byName()).notes.state, '1 stalled');
    assert.match((await pageState(page)).title, /^Slots \(2\/9\) \u00b7 1 stalled$/);

    // The pictures, while the slot still generates.
    const shots = process.env.SLOTS_SCREENSHOTS;
    if (shots) {
      mkdirSync(resolve(shots), { recursive: true });
      await page.setViewportSize({ width: 720, height: 900 });
      for (const theme of ['dark', 'light']) {
        await page.evaluate((t) => document.documentElement.setAttribute('data-theme', t), theme);
        const renders = await page.evaluate(() => window.__renders);
        await waitFor(page, (n) => window.__renders > n, renders);
        await page.screenshot({ path: resolve(shots, `overview-${theme}.png`), fullPage: true });
      }
    }
    await done;
  });

  it('opens a group from its heading, and Back returns', async () => {
    await page.click('.ov-name >> text=pool \u00b7 a');
    await waitFor(page, () => document.getElementById('title').textContent === 'Slots (2)');
    assert.equal((await pageState(page)).srcLbl, `${router.base}/slots?model=a&autoload=false`);
    await page.goBack();
    await waitFor(page, () => document.querySelectorAll('#card .ov-group').length === 7);
    assert.match((await pageState(page)).title, /^Slots \(\d+\/9\)/);
  });
});
