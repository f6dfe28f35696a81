// The overview's history and stalls (assets/page/history.js) under node:
// series stay bounded, a busy slot whose counts stop growing is stalled
// after STALL_MS of answers, and a group's heading sums what it should.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { pure } from './pieces.mjs';

const m = pure([
  'newSeries', 'pushPoint', 'seriesPoints', 'slotRecord', 'isStalled', 'groupFigures', 'groupState', 'chartPoints',
  'STALL_MS', 'HISTORY_MS', 'HISTORY_MAX', 'CHART_W', 'CHART_H', 'CHART_POINTS',
]);

const busy = (dec, proc = 10) => ({ is_processing: true, n_decoded: dec, n_prompt_tokens_processed: proc });

describe('a series', () => {
  // The series of a point every `step` ms for an hour, with a value each.
  const hour = (step) => {
    const series = m.newSeries();
    for (let t = 0; t <= 3600000; t += step) m.pushPoint(series, t, t);
    return m.seriesPoints(series);
  };

  it('keeps HISTORY_MS of points, at most HISTORY_MAX, in time order', () => {
    assert.equal(m.HISTORY_MS, 300000);
    // Dense: bounded by the count, the newest kept.
    const dense = hour(100);
    assert.equal(dense.length, m.HISTORY_MAX);
    assert.deepEqual(dense.slice(-2), [{ t: 3599900, v: 3599900 }, { t: 3600000, v: 3600000 }]);
    // At the page's pace: bounded by the time.
    const polled = hour(1500);
    assert.equal(polled.length, 201);
    assert.equal(polled[0].t, 3600000 - m.HISTORY_MS);
    // A point from before the last one is not added.
    const once = m.pushPoint(m.pushPoint(m.newSeries(), 5, 1), 5, 2);
    assert.deepEqual(m.seriesPoints(once), [{ t: 5, v: 1 }]);
  });

  it('is drawn across the chart, the largest value at the top', () => {
    const now = 1000000;
    const series = m.pushPoint(m.pushPoint(m.newSeries(), now - m.HISTORY_MS, 0), now, 8);
    const chart = (sr) => Array.from(m.chartPoints(sr, now));
    assert.deepEqual(chart(series), [0, m.CHART_H, m.CHART_W, 0]);
    assert.deepEqual(chart(m.newSeries()), []);
    // A young series spans the chart from a minute on.
    const young = m.pushPoint(m.pushPoint(m.newSeries(), now - 30000, 1), now, 1);
    assert.deepEqual(chart(young), [m.CHART_W / 2, 0, m.CHART_W, 0]);
    // A full series: every k-th point, the newest among them.
    const full = m.newSeries();
    for (let t = 1; t <= m.HISTORY_MAX; t++) m.pushPoint(full, now - m.HISTORY_MAX + t, t);
    const drawn = chart(full);
    assert.equal(drawn.length, 2 * m.CHART_POINTS);
    assert.deepEqual(drawn.slice(-2), [m.CHART_W, 0]);
  });
});

describe('a stalled slot', () => {
  it('is a busy slot whose counts have not grown for STALL_MS of answers', () => {
    assert.equal(m.STALL_MS, 10000);
    let rec = m.slotRecord(null, busy(5), 7, 0);
    rec = m.slotRecord(rec, busy(5), 7, 9999);
    assert.equal(m.isStalled(rec, 9999), false);
    rec = m.slotRecord(rec, busy(5), 7, 10000);
    assert.equal(m.isStalled(rec, 10000), true);
    // Either count growing starts the wait again.
    for (const grown of [busy(6), busy(5, 11)]) {
      const again = m.slotRecord(structuredClone(rec), grown, 7, 12000);
      assert.equal(m.isStalled(again, 21999), false);
      assert.equal(again.since, 12000);
    }
    // A new task, or counts that went back, start a new record and series.
    m.pushPoint(rec.series, 1, 1);
    for (const [n, task] of [[busy(5), 8], [busy(1), 7]]) {
      const fresh = m.slotRecord(structuredClone(rec), n, task, 20000);
      assert.deepEqual([fresh.since, fresh.series.length], [20000, 0]);
    }
    // An idle slot has no record: its series ends with its task.
    assert.equal(m.slotRecord(rec, { ...busy(5), is_processing: false }, 7, 20000), null);
  });
});

describe('a group heading', () => {
  it('counts busy and stalled slots and sums the speeds of those still moving', () => {
    const rows = [
      { n: { is_processing: true, tg: 10 }, live: null },
      { n: { is_processing: true }, live: { tg: 20.5 } },
      { n: { is_processing: true }, live: { tg: null } },
      { n: { is_processing: true, tg: 99 }, live: null },
      { n: { is_processing: false, tg: 50 }, live: null },
    ];
    const recs = [{ since: 0 }, { since: 0 }, { since: 0 }, { since: -20000 }, null];
    const f = m.groupFigures(rows, recs, 5000);
    assert.deepEqual(f, { busy: 4, total: 5, stalled: 1, speed: 30.5 });
    const now = 100000;
    const fresh = { ok: true, updated_epoch: 100, slots: [{}] };
    for (const [d, figures, state] of [
      [null, f, 'waiting'],
      [{ sleeping: true }, f, 'sleeping'],
      [{ error: 'down' }, f, 'failing'],
      [{ ...fresh, updated_epoch: 50 }, f, 'stale'],
      [fresh, f, 'stalled'],
      [fresh, { ...f, stalled: 0 }, 'live'],
    ]) {
      assert.equal(m.groupState(d, figures, now), state);
    }
  });
});
