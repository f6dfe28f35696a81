// Live speeds: current llama.cpp servers send no speeds in /slots, so the
// page measures them from the counts of successive answers. The page's clock
// is paused and run by the test, so every rate is exact.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { pageState, waitForRenders } from './helpers/browser.mjs';
import { useSetup } from './helpers/setup.mjs';

const s = useSetup();

const DASH = '\u2013';
const GEN = 'sl-gen|\u25cf gen';
const PROMPT = 'sl-prompt|\u25cf prompt';

// A busy slot as a current server sends it: a task, counts, no speeds.
const serverSlot = (id, task, proc, dec) => ({
  id,
  n_ctx: 4096,
  is_processing: true,
  id_task: task,
  n_prompt_tokens: 1000 + dec,
  n_prompt_tokens_processed: proc,
  n_prompt_tokens_cache: 0,
  next_token: [{ has_next_token: true, n_remain: 100, n_decoded: dec }],
});
const idleSlot = (id) => ({ id, n_ctx: 4096, is_processing: false, id_task: 3 });

// The head rows of the card's blocks, as span texts.
const heads = (state) => state.slots.map((b) => b.rows[0].spans);

// Serves `slots` as the next answer of `name`, runs the clock to the next
// poll and returns what the page shows then.
async function next(page, name, slots) {
  s.answers.slots(name, slots);
  const { renders } = await pageState(page);
  await page.clock.runFor(1500);
  await waitForRenders(page, renders + 1);
  return heads(await pageState(page));
}

describe('live speeds', () => {
  it('measures tg and pp from the counts, and follows a change', async () => {
    // Slot 0 decodes 100 t/s, then 300 t/s; slot 1 reads a prompt of 600 tokens
    // in 1.5 s (400 t/s), then decodes 30 t/s.
    const dec0 = (t) => (t <= 4500 ? 100 + 0.1 * t : 550 + 0.3 * (t - 4500));
    s.answers.slots('speed', [serverSlot(0, 7, 1000, dec0(0)), serverSlot(1, 9, 0, 0)]);
    const page = await s.open({ url: s.answers.address('speed') });
    assert.deepEqual(heads(await pageState(page)), [
      ['#0', GEN, `tg: ${DASH} t/s`, `pp: ${DASH} t/s`],
      ['#1', PROMPT, `tg: ${DASH} t/s`, `pp: ${DASH} t/s`],
    ]);

    const slot1 = [serverSlot(1, 9, 600, 0), serverSlot(1, 9, 600, 45), serverSlot(1, 9, 600, 90)];
    const want1 = [
      ['#1', PROMPT, `tg: ${DASH} t/s`, 'pp: 400 t/s'],
      ['#1', GEN, `tg: ${DASH} t/s`, 'pp: 400 t/s'],
      ['#1', GEN, 'tg: 30.0 t/s', 'pp: 400 t/s'],
    ];
    for (let i = 0; i < 3; i++) {
      const t = 1500 * (i + 1);
      const shown = await next(page, 'speed', [serverSlot(0, 7, 1000, dec0(t)), slot1[i]]);
      assert.deepEqual(shown, [['#0', GEN, 'tg: 100.0 t/s', `pp: ${DASH} t/s`], want1[i]], `${t} ms`);
    }
    // Within the window of a few seconds the figure moves to the new rate.
    let shown;
    for (let t = 6000; t <= 12000; t += 1500) {
      shown = await next(page, 'speed', [serverSlot(0, 7, 1000, dec0(t))]);
    }
    assert.deepEqual(shown, [['#0', GEN, 'tg: 300.0 t/s', `pp: ${DASH} t/s`]]);

    // Another task on the same slot, or the slot idle in between: afresh.
    assert.deepEqual(await next(page, 'speed', [serverSlot(0, 8, 1000, 50)]), [
      ['#0', GEN, `tg: ${DASH} t/s`, `pp: ${DASH} t/s`],
    ]);
    assert.deepEqual(await next(page, 'speed', [serverSlot(0, 8, 1000, 200)]), [
      ['#0', GEN, 'tg: 100.0 t/s', `pp: ${DASH} t/s`],
    ]);
    await next(page, 'speed', [idleSlot(0)]);
    assert.deepEqual(await next(page, 'speed', [serverSlot(0, 8, 1000, 500)]), [
      ['#0', GEN, `tg: ${DASH} t/s`, `pp: ${DASH} t/s`],
    ]);

    // Another source with the same slots and tasks starts afresh too.
    s.answers.slots('speed2', [serverSlot(0, 8, 1000, 650)]);
    const { renders } = await pageState(page);
    await page.locator('#urlIn').fill(s.answers.address('speed2'));
    await page.locator('#urlIn').press('Enter');
    await waitForRenders(page, renders + 1);
    assert.deepEqual(heads(await pageState(page)), [
      ['#0', GEN, `tg: ${DASH} t/s`, `pp: ${DASH} t/s`],
    ]);
  });

  it('shows the speeds a slot sends, and no rate from answers too close together', async () => {
    const sent = { ...serverSlot(0, 7, 1000, 100), tg: 12.34, pp: 0 };
    const timed = { ...serverSlot(1, 7, 1000, 100), timings: { predicted_per_second: 55.55 } };
    s.answers.slots('sent', [sent, timed, serverSlot(2, 7, 1000, 100)]);
    const page = await s.open({ url: s.answers.address('sent') });
    s.answers.slots('sent', [
      { ...sent, n_prompt_tokens: 1500 },
      timed,
      serverSlot(2, 7, 1000, 150),
    ]);
    // A Refresh half a second later: too short a span for a rate.
    const { renders } = await pageState(page);
    await page.clock.runFor(500);
    await page.getByRole('button', { name: 'Refresh' }).click();
    await waitForRenders(page, renders + 1);
    assert.deepEqual(heads(await pageState(page)), [
      ['#0', GEN, 'tg: 12.3 t/s', 'pp: 0 t/s'],
      ['#1', GEN, 'tg: 55.5 t/s', 'pp: 0 t/s'],
      ['#2', GEN, `tg: ${DASH} t/s`, `pp: ${DASH} t/s`],
    ]);
    // 2 s after the first answer: a rate over all three.
    assert.deepEqual((await next(page, 'sent', [serverSlot(2, 7, 1000, 300)]))[0], [
      '#2',
      GEN,
      'tg: 100.0 t/s',
      `pp: ${DASH} t/s`,
    ]);
  });

  it('keeps each row one line, whatever the slot id holds', async () => {
    s.answers.slots('lines', [
      { id: 'a\nb\tc\u2028d  e', n_ctx: 1024, is_processing: false },
      { ...serverSlot('x\r\ny', 7, 1000, 10) },
    ]);
    const page = await s.open({ url: s.answers.address('lines') });
    const state = await pageState(page);
    assert.equal(state.slots[0].rows[0].spans[0], '#a b c d  e  idle');
    assert.equal(state.slots[1].rows[0].spans[0], '#x  y');
    // Every row is drawn one line high.
    const heights = await page.evaluate(() =>
      [...document.querySelectorAll('.sl-row')].map((r) => r.getClientRects().length === 1 &&
        r.getBoundingClientRect().height < 24)
    );
    assert.ok(heights.every(Boolean), JSON.stringify(heights));
  });
});
