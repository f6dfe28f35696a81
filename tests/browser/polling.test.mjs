// When the monitor calls the program: the start-up order, the 1.5 s timer
// that runs only while the page is visible, the controls, and the guard that
// lets one slots call out at a time. The page's clock is paused, so the timer
// fires only when a test runs the clock.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { callsOf, pageState, waitForRenders } from './helpers/browser.mjs';
import { fixture } from './helpers/paths.mjs';
import { useSetup } from './helpers/setup.mjs';

const s = useSetup();

const urlOf = (call) => new URL(call, 'http://x').searchParams.get('url');

describe('polling', () => {
  it('loads the sessions once, then polls, then polls on the timer', async () => {
    s.answers.slots('timer', fixture('slots-idle.json'));
    const page = await s.open({ url: s.answers.address('timer') });
    let state = await pageState(page);
    assert.deepEqual(
      state.calls.map((c) => new URL(c, 'http://x').searchParams.get('action')),
      ['sessions', 'props', 'slots']
    );
    assert.equal(state.title, 'Slots (4)');

    for (let tick = 1; tick <= 3; tick++) {
      await page.clock.runFor(1500);
      await waitForRenders(page, 1 + tick);
    }
    state = await pageState(page);
    assert.equal((await callsOf(page, 'slots')).length, 4);
    assert.equal((await callsOf(page, 'sessions')).length, 1);
    assert.equal(s.answers.hits('timer'), 4);
  });

  it('polls only while the page is visible, and at once when it shows again', async () => {
    s.answers.slots('vis', fixture('slots-idle.json'));
    const page = await s.open({ url: s.answers.address('vis') });
    const slotsCalls = async () => (await callsOf(page, 'slots')).length;

    await page.evaluate(() => window.__setVisibility('hidden'));
    await page.clock.runFor(7500);
    assert.equal(await slotsCalls(), 1);

    await page.evaluate(() => window.__setVisibility('visible'));
    assert.equal(await slotsCalls(), 2);
    await waitForRenders(page, 2);

    await page.clock.runFor(1500);
    assert.equal(await slotsCalls(), 3);
    await waitForRenders(page, 3);

    await page.evaluate(() => window.__setVisibility('prerender'));
    await page.clock.runFor(3000);
    assert.equal(await slotsCalls(), 3);
  });

  it('drops every poll while a slots call is outstanding', async () => {
    // The stand-in server holds its answer until released; the program's own
    // fetch gives up after 4 s, so the steps below keep to quick actions.
    const release = s.answers.slots('slow', fixture('slots-busy.json'), { hold: true });
    s.answers.slots('next', fixture('slots-idle.json'));
    const page = await s.browser.newPage({ clock: Date.now() });
    await page.goto(s.monitor({ url: s.answers.address('slow') }));
    await s.answers.waitForHits('slow', 1);

    const refresh = page.getByRole('button', { name: 'Refresh' });
    await refresh.click();
    await refresh.click();
    await page.locator('#urlIn').press('Enter');
    await page.evaluate(() => window.__setVisibility('visible'));
    await page.clock.runFor(4500);
    // A new address chosen meanwhile is kept for the next poll.
    await page.locator('#urlIn').fill(s.answers.address('next'));
    await page.getByRole('button', { name: 'Probe' }).click();

    let state = await pageState(page);
    assert.equal((await callsOf(page, 'slots')).length, 1);
    assert.equal(state.renders, 0);
    assert.equal(state.message, 'sl-msg: Connecting\u2026');

    release();
    await waitForRenders(page, 1);
    state = await pageState(page);
    assert.equal(state.title, 'Slots (4)');
    assert.equal(state.srcLbl, `${s.answers.address('slow')}/slots`);

    await refresh.click();
    await waitForRenders(page, 2);
    const calls = await callsOf(page, 'slots');
    assert.deepEqual(calls.map(urlOf), [s.answers.address('slow'), s.answers.address('next')]);
    assert.equal(s.answers.hits('slow'), 1);
    assert.equal((await pageState(page)).srcLbl, `${s.answers.address('next')}/slots`);
  });

  it('probes the typed address on Enter or Probe, trimmed', async () => {
    s.answers.slots('typed', fixture('slots-idle.json'));
    const page = await s.open();
    const input = page.locator('#urlIn');
    const address = s.answers.address('typed');

    await input.fill(`  ${address}\t `);
    await input.press('Escape');
    await input.press('ArrowLeft');
    assert.equal((await callsOf(page, 'slots')).length, 0);

    await input.press('Enter');
    await waitForRenders(page, 2);
    await page.getByRole('button', { name: 'Probe' }).click();
    await waitForRenders(page, 3);
    const calls = await callsOf(page, 'slots');
    assert.deepEqual(calls.map(urlOf), [address, address]);
    assert.equal((await pageState(page)).source, 'URL');

    // An empty address hands control back to the (empty) session choice.
    await input.fill('   ');
    await page.getByRole('button', { name: 'Probe' }).click();
    await waitForRenders(page, 4);
    assert.equal(
      (await pageState(page)).message,
      'sl-err: Pick a session above or enter a llama.cpp server URL.'
    );
    assert.equal((await callsOf(page, 'slots')).length, 2);
  });

  it('shows the page address in the input and probes it first', async () => {
    s.answers.slots('given', fixture('slots-idle.json'));
    const address = s.answers.address('given');
    const page = await s.open({ url: address });
    assert.equal(await page.locator('#urlIn').inputValue(), address);
    assert.equal(await page.locator('#sessSel').inputValue(), '');
    const state = await pageState(page);
    assert.equal(state.source, 'URL');
    assert.deepEqual((await callsOf(page, 'slots')).map(urlOf), [address]);
  });
});
