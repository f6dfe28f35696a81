// What the monitor shows when something goes wrong, row by row of its
// failure handling, with real failures of the program and of the host.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { callsOf, pageState, waitForRenders } from './helpers/browser.mjs';
import { startHost } from './helpers/host.mjs';
import { useSetup } from './helpers/setup.mjs';
import { closedAddress } from './helpers/stand_in_http.mjs';

const s = useSetup();
const ONE_SLOT = [{ id: 0, is_processing: false, n_ctx: 2048 }];

// Probes `address` from the URL input; returns the page's state and the
// HTTP status of the slots call.
async function probe(page, address) {
  const { renders } = await pageState(page);
  await page.locator('#urlIn').fill(address);
  const [response] = await Promise.all([
    page.waitForResponse((r) => r.url().includes('action=slots')),
    page.getByRole('button', { name: 'Probe' }).click(),
  ]);
  await waitForRenders(page, renders + 1);
  return { state: await pageState(page), status: response.status() };
}

const red = (page) =>
  page.evaluate(() => {
    const probe = document.createElement('b');
    probe.style.color = 'var(--red)';
    document.body.appendChild(probe);
    const want = getComputedStyle(probe).color;
    probe.remove();
    const err = document.querySelector('#card > .sl-err');
    const dot = document.getElementById('dot');
    return [getComputedStyle(err).color === want, getComputedStyle(dot).backgroundColor === want];
  });

describe('failure handling', () => {
  it('asks for a choice when there is neither a session nor an address', async () => {
    // Without transitions the dot shows its final colour at once.
    const page = await s.open({}, { reducedMotion: 'reduce' });
    const state = await pageState(page);
    assert.equal(state.message, 'sl-err: Pick a session above or enter a llama.cpp server URL.');
    assert.equal(state.dot, 'dot err');
    assert.equal(state.title, 'Slots Monitor');
    assert.equal(state.source, null);
    assert.deepEqual(await callsOf(page, 'slots'), []);
    assert.deepEqual(await red(page), [true, true]);
  });

  it('shows the error of an answer as text, with its status', async () => {
    s.answers.slots('says-error', { error: 'model exploded', slots: ONE_SLOT });
    s.answers.slots('html', '<html><body>hello</body></html>', { type: 'text/html' });
    const cases = [
      ['ftp://example', 400, 'invalid url (must be http:// or https://)'],
      ['HTTP://example', 400, 'invalid url (must be http:// or https://)'],
      [await closedAddress(), 502, 'unable to fetch /slots from llama.cpp server'],
      [s.answers.address('html'), 502, 'unexpected non-JSON response from /slots'],
      [s.answers.address('says-error'), 200, 'model exploded'],
    ];
    const page = await s.open();
    for (const [address, status, message] of cases) {
      const got = await probe(page, address);
      assert.equal(got.status, status, address);
      assert.equal(got.state.message, `sl-err: ${message}`, address);
      assert.equal(got.state.dot, 'dot err', address);
      assert.equal(got.state.title, 'Slots Monitor', address);
    }
  });

  it('shows the 404 of an unknown session', async () => {
    const page = await s.open({ id: 'no-such-session' });
    const state = await pageState(page);
    assert.equal(state.message, 'sl-err: session not found on this node');
    assert.equal(state.dot, 'dot err');
  });

  it('shows "HTTP" and the status for a body that is not JSON', async () => {
    s.answers.slots('cut-object', '{"slots":[');
    s.answers.slots('cut-array', '[{"id":0},');
    const page = await s.open();
    for (const name of ['cut-object', 'cut-array']) {
      const got = await probe(page, s.answers.address(name));
      assert.equal(got.status, 200);
      assert.equal(got.state.message, 'sl-err: HTTP 200', name);
      assert.equal(got.state.dot, 'dot err', name);
    }
    // An address too long for the host's request limits: lighttpd itself
    // answers with an HTML page.
    const got = await probe(page, `http://127.0.0.1/${'a'.repeat(12000)}`);
    assert.ok(got.status >= 400, `status ${got.status}`);
    assert.equal(got.state.message, `sl-err: HTTP ${got.status}`);
  });

  it('shows "No slots data" for an answer without slots', async () => {
    const answers = [
      { ok: true },
      { slots: [] },
      { slots: {} },
      { slots: 'abc' },
      { ok: true, error: '' },
    ];
    answers.forEach((a, i) => s.answers.slots(`empty-${i}`, a));
    s.answers.slots('empty-array', []);
    const page = await s.open();
    for (const name of [...answers.map((_, i) => `empty-${i}`), 'empty-array']) {
      const got = await probe(page, s.answers.address(name));
      assert.equal(got.state.message, 'sl-msg: No slots data', name);
      assert.equal(got.state.dot, 'dot', name);
      assert.equal(got.state.title, 'Slots Monitor', name);
      assert.equal(got.state.braxel, false, name);
    }
  });

  it('shows a network error when the host is gone', async () => {
    const host = await startHost();
    try {
      s.answers.slots('gone', { slots: ONE_SLOT });
      const page = await s.browser.newPage({ clock: Date.now() });
      const monitor = `${host.url}?url=${encodeURIComponent(s.answers.address('gone'))}`;
      await page.goto(monitor);
      await waitForRenders(page, 1);
      assert.equal((await pageState(page)).title, 'Slots (1)');
      await host.stop();
      await page.getByRole('button', { name: 'Refresh' }).click();
      await waitForRenders(page, 2);
      const state = await pageState(page);
      assert.equal(state.message, 'sl-err: Network error polling slots');
      assert.equal(state.dot, 'dot err');
      // A poll after the failure is not blocked.
      await page.getByRole('button', { name: 'Refresh' }).click();
      await waitForRenders(page, 3);
    } finally {
      await host.stop();
    }
  });

  it('keeps the selector as it is when the sessions call fails', async () => {
    const cases = [
      ['no response', (route) => route.abort()],
      ['not JSON', (route) => route.fulfill({ status: 200, body: '<html>oops</html>' })],
    ];
    for (const [name, handle] of cases) {
      const page = await s.browser.newPage({ clock: Date.now() });
      await page.route((url) => url.searchParams.get('action') === 'sessions', handle);
      await page.goto(s.monitor());
      await waitForRenders(page, 1);
      const options = await page.locator('#sessSel option').allTextContents();
      assert.deepEqual(options, ['Active session\u2026'], name);
      const state = await pageState(page);
      // The poll still runs, and nothing mentions the sessions call.
      assert.equal(state.message, 'sl-err: Pick a session above or enter a llama.cpp server URL.');
    }
  });
});
