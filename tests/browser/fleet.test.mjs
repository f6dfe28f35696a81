// The servers the host configures: offered in the selector after the
// sessions and polled like a typed address; with the allow-list on, the page
// has no address field and says nothing about typing one.
import assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';
import { launchBrowser, pageState, waitForRenders } from './helpers/browser.mjs';
import { startHost } from './helpers/host.mjs';
import { fixture } from './helpers/paths.mjs';
import { startAnswers } from './helpers/stand_in_http.mjs';

describe('configured servers', () => {
  let answers;
  let browser;
  const hosts = [];
  before(async () => {
    [answers, browser] = await Promise.all([startAnswers(), launchBrowser()]);
    answers.slots('alpha', fixture('slots-busy.json'));
    answers.slots('beta', fixture('slots-idle.json'));
  });
  after(async () => {
    await Promise.all([browser?.close(), answers?.close(), ...hosts.map((h) => h.stop())]);
  });

  // The page under a host with these servers (and the allow-list when
  // `only`), and what its controls show once it has drawn.
  async function open(only) {
    const env = {
      QV_LLAMA_SERVERS: `alpha=${answers.address('alpha')} beta=${answers.address('beta')}`,
    };
    if (only) env.QV_LLAMA_ADDRESSES = 'configured';
    const host = await startHost(env);
    hosts.push(host);
    const page = await browser.newPage();
    await page.goto(host.url);
    await waitForRenders(page, 1);
    const controls = await page.evaluate(() => ({
      options: [...document.getElementById('sessSel').options].map((o) => o.textContent),
      picked: document.getElementById('sessSel').selectedOptions[0]?.textContent,
      field: getComputedStyle(document.getElementById('urlIn')).display !== 'none',
      button: getComputedStyle(document.getElementById('btnGo')).display !== 'none',
    }));
    return { page, controls };
  }

  for (const only of [false, true]) {
    it(`lists them and polls the first${only ? ', with no address field' : ''}`, async () => {
      const { page, controls } = await open(only);
      assert.deepEqual(controls.options, ['No sessions', 'alpha (server)', 'beta (server)']);
      assert.equal(controls.picked, 'alpha (server)');
      assert.equal(controls.field, !only);
      assert.equal(controls.button, !only);
      assert.equal((await pageState(page)).source, 'URL');
      assert.equal((await pageState(page)).srcLbl, `${answers.address('alpha')}/slots`);

      // Picking the other server polls it at once.
      await page.selectOption('#sessSel', { label: 'beta (server)' });
      await waitForRenders(page, 2);
      assert.equal((await pageState(page)).srcLbl, `${answers.address('beta')}/slots`);

      // Nothing picked: the message names no address to type.
      await page.selectOption('#sessSel', { index: 0 });
      await waitForRenders(page, 3);
      assert.equal(
        (await pageState(page)).message,
        only
          ? 'sl-err: Pick a session or a server above.'
          : 'sl-err: Pick a session above or enter a llama.cpp server URL.'
      );
      await page.close();
    });
  }
});
