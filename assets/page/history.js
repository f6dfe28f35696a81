  // History and stalls for the overview (pure, like slot_math.js): the
  // series behind its charts, the stall of a busy slot, the figures of a
  // group's heading and the points of a chart.

  // A busy slot whose counts have not grown for this long (by the times of
  // the answers) is stalled.
  var STALL_MS = 10000;
  // The charts show this much history, and a series keeps at most this many
  // points: the page's memory stays bounded however long it runs.
  var HISTORY_MS = 300000;
  var HISTORY_MAX = 300;
  // The size of a chart, in its own units (the drawing scales it).
  var CHART_W = 120;
  var CHART_H = 24;
  var CHART_POINTS = 60;
  var CHART_MIN_MS = 60000;

  // A series: a ring of HISTORY_MAX points (time `t`, value `v`), the
  // oldest at `first`, `length` of them in use. Its memory is taken once,
  // so a page that runs for hours holds no more than one that just began.
  function newSeries() {
    return {
      t: new Float64Array(HISTORY_MAX),
      v: new Float64Array(HISTORY_MAX),
      first: 0,
      length: 0
    };
  }

  // A series with no points, for a chart with none.
  var NO_POINTS = { t: null, v: null, first: 0, length: 0 };

  function pointAt(series, i) {
    var k = (series.first + i) % HISTORY_MAX;
    return { t: series.t[k], v: series.v[k] };
  }

  // Adds the point (t, v) to `series` (changed in place), the oldest giving
  // way when it is full, then drops the points older than HISTORY_MS before
  // `t`. A point no later than the last one is not added: time only moves
  // forward in a series.
  function pushPoint(series, t, v) {
    if (series.length > 0 && t <= pointAt(series, series.length - 1).t) return series;
    if (series.length === HISTORY_MAX) {
      series.first = (series.first + 1) % HISTORY_MAX;
      series.length--;
    }
    var k = (series.first + series.length) % HISTORY_MAX;
    series.t[k] = t;
    series.v[k] = v;
    series.length++;
    while (series.length > 0 && series.t[series.first] < t - HISTORY_MS) {
      series.first = (series.first + 1) % HISTORY_MAX;
      series.length--;
    }
    return series;
  }

  // The points of a series, oldest first.
  function seriesPoints(series) {
    var out = [];
    for (var i = 0; i < series.length; i++) out.push(pointAt(series, i));
    return out;
  }

  // The record of a busy slot `n` (normalised) at an answer received at
  // `at`, from its record at the last answer (`prev`): `task` (id_task when
  // the slot names one), the counts, `since` (when they last grew) and its
  // speed `series`. A new task, counts that went back, or no record start a
  // new one; an idle slot has none (its series ends with its task).
  function slotRecord(prev, n, task, at) {
    if (!n.is_processing) return null;
    var dec = n.n_decoded;
    var proc = n.n_prompt_tokens_processed;
    if (!prev || prev.task !== task || dec < prev.dec || proc < prev.proc) {
      return { task: task, dec: dec, proc: proc, since: at, series: newSeries() };
    }
    if (dec > prev.dec || proc > prev.proc) {
      prev.dec = dec;
      prev.proc = proc;
      prev.since = at;
    }
    return prev;
  }

  function isStalled(rec, at) {
    return !!rec && at - rec.since >= STALL_MS;
  }

  // The generation speed a row shows: measured, or sent by the source.
  function rowSpeed(r) {
    var tg = r.live ? r.live.tg : r.n.tg;
    return typeof tg === 'number' && isFinite(tg) ? tg : null;
  }

  // The figures of a group's heading from its rows (slotRows) and their
  // records (by row, null for an idle slot) at `at`: busy and total slots,
  // the stalled ones, and the sum of the known generation speeds of the
  // busy slots that are not stalled.
  function groupFigures(rows, recs, at) {
    var f = { busy: 0, total: rows.length, stalled: 0, speed: 0 };
    rows.forEach(function (r, i) {
      if (!r.n.is_processing) return;
      f.busy++;
      if (isStalled(recs[i], at)) f.stalled++;
      else f.speed += rowSpeed(r) || 0;
    });
    return f;
  }

  // The state word of a group: what its source answered (`d`, null when
  // nothing yet) and its figures.
  function groupState(d, f, nowMs) {
    if (!d) return 'waiting';
    if (d.sleeping) return 'sleeping';
    if (!hasSlots(d)) return 'failing';
    if (isStale(d, nowMs)) return 'stale';
    return f.stalled > 0 ? 'stalled' : 'live';
  }

  function fmtSpeed(v) {
    return (v === null ? DASH : v.toFixed(1)) + ' t/s';
  }

  // The points of a chart of `series` up to `now`, in the chart's units, as
  // one flat Float64Array x0, y0, x1, y1, ...: time across CHART_W (the
  // series' own span, from CHART_MIN_MS to HISTORY_MS), the value up CHART_H
  // from 0 to the largest value drawn (at least 1). A long series is drawn from every
  // k-th point, at most CHART_POINTS and always the newest: the chart is no
  // wider than that, and its cost stays the same however long the page runs.
  function chartPoints(series, now) {
    var step = Math.ceil(series.length / CHART_POINTS);
    var first = (series.length - 1) % step;
    var top = 1;
    for (var i = first; i < series.length; i += step) top = Math.max(top, pointAt(series, i).v);
    // A young series fills the chart from CHART_MIN_MS on.
    var oldest = series.length > 0 ? pointAt(series, 0).t : now;
    var span = Math.min(HISTORY_MS, Math.max(CHART_MIN_MS, now - oldest));
    // A typed list: its memory is outside the script's heap, whatever the
    // length of the history.
    var out = new Float64Array(2 * Math.ceil((series.length - first) / step));
    for (var k = first, j = 0; k < series.length; k += step, j += 2) {
      var p = pointAt(series, k);
      out[j] = CHART_W - ((now - p.t) / span) * CHART_W;
      out[j + 1] = CHART_H - (p.v / top) * CHART_H;
    }
    return out;
  }
