// Watching a llama.cpp server without waking it (assets/page/slot_math.js):
// which addresses are watched, when the page stops asking for slots, and
// when it asks again.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { pure } from './pieces.mjs';

const m = pure(['firstWatch', 'afterSlots', 'afterProps', 'afterCounters', 'QUIET_MS']);

const props = (p, metrics) => ({ ok: true, props: p, ...(metrics ? { metrics } : {}) });
const llama = { build_info: 'b1-abc', total_slots: 2 };
const start = (p = {}) => m.firstWatch(props({ ...llama, ...p }));
const slots = (...busy) => ({ ok: true, slots: busy.map((b, id) => ({ id, is_processing: b })) });
const idle = slots(false, false);

describe('the first look at an address', () => {
  it('watches only a llama.cpp answer: build_info as text', () => {
    for (const [name, d] of [
      ['an error', { ok: false, error: 'unexpected non-JSON response from /props' }],
      ['no llama.cpp server', props({})],
      ['build_info not text', props({ build_info: 1 })],
      ['no answer', undefined],
    ]) {
      assert.equal(m.firstWatch(d), null, name);
    }
    assert.deepEqual(start({ endpoint_metrics: true }), {
      router: false, mode: 'slots', metrics: true, since: null, busy: false, queue: 0, note: false,
    });
    assert.equal(start({ is_sleeping: true }).mode, 'asleep');
    assert.equal(start({ role: 'router' }).router, true);
  });
});

describe('letting an idle server sleep', () => {
  it('stops asking for slots after QUIET_MS of idle slots, only with /metrics', () => {
    assert.equal(m.QUIET_MS, 5000);
    let w = start({ endpoint_metrics: true });
    w = m.afterSlots(w, idle, 1000);
    assert.equal(w.since, 1000);
    w = m.afterSlots(w, idle, 5999);
    assert.equal(w.mode, 'slots');
    w = m.afterSlots(w, idle, 6000);
    assert.deepEqual([w.mode, w.since, w.note], ['quiet', null, false]);

    // A busy slot, an error or no slots start the quiet time afresh.
    for (const d of [slots(false, true), { error: 'x' }, { ok: true, slots: [] }]) {
      const v = m.afterSlots(m.afterSlots(start({ endpoint_metrics: true }), idle, 0), d, 1000);
      assert.deepEqual([v.mode, v.since], ['slots', null]);
    }

    // Without /metrics it keeps polling, and says so from then on.
    let n = m.afterSlots(start(), idle, 0);
    n = m.afterSlots(n, idle, 5000);
    assert.deepEqual([n.mode, n.note], ['slots', true]);
    assert.equal(m.afterSlots(n, slots(true), 6000).note, true);
  });

  it('marks a poll where every slot is busy, for the queue', () => {
    const w = start({ endpoint_metrics: true });
    assert.equal(m.afterSlots(w, slots(true, true), 0).busy, true);
    assert.equal(m.afterSlots(w, slots(true, false), 0).busy, false);
  });

  it('asks for slots again when work begins, or it wakes, or watching fails', () => {
    const quiet = { ...start({ endpoint_metrics: true }), mode: 'quiet' };
    assert.equal(m.afterProps(quiet, props(llama)).metrics, false, 'started again without');
    const asleep = { ...quiet, mode: 'asleep' };
    const awake = { ...llama, is_sleeping: false, endpoint_metrics: true };
    const counts = (processing, deferred) => ({
      requests_processing: processing, requests_deferred: deferred,
    });
    for (const [name, w, d, mode, queue] of [
      ['quiet, nothing runs', quiet, props(awake, counts(0, 0)), 'quiet', 0],
      ['quiet, a request runs', quiet, props(awake, counts(1, 2)), 'slots', 2],
      ['quiet, no counters', quiet, props(awake), 'slots', 0],
      ['quiet, falls asleep', quiet, props({ ...awake, is_sleeping: true }), 'asleep', 0],
      ['asleep, still', asleep, props({ ...awake, is_sleeping: true }), 'asleep', 0],
      ['asleep, woke', asleep, props(awake), 'slots', 0],
      ['quiet, props failed', quiet, { ok: false, error: 'gone' }, 'slots', 0],
      ['polling, the queue read', { ...quiet, mode: 'slots' }, props(awake, counts(1, 3)), 'slots', 3],
    ]) {
      const v = m.afterProps(w, d);
      assert.deepEqual([v.mode, v.queue], [mode, queue], name);
    }
  });

  it("a router's quiet model: slots again when a request runs or it has no /metrics", () => {
    const quiet = { ...start({ endpoint_metrics: true }), mode: 'quiet' };
    for (const [name, counters, mode, metrics] of [
      ['nothing runs', { requests_processing: 0 }, 'quiet', true],
      ['a request runs', { requests_processing: 1 }, 'slots', true],
      ['no counter', {}, 'slots', true],
      ['no /metrics', null, 'slots', false],
    ]) {
      const v = m.afterCounters(quiet, counters);
      assert.deepEqual([v.mode, v.metrics], [mode, metrics], name);
    }
  });
});
