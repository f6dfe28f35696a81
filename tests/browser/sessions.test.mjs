// The session selector: filled once from the sessions call, the automatic
// pick, the page's own id, and the slots of a session end to end, from a
// session root (QV_SESSIONS_DIR) and from the multiplexer tool.
import assert from 'node:assert/strict';
import { mkdirSync, mkdtempSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, describe, it } from 'node:test';
import { callsOf, pageState, waitForRenders } from './helpers/browser.mjs';
import { startHost } from './helpers/host.mjs';
import { STAND_IN_PROGRAM } from './helpers/paths.mjs';
import { useSetup } from './helpers/setup.mjs';

const root = mkdtempSync(join(tmpdir(), 'slots-sessions-'));
after(() => rmSync(root, { recursive: true, force: true }));
const s = useSetup(() => ({ QV_SESSIONS_DIR: root }));

const flat = (id, tg) => ({
  id,
  is_processing: true,
  n_ctx: 8192,
  n_prompt_tokens: 5000,
  n_prompt_tokens_processed: 1200,
  n_decoded: 800,
  tg,
  pp: 1234.5,
});

// Makes the session root hold exactly `sessions`: name -> the text of its
// slots.json, or null for a session directory without one.
function sessions(map) {
  for (const entry of readdirSync(root)) rmSync(join(root, entry), { recursive: true });
  for (const [name, slots] of Object.entries(map)) {
    mkdirSync(join(root, name));
    if (slots !== null) writeFileSync(join(root, name, 'slots.json'), slots);
  }
}

const options = (page) =>
  page.evaluate(() =>
    [...document.getElementById('sessSel').options].map((o) => [o.value, o.textContent])
  );
const selected = (page) => page.locator('#sessSel').inputValue();
const idOf = (call) => new URL(call, 'http://x').searchParams.get('id');

describe('session selector', () => {
  it('lists the sessions and picks the first one with slot data', async () => {
    sessions({
      alpha: null,
      beta: JSON.stringify({ braxel: true, slots: [flat(0, 41.26)] }),
      gamma: JSON.stringify({ slots: [flat(1, 10)] }),
    });
    writeFileSync(join(root, 'notes.txt'), 'not a session');
    mkdirSync(join(root, '.hidden'));
    const page = await s.open();
    assert.deepEqual(await options(page), [
      ['', 'Select session\u2026'],
      ['alpha', 'alpha'],
      ['beta', 'beta (slots)'],
      ['gamma', 'gamma (slots)'],
    ]);
    assert.equal(await selected(page), 'beta');
    const state = await pageState(page);
    assert.deepEqual((await callsOf(page, 'slots')).map(idOf), ['beta']);
    assert.equal(state.title, 'Slots (1)');
    assert.equal(state.slots[0].rows[0].text, '#0\u25cf gentg: 41.3 t/spp: 1235 t/s');
    assert.equal(state.braxel, true);
    assert.equal(state.source, 'beta');
    assert.equal(state.srcLbl, 'session: beta');
  });

  it('picks the first session when none has slot data', async () => {
    sessions({ one: null, two: null });
    const page = await s.open();
    assert.equal(await selected(page), 'one');
    const state = await pageState(page);
    assert.equal(
      state.message,
      'sl-err: no slots.json for this session (not using llama.cpp slots publisher)'
    );
  });

  it('says "No sessions" and asks for a choice when there is none', async () => {
    sessions({});
    const page = await s.open();
    assert.deepEqual(await options(page), [['', 'No sessions']]);
    assert.equal(
      (await pageState(page)).message,
      'sl-err: Pick a session above or enter a llama.cpp server URL.'
    );
  });

  it("selects the page's own id, listed or not", async () => {
    sessions({ alpha: '{"slots":[]}', gamma: JSON.stringify({ slots: [flat(3, 1)] }) });
    let page = await s.open({ id: 'gamma' });
    assert.equal(await selected(page), 'gamma');
    assert.deepEqual((await callsOf(page, 'slots')).map(idOf), ['gamma']);
    assert.equal((await pageState(page)).title, 'Slots (1)');

    page = await s.open({ id: 'zeta' });
    assert.equal(await page.locator('#sessSel').evaluate((e) => e.selectedIndex), 0);
    assert.deepEqual((await callsOf(page, 'slots')).map(idOf), ['zeta']);
    assert.equal((await pageState(page)).message, 'sl-err: session not found on this node');
  });

  it('moves between sessions and addresses as the user chooses', async () => {
    s.answers.slots('srv', { slots: [flat(9, 2)] });
    sessions({
      alpha: JSON.stringify({ slots: [flat(1, 1)] }),
      beta: JSON.stringify({ slots: [] }),
    });
    const page = await s.open({ url: s.answers.address('srv') });
    // An address in the page's own query: no automatic pick.
    assert.equal(await selected(page), '');
    assert.equal((await pageState(page)).source, 'URL');

    // Choosing a session clears the address.
    await page.locator('#sessSel').selectOption('alpha');
    await waitForRenders(page, 2);
    assert.equal(await page.locator('#urlIn').inputValue(), '');
    let state = await pageState(page);
    assert.equal(state.source, 'alpha');
    assert.equal(state.srcLbl, 'session: alpha');

    // Probe with a blank address polls the selected session.
    await page.locator('#urlIn').fill('   ');
    await page.getByRole('button', { name: 'Probe' }).click();
    await waitForRenders(page, 3);
    assert.equal((await pageState(page)).source, 'alpha');

    // The first option chooses nothing.
    await page.locator('#sessSel').selectOption('');
    await waitForRenders(page, 4);
    state = await pageState(page);
    assert.equal(state.message, 'sl-err: Pick a session above or enter a llama.cpp server URL.');
    assert.deepEqual((await callsOf(page, 'slots')).map(idOf), [null, 'alpha', 'alpha']);

    // The list was loaded once: a session that appears later is not listed.
    mkdirSync(join(root, 'late'));
    await page.getByRole('button', { name: 'Refresh' }).click();
    await waitForRenders(page, 5);
    assert.equal((await options(page)).length, 3);
    assert.equal((await callsOf(page, 'sessions')).length, 1);
  });

  it('shows "HTTP 200" for a slots.json that is not an answer', async () => {
    // (A single byte would be no slot data at all, hence the line feed.)
    const bodies = ['null', 'false', '0\n', '""', '<html>hi</html>', '{"slots":['];
    sessions(Object.fromEntries(bodies.map((b, i) => [`odd${i}`, b])));
    const page = await s.open({ id: 'odd0' });
    for (let i = 0; i < bodies.length; i++) {
      if (i > 0) {
        await page.locator('#sessSel').selectOption(`odd${i}`);
        await waitForRenders(page, i + 1);
      }
      const state = await pageState(page);
      assert.equal(state.message, 'sl-err: HTTP 200', bodies[i]);
      assert.equal(state.dot, 'dot err', bodies[i]);
    }
  });
});

describe('sessions from the multiplexer tool', () => {
  it('lists the tool\'s sessions and shows the slots of their directories', async () => {
    const work = mkdtempSync(join(tmpdir(), 'slots-worktrees-'));
    const host = { stop: async () => {} };
    try {
      const tree = (name) => join(work, name);
      mkdirSync(join(tree('web'), '.velunora', 'sessions', 'sid-1'), { recursive: true });
      writeFileSync(
        join(tree('web'), '.velunora', 'sessions', 'sid-1', 'slots.json'),
        JSON.stringify({ slots: [flat(0, 5), null] })
      );
      mkdirSync(tree('db'));
      const listing = join(work, 'listing.json');
      writeFileSync(
        listing,
        JSON.stringify({
          sessions: [
            { name: 'db-main', worktree: tree('db') },
            { name: 'web-front', worktree: tree('web') },
          ],
        })
      );
      Object.assign(
        host,
        await startHost({ VELUNORA_TMUX_BIN: STAND_IN_PROGRAM, STAND_IN_STDOUT: listing })
      );
      const page = await s.browser.newPage({ clock: Date.now() });
      await page.goto(host.url);
      await waitForRenders(page, 1);
      assert.deepEqual(await options(page), [
        ['', 'Select session\u2026'],
        ['db-main', 'db-main'],
        ['web-front', 'web-front (slots)'],
      ]);
      assert.equal(await selected(page), 'web-front');
      const state = await pageState(page);
      assert.equal(state.title, 'Slots (2)');
      assert.equal(state.source, 'web-front');
    } finally {
      await host.stop();
      rmSync(work, { recursive: true, force: true });
    }
  });
});
