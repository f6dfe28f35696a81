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

  // Adds the point (t, v) to `series` (an array of {t, v}, changed in
  // place), then drops the points older than HISTORY_MS before `t` and the
  // oldest beyond HISTORY_MAX. A point no later than the last one replaces
  // nothing and is not added: time only moves forward in a series.
  function pushPoint(series, t, v) {
    var last = series[series.length - 1];
    if (!last || t > last.t) series.push({ t: t, v: v });
    var drop = 0;
    while (drop < series.length && series[drop].t < t - HISTORY_MS) drop++;
    drop = Math.max(drop, series.length - HISTORY_MAX);
    if (drop > 0) series.splice(0, drop);
    return series;
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
      return { task: task, dec: dec, proc: proc, since: at, series: [] };
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

  // The points of a chart of `series` over the HISTORY_MS before `now`, as
  // an SVG polyline's `points`: time across CHART_W, the value up CHART_H
  // from 0 to the series' largest value (at least 1).
  function chartPoints(series, now) {
    var top = 1;
    series.forEach(function (p) {
      if (p.v > top) top = p.v;
    });
    return series
      .map(function (p) {
        var x = CHART_W - ((now - p.t) / HISTORY_MS) * CHART_W;
        var y = CHART_H - (p.v / top) * CHART_H;
        return x.toFixed(1) + ',' + y.toFixed(1);
      })
      .join(' ');
  }
