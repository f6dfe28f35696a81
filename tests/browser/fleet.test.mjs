// The servers the host configures: with them the page opens on the
// overview, every source a group, and offers each in the selector after the
// sessions; with the allow-list on it has no address field. A heading opens
// the one-source view and Back returns; frozen counts show as stalled; the
// history stays bounded however long the page runs.
import assert from 'node:assert/strict';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, it } from 'node:test';
import { launchBrowser, overviewState, pageState, waitFor } from './helpers/browser.mjs';
import { startHost } from './helpers/host.mjs';
import { fixture } from './helpers/paths.mjs';
import { closedAddress, startAnswers } from './helpers/stand_in_http.mjs';

const root = mkdtempSync(join(tmpdir(), 'slots-fleet-'));
after(() => rmSync(root, { recursive: true, force: true }));
mkdirSync(join(root, 'gamma'));
writeFileSync(
  join(root, 'gamma', 'slots.json'),
  JSON.stringify({
    slots: [
      { id: 0, is_processing: false, n_ctx: 4096 },
      { id: 1, is_processing: false, n_ctx: 4096 },
    ],
  })
);

describe('configured servers: the overview', () => {
  let answers;
  let browser;
  let dead;
  const hosts = [];
  before(async () => {
    [answers, browser, dead] = await Promise.all([startAnswers(), launchBrowser(), closedAddress()]);
    answers.slots('alpha', fixture('slots-busy.json'));
    answers.slots('beta', fixture('slots-idle.json'));
  });
  after(async () => {
    await Promise.all([browser?.close(), answers?.close(), ...hosts.map((h) => h.stop())]);
  });

  // The page under a host with these servers and a session (and the
  // allow-list when `only`), once every group has drawn.
  async function open(only, pageOptions = {}) {
    const env = {
      QV_LLAMA_SERVERS: `alpha=${answers.address('alpha')} beta=${answers.address('beta')} dead=${dead}`,
      QV_SESSIONS_DIR: root,
    };
    if (only) env.QV_LLAMA_ADDRESSES = 'configured';
    const host = await startHost(env);
    hosts.push(host);
    const page = await browser.newPage(pageOptions);
    await page.goto(host.url);
    await waitFor(page, () => document.querySelectorAll('#card .ov-state.ov-failing').length === 1);
    return { page, host };
  }

  const controls = (page) =>
    page.evaluate(() => ({
      options: [...document.getElementById('sessSel').options].map((o) => o.textContent),
      picked: document.getElementById('sessSel').selectedOptions[0]?.textContent,
      field: getComputedStyle(document.getElementById('urlIn')).display !== 'none',
    }));

  for (const only of [false, true]) {
    it(`shows every source as a group${only ? ', with no address field' : ''}`, async () => {
      const { page } = await open(only);
      assert.deepEqual(await controls(page), {
        options: ['Overview', 'gamma (slots)', 'alpha (server)', 'beta (server)', 'dead (server)'],
        picked: 'Overview',
        field: !only,
      });
      await waitFor(page, () => document.querySelectorAll('#card .ov-group').length === 4);
      const groups = await overviewState(page);
      assert.deepEqual(
        groups.map((g) => [g.name, g.state, g.count, g.slots]),
        [
          ['alpha', 'live', '2/4', 4],
          ['beta', 'live', '0/4', 4],
          ['dead', 'failing', '0/0', 0],
          ['gamma', 'live', '0/2', 2],
        ]
      );
      assert.equal(groups[2].message, 'unable to fetch /slots from llama.cpp server');
      assert.equal((await pageState(page)).title, 'Slots (2/10)');
      await page.close();
    });
  }

  it('draws every other group while one server has not answered yet', async () => {
    const release = answers.slots('slow', fixture('slots-idle.json'), { hold: true });
    const host = await startHost({
      QV_LLAMA_SERVERS: `alpha=${answers.address('alpha')} slow=${answers.address('slow')}`,
    });
    hosts.push(host);
    const page = await browser.newPage({ clock: Date.now() });
    await page.goto(host.url);
    // The answers of a poll are drawn together, but a slow one holds the
    // others back a quarter of a second at most: alpha is drawn then, while
    // slow's first answer is still held.
    await waitFor(page, () => window.__calls.length >= 5 && window.__pending === 1);
    await page.clock.runFor(250);
    await waitFor(page, () => document.querySelectorAll('#card .ov-group').length > 0);
    assert.deepEqual((await overviewState(page)).map((g) => [g.name, g.state]), [['alpha', 'live']]);
    assert.ok(answers.hits('slow') >= 1);
    release();
    await waitFor(page, () => document.querySelectorAll('#card .ov-group').length === 2);
    assert.deepEqual((await overviewState(page)).map((g) => [g.name, g.state]), [['alpha', 'live'], ['slow', 'live']]);
    await page.close();
  });

  it('opens a group from its heading, and Back returns to the overview', async () => {
    const { page } = await open(true);
    await page.click('.ov-name >> text=alpha');
    await waitFor(page, () => document.getElementById('title').textContent === 'Slots (4)');
    let state = await pageState(page);
    assert.equal(state.srcLbl, `${answers.address('alpha')}/slots`);
    assert.equal(state.slots.length, 4);
    assert.equal((await controls(page)).picked, 'alpha (server)');
    assert.equal(new URL(page.url()).searchParams.get('url'), `${answers.address('alpha')}/slots`);

    await page.goBack();
    await waitFor(page, () => document.querySelectorAll('#card .ov-group').length === 4);
    assert.equal((await controls(page)).picked, 'Overview');

    // The selector goes to a session's view, and Back again.
    await page.selectOption('#sessSel', { label: 'gamma (slots)' });
    await waitFor(page, () => document.getElementById('srcLbl').textContent === 'session: gamma');
    await page.goBack();
    await waitFor(page, () => document.getElementById('title').textContent.includes('/'));
    await page.close();
  });

  it('shows busy slots whose counts do not grow as stalled within 15 s', async () => {
    const started = Date.now();
    const { page } = await open(false);
    await waitFor(page, () => document.getElementById('title').textContent.includes('stalled'));
    assert.ok(Date.now() - started < 15000, `${Date.now() - started} ms`);
    assert.equal((await pageState(page)).title, 'Slots (2/10) \u00b7 2 stalled');
    const alpha = (await overviewState(page))[0];
    assert.deepEqual([alpha.state, alpha.stalled, alpha.speed], ['2 stalled', 2, '\u03a3 0.0 t/s']);
    await page.close();
  });

  it("draws its charts in the theme's green, and again when the theme changes", async () => {
    const { page } = await open(false);
    await waitFor(page, () => document.querySelector('#card .chart')._points.length >= 4);
    // The colours of the chart's fully covered pixels, and the theme's green.
    const ink = () =>
      page.evaluate(() => {
        const c = document.querySelector('#card .chart');
        const px = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
        const seen = new Set();
        for (let i = 0; i < px.length; i += 4) if (px[i + 3] === 255) seen.add(`rgb(${px[i]}, ${px[i + 1]}, ${px[i + 2]})`);
        const probe = document.createElement('b');
        probe.style.color = 'var(--green)';
        document.body.appendChild(probe);
        const green = getComputedStyle(probe).color;
        probe.remove();
        return { seen: [...seen], green };
      });
    const dark = await ink();
    assert.deepEqual(dark.seen, [dark.green]);
    await page.click('#themeToggle');
    const light = await ink();
    assert.notEqual(light.green, dark.green);
    assert.deepEqual(light.seen, [light.green]);
    await page.close();
  });

  it('keeps five minutes of history however long it runs', async () => {
    const { page } = await open(false, { clock: Date.now() });
    // Forty answers about 20 s apart, more than 13 minutes: the charts keep
    // those of the last five.
    for (let i = 2; i <= 41; i++) {
      // Every answer in first, so that the timer asks every source again.
      await waitFor(page, () => window.__pending === 0, undefined, `answers before ${i}`);
      const before = await page.evaluate(() => [window.__calls.length, window.__renders]);
      await page.clock.runFor(20000);
      await waitFor(
        page,
        ([calls, renders]) => window.__calls.length >= calls + 4 && window.__renders > renders,
        before,
        `answer ${i}`
      );
    }
    for (const g of await overviewState(page)) {
      // Five minutes hold 16 answers 20 s apart, a few more when some land
      // early in a step; without the limit there are 41.
      assert.ok(g.points.length <= 20, `${g.name}: ${g.points.length} points`);
      if (g.state !== 'failing') assert.ok(g.points.length >= 12, `${g.name}: ${g.points.length}`);
      for (const [x] of g.points) assert.ok(x >= 0, `${g.name}: ${x}`);
    }
    await page.close();
  });
});
