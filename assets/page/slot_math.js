(function () {
  'use strict';

  // The page script is joined at build time from pieces, in the order that
  // cmake/embed_page.cmake lists: slot_math.js (the constants, the figures
  // and their arithmetic), history.js (the overview's series and stalls),
  // address.js (addresses), draw.js (the card, drawn in place), poll.js (the
  // calls, router mode and live speeds), watch.js (a llama.cpp server
  // watched without waking it), overview.js (every source at once),
  // controls.js (the controls and the timer). This piece opens the function
  // that holds them and controls.js closes it. slot_math.js, history.js and
  // address.js are pure: no page, no timers, no state (tests/page runs them
  // under node).

  // How often the page polls while it is visible.
  var POLL_MS = 1500;
  // Speeds come from the counts of the answers of the last few seconds; a
  // rate needs answers at least a second apart.
  var WINDOW_MS = 6000;
  var MIN_SPAN_MS = 1000;
  // An answer whose updated_epoch is more than this many seconds old is stale.
  var STALE_S = 15;
  // The context bar warns from this share of the context (percent, rounded)
  // and is full from the next.
  var CTX_WARN_PCT = 70;
  var CTX_FULL_PCT = 90;
  // How long an address found not to be a router is not asked again.
  var NOT_ROUTER_MS = 30000;
  // What a speed shows until it is measured.
  var DASH = '\u2013';
  // A llama.cpp server whose slots have all been idle this long is no longer
  // asked for its slots (each /slots request restarts its idle timer, so it
  // could never fall asleep) but watched through /props and /metrics.
  var QUIET_MS = 5000;

  function num(n) {
    n = Number(n);
    return isNaN(n) ? 0 : n;
  }

  function fmtCtx(n) {
    n = num(n);
    return n >= 1024 ? Math.round(n / 1024) + 'K' : String(n);
  }

  function fmtNum(n) {
    return num(n).toLocaleString('en-US');
  }

  function present(v) {
    return v !== undefined && v !== null;
  }

  // Text from an answer, for a row that stays one line: line breaks, tabs and
  // other control characters become spaces (spaces stay as they are).
  function oneLine(v) {
    return String(v).replace(/[\u0000-\u001f\u007f\u0085\u2028\u2029]/g, ' ');
  }

  // An error member as text; llama.cpp servers send an object with a message.
  function errText(err) {
    if (typeof err === 'object' && typeof err.message === 'string') return err.message;
    return String(err);
  }

  // An answer with slots to draw: no error and a non-empty slots array.
  function hasSlots(d) {
    return !!d && !d.error && Array.isArray(d.slots) && d.slots.length > 0;
  }

  // An answer whose updated_epoch (a number, in seconds) is more than STALE_S
  // seconds before `nowMs`.
  function isStale(d, nowMs) {
    return (
      typeof d.updated_epoch === 'number' && Math.floor(nowMs / 1000) - d.updated_epoch > STALE_S
    );
  }

  // Accepts the flat schema of a session's slots.json and the raw schema of a
  // llama.cpp server's /slots reply.
  function normSlot(s) {
    var t = s.timings;
    var first = s.next_token ? s.next_token[0] : undefined;
    var n = {
      id: s.id,
      is_processing: !!s.is_processing,
      n_ctx: Number(s.n_ctx || 0),
      tg: Number(present(s.tg) ? s.tg : t && t.predicted_per_second ? t.predicted_per_second : 0),
      pp: Number(present(s.pp) ? s.pp : t && t.prompt_per_second ? t.prompt_per_second : 0),
      n_prompt_tokens: Number(
        present(s.n_prompt_tokens) ? s.n_prompt_tokens : s.n_past ? s.n_past : 0
      ),
      n_prompt_tokens_processed: Number(
        present(s.n_prompt_tokens_processed) ? s.n_prompt_tokens_processed : 0
      ),
      n_decoded: Number(
        present(s.n_decoded) ? s.n_decoded : first && first.n_decoded ? first.n_decoded : 0
      )
    };
    // Servers that report the cached part of the prompt count the generated
    // tokens in n_prompt_tokens as well.
    if (typeof s.n_prompt_tokens_cache === 'number') {
      n.n_prompt_tokens_cache = s.n_prompt_tokens_cache;
    }
    return n;
  }

  // A busy slot of a llama.cpp server (it names its task) that sends no speed
  // of its own: current servers send none, so the page measures them.
  function measured(s) {
    return (
      !!s.is_processing &&
      present(s.id_task) &&
      !present(s.tg) &&
      !present(s.pp) &&
      !s.timings
    );
  }

  // The rate per second of `key` over the samples (least squares, so one late
  // answer moves it little), or null when they span less than MIN_SPAN_MS.
  function rate(samples, key) {
    if (samples.length < 2) return null;
    var first = samples[0].t;
    var span = samples[samples.length - 1].t - first;
    if (span < MIN_SPAN_MS) return null;
    var n = samples.length;
    var mt = 0;
    var mv = 0;
    samples.forEach(function (p) {
      mt += (p.t - first) / n;
      mv += p[key] / n;
    });
    var num = 0;
    var den = 0;
    samples.forEach(function (p) {
      num += (p.t - first - mt) * (p[key] - mv);
      den += (p.t - first - mt) * (p.t - first - mt);
    });
    return den > 0 ? (num / den) * 1000 : null;
  }

  // Adds this answer's counts of a measured slot to its track (a new one when
  // the slot is new, changed task or its counts went back) and updates its
  // speeds: tg from the growth of n_decoded since decoding began, pp from the
  // growth of n_prompt_tokens_processed while it grows (kept once the prompt
  // is read).
  function measure(prev, key, s, n, now) {
    var t = prev ? prev.get(key) : undefined;
    var last = t && t.samples[t.samples.length - 1];
    if (
      !t ||
      t.task !== s.id_task ||
      n.n_decoded < last.dec ||
      n.n_prompt_tokens_processed < last.proc
    ) {
      t = { task: s.id_task, samples: [], tg: null, pp: null };
    }
    t.samples = t.samples.filter(function (p) {
      return p.t >= now - WINDOW_MS && p.t < now;
    });
    t.samples.push({ t: now, dec: n.n_decoded, proc: n.n_prompt_tokens_processed });
    var decoding = t.samples.filter(function (p) {
      return p.dec > 0;
    });
    var tg = rate(decoding, 'dec');
    if (tg !== null) t.tg = Math.max(0, tg);
    // The prompt's samples: up to the first one with the final count.
    var reading = [];
    for (var i = 0; i < t.samples.length; i++) {
      reading.push(t.samples[i]);
      if (t.samples[i].proc === n.n_prompt_tokens_processed) break;
    }
    if (reading[0].proc < n.n_prompt_tokens_processed) {
      var pp = rate(reading, 'proc');
      if (pp !== null) t.pp = Math.max(0, pp);
    }
    return t;
  }

  // The slots of one answer as they are drawn: every element that is not
  // falsy, normalised, and the track of each measured slot (`live`, null for
  // the others), carried on from `prev`, the tracks of the same source at its
  // last drawing. Returns the rows and the tracks to keep, by slot id.
  function slotRows(slots, prev, now) {
    var rows = [];
    var kept = new Map();
    slots.forEach(function (s) {
      if (!s) return;
      var n = normSlot(s);
      var live = null;
      if (measured(s)) {
        var key = typeof n.id + ':' + String(n.id);
        live = measure(prev, key, s, n, now);
        kept.set(key, live);
      }
      rows.push({ n: n, live: live });
    });
    return { rows: rows, kept: kept };
  }

  // The prompt count shown, the part of it served from cache, and the context
  // the slot fills.
  function tokenCounts(n) {
    if (present(n.n_prompt_tokens_cache)) {
      return {
        prompt: Math.max(0, n.n_prompt_tokens - n.n_decoded),
        cached: n.n_prompt_tokens_cache,
        used: n.n_prompt_tokens
      };
    }
    return {
      prompt: n.n_prompt_tokens,
      cached: Math.max(0, n.n_prompt_tokens - n.n_prompt_tokens_processed),
      used: n.n_prompt_tokens + n.n_decoded
    };
  }

  // The share of the context in use, in whole percent up to 100, or null
  // when the slot has no context size. Counts that are negative or not
  // numbers give 0, an empty bar rather than a full one.
  function ctxFill(used, nCtx) {
    if (!(nCtx > 0)) return null;
    var fill = Math.min(100, Math.round((used / nCtx) * 100));
    return fill >= 0 ? fill : 0;
  }

  function barClass(fill) {
    return fill >= CTX_FULL_PCT ? 'sl-bar full' : fill >= CTX_WARN_PCT ? 'sl-bar warn' : 'sl-bar';
  }

  // What a busy slot's rows say. `live` is the track of a measured slot: its
  // speeds as far as measured, a dash until then, and the prompt state while
  // nothing is decoded yet; other slots show the speeds they send.
  function busyFigures(n, live) {
    var c = tokenCounts(n);
    var share = c.prompt > 0 ? (c.cached / c.prompt) * 100 : 0;
    var tg = live ? live.tg : n.tg;
    var pp = live ? live.pp : n.pp;
    var remain = Math.max(0, n.n_ctx - c.used);
    return {
      reading: !!live && n.n_decoded === 0,
      tg: 'tg: ' + (tg === null ? DASH : tg.toFixed(1)) + ' t/s',
      pp: 'pp: ' + (pp === null ? DASH : Math.round(pp)) + ' t/s',
      prompt: 'prompt: ' + fmtNum(c.prompt) + '   cache: ' + share.toFixed(1) + '%',
      decoded:
        'decoded: ' + fmtNum(n.n_decoded) + '   remain: ' + fmtNum(remain) + ' / ' +
        fmtCtx(n.n_ctx),
      fill: ctxFill(c.used, n.n_ctx)
    };
  }

  // Watching a llama.cpp server without disturbing it. `w` is what the page
  // knows of the typed address: `mode` is 'slots' (its slots are polled),
  // 'quiet' (idle: /props and /metrics are watched) or 'asleep' (/props is
  // watched); `metrics`, whether the server has /metrics; `since`, when all
  // its slots were first seen idle; `busy`, every slot was busy at the last
  // answer (a queue can form: /metrics is read with the next poll); `queue`,
  // the requests waiting for a slot as last read; `note`, the page keeps the
  // server awake (no /metrics). These functions return a new state.

  // The state after the first look at an address's props call answer `d`,
  // or null when the address is no llama.cpp server (no build_info) and is
  // polled as any other. A router's own props (role router) is not watched.
  function firstWatch(d) {
    var p = d && d.ok ? d.props : null;
    if (!p || typeof p.build_info !== 'string') return null;
    return {
      router: p.role === 'router',
      mode: p.is_sleeping === true ? 'asleep' : 'slots',
      metrics: p.endpoint_metrics === true,
      since: null,
      busy: false,
      queue: 0,
      note: false
    };
  }

  // The state after a slots answer `d` received at `at`.
  function afterSlots(w, d, at) {
    var slots = hasSlots(d) ? d.slots.filter(Boolean) : [];
    var idle = slots.length > 0 && slots.every(function (s) {
      return !s.is_processing;
    });
    var since = idle ? (w.since === null ? at : w.since) : null;
    var quiet = since !== null && at - since >= QUIET_MS;
    return Object.assign({}, w, {
      mode: quiet && w.metrics ? 'quiet' : 'slots',
      since: quiet && w.metrics ? null : since,
      busy: slots.length > 0 && slots.every(function (s) {
        return !!s.is_processing;
      }),
      note: w.note || (quiet && !w.metrics)
    });
  }

  // The state of a router's quiet model after its counters `m` (its
  // /metrics, null when they could not be read): its slots are polled again
  // when a request runs, and for good when it has no /metrics.
  function afterCounters(w, m) {
    if (!m) return Object.assign({}, w, { mode: 'slots', metrics: false });
    var working = typeof m.requests_processing !== 'number' || m.requests_processing > 0;
    return Object.assign({}, w, { mode: working ? 'slots' : 'quiet' });
  }

  // The state after a props call answer `d` (with its metrics when they were
  // asked for). Asleep: watched until /props shows it awake. Quiet: slots
  // are polled again when a request is processed, or when the answer lacks
  // what watching needs. A failed answer hands the address back to its
  // slots call, which shows why.
  function afterProps(w, d) {
    var p = d && d.ok ? d.props : null;
    var m = d && d.ok ? d.metrics : null;
    var queue = m && typeof m.requests_deferred === 'number' ? m.requests_deferred : 0;
    var next = Object.assign({}, w, { queue: queue, busy: false });
    if (!p) return Object.assign(next, { mode: 'slots', queue: 0 });
    // A server started again may have /metrics now, or no more.
    next.metrics = p.endpoint_metrics === true;
    if (p.is_sleeping === true) return Object.assign(next, { mode: 'asleep', queue: 0 });
    if (w.mode === 'asleep') return Object.assign(next, { mode: 'slots' });
    if (w.mode !== 'quiet') return next;
    var working = !m || typeof m.requests_processing !== 'number' || m.requests_processing > 0;
    return Object.assign(next, { mode: working ? 'slots' : 'quiet' });
  }
