// The monitor behind an access password: the page's calls carry the host's
// parameters and the password from the page's own address, and a refused
// call shows as such.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { callsOf, pageState, waitForRenders } from './helpers/browser.mjs';
import { fixture } from './helpers/paths.mjs';
import { useSetup } from './helpers/setup.mjs';

// Characters that the query encoding must carry through intact.
const PASSWORD = 'pa ss+&=/%x';
const s = useSetup({ BOT_PASSWORD: PASSWORD });

describe('behind a password', () => {
  it('forwards plugin, node and pwd, in that order, on every call', async () => {
    s.answers.slots('fwd', fixture('slots-idle.json'));
    const address = s.answers.address('fwd');
    const page = await s.open({
      node: 'gpu-1',
      junk: 'x',
      pwd: PASSWORD,
      plugin: 'slots',
      url: address,
      theme: 'dark',
    });
    await page.getByRole('button', { name: 'Refresh' }).click();
    await waitForRenders(page, 2);

    const common = '/slots?plugin=slots&node=gpu-1&pwd=pa+ss%2B%26%3D%2F%25x';
    const slots = `${common}&action=slots&url=${encodeURIComponent(address)}`;
    // The one look at the address's props comes first.
    const props = `${common}&action=props&url=${encodeURIComponent(address)}`;
    assert.deepEqual((await pageState(page)).calls, [
      `${common}&action=sessions`, props, slots, slots,
    ]);
    // The program took the password: the slots are shown.
    assert.equal((await pageState(page)).title, 'Slots (4)');
  });

  it('leaves out empty forwarded parameters and keeps the first of each', async () => {
    s.answers.slots('fwd2', fixture('slots-idle.json'));
    const query =
      `?plugin=&pwd=${encodeURIComponent(PASSWORD)}&node=n%201&node=n2&pwd=other` +
      `&id=ignored&url=${encodeURIComponent(s.answers.address('fwd2'))}`;
    const page = await s.browser.newPage({ clock: Date.now() });
    await page.goto(`${s.host.url}${query}`);
    await waitForRenders(page, 1);
    const [call] = await callsOf(page, 'slots');
    assert.equal(
      call,
      `/slots?node=n+1&pwd=pa+ss%2B%26%3D%2F%25x&action=slots&url=${encodeURIComponent(
        s.answers.address('fwd2')
      )}`
    );
    assert.equal((await pageState(page)).title, 'Slots (4)');
  });

  it('shows the refusal of a call made without the password', async () => {
    s.answers.slots('refused', fixture('slots-idle.json'));
    const monitor = s.monitor({ url: s.answers.address('refused') });
    const page = await s.browser.newPage({ clock: Date.now() });
    // Only the page itself is fetched with the password, in a header.
    await page.route(monitor, (route) =>
      route.continue({ headers: { ...route.request().headers(), 'x-bot-password': PASSWORD } })
    );
    await page.goto(monitor);
    await waitForRenders(page, 1);
    const state = await pageState(page);
    assert.equal(state.message, 'sl-err: unauthorized');
    assert.equal(state.dot, 'dot err');
    assert.equal(state.title, 'Slots Monitor');
    // The refused sessions call is an error envelope: no list, no sessions.
    assert.deepEqual(await page.locator('#sessSel option').allTextContents(), ['No sessions']);
    assert.equal(s.answers.hits('refused'), 0);
  });
});
