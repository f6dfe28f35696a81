(function () {
  'use strict';

  // The page's own query: the start selection and the host's parameters that
  // travel along on every call.
  var sp = new URLSearchParams(location.search);
  var curSid = sp.get('id') || '';
  var curUrl = sp.get('url') || '';
  var busy = false;
  // Live speeds: for each source drawn by the last rendering (an address, a
  // session, a router's model), the recent counts of its busy slots.
  var tracks = new Map();
  // What the models call said of the address being probed: whether it is a
  // router, its models, and when the list was read.
  var router = null;

  var FORWARDED = ['plugin', 'node', 'pwd'];
  var PICK_MSG = 'Pick a session above or enter a llama.cpp server URL.';
  // Speeds come from the counts of the answers of the last few seconds; a
  // rate needs answers at least a second apart.
  var WINDOW_MS = 6000;
  var MIN_SPAN_MS = 1000;
  // A router's model list is read again after this long, or at once when a
  // model's answer says it is no longer loaded.
  var MODELS_MAX_AGE_MS = 6000;
  // How long an address found not to be a router is not asked again.
  var NOT_ROUTER_MS = 30000;
  var DASH = '\u2013';

  function el(id) {
    return document.getElementById(id);
  }

  var dot = el('dot');
  var title = el('title');
  var braxelBadge = el('braxelBadge');
  var srcBadge = el('srcBadge');
  var sessSel = el('sessSel');
  var urlIn = el('urlIn');
  var card = el('card');
  var srcLbl = el('srcLbl');
  var tsLbl = el('tsLbl');

  function apiUrl(extra) {
    var q = new URLSearchParams();
    FORWARDED.forEach(function (name) {
      var v = sp.get(name);
      if (v) q.append(name, v);
    });
    Object.keys(extra).forEach(function (name) {
      var v = extra[name];
      if (v === undefined || v === null || v === '') return;
      // set() keeps the first entry of that name in its place.
      q.set(name, String(v));
    });
    return location.pathname + '?' + q.toString();
  }

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

  function node(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function show(e, on) {
    e.style.display = on ? '' : 'none';
  }

  // An error member as text; llama.cpp servers send an object with a message.
  function errText(err) {
    if (typeof err === 'object' && typeof err.message === 'string') return err.message;
    return String(err);
  }

  function idleRow(n) {
    var row = node('div', 'sl-row sl-idle');
    row.appendChild(node('span', '', '#' + oneLine(n.id) + '  idle'));
    row.appendChild(node('span', '', fmtCtx(n.n_ctx) + ' ctx'));
    return row;
  }

  // `live` is the track of a measured slot: its speeds as far as measured,
  // a dash until then, and 'prompt' while nothing is decoded yet.
  function busyRows(block, n, live) {
    var head = node('div', 'sl-row sl-act-head');
    head.appendChild(node('span', '', '#' + oneLine(n.id)));
    if (live) {
      var reading = n.n_decoded === 0;
      head.appendChild(
        node('span', reading ? 'sl-prompt' : 'sl-gen', reading ? '\u25cf prompt' : '\u25cf gen')
      );
      head.appendChild(
        node('span', '', 'tg: ' + (live.tg === null ? DASH : live.tg.toFixed(1)) + ' t/s')
      );
      head.appendChild(
        node('span', '', 'pp: ' + (live.pp === null ? DASH : Math.round(live.pp)) + ' t/s')
      );
    } else {
      head.appendChild(node('span', 'sl-gen', '\u25cf gen'));
      head.appendChild(node('span', '', 'tg: ' + n.tg.toFixed(1) + ' t/s'));
      head.appendChild(node('span', '', 'pp: ' + Math.round(n.pp) + ' t/s'));
    }
    block.appendChild(head);

    var c = tokenCounts(n);
    var share = c.prompt > 0 ? (c.cached / c.prompt) * 100 : 0;
    block.appendChild(
      node(
        'div',
        'sl-row sl-detail',
        'prompt: ' + fmtNum(c.prompt) + '   cache: ' + share.toFixed(1) + '%'
      )
    );
    var remain = Math.max(0, n.n_ctx - c.used);
    block.appendChild(
      node(
        'div',
        'sl-row sl-detail',
        'decoded: ' + fmtNum(n.n_decoded) + '   remain: ' + fmtNum(remain) + ' / ' + fmtCtx(n.n_ctx)
      )
    );

    if (n.n_ctx > 0) {
      var fill = Math.min(100, Math.round((c.used / n.n_ctx) * 100));
      // Counts that are negative or not numbers draw an empty bar, not a
      // full one.
      if (!(fill >= 0)) fill = 0;
      var bar = node('div', fill >= 90 ? 'sl-bar full' : fill >= 70 ? 'sl-bar warn' : 'sl-bar');
      var i = node('i');
      i.style.width = fill + '%';
      bar.appendChild(i);
      block.appendChild(bar);
    }
  }

  // Appends a block per truthy element of `slots` to `into`, measuring the
  // speeds of measured slots under the source `src` into `next`.
  function drawSlots(into, slots, src, next, now) {
    var prev = tracks.get(src);
    var kept = new Map();
    slots.forEach(function (s) {
      if (!s) return;
      var n = normSlot(s);
      var block = node('div', 'sl-slot');
      if (n.is_processing) {
        var live = null;
        if (measured(s)) {
          var key = typeof n.id + ':' + String(n.id);
          live = measure(prev, key, s, n, now);
          kept.set(key, live);
        }
        busyRows(block, n, live);
      } else {
        block.appendChild(idleRow(n));
      }
      into.appendChild(block);
    });
    if (kept.size > 0) next.set(src, kept);
  }

  function isStale(d) {
    return (
      typeof d.updated_epoch === 'number' && Math.floor(Date.now() / 1000) - d.updated_epoch > 15
    );
  }

  // The head of a router model's group: its name, and its state when it is
  // not loaded.
  function modelRow(id, state) {
    var row = node('div', state ? 'sl-row sl-model sl-off' : 'sl-row sl-model');
    row.appendChild(node('span', '', oneLine(id)));
    if (state) row.appendChild(node('span', '', state));
    return row;
  }

  function showError(err) {
    dot.className = err ? 'dot err' : 'dot';
    title.textContent = 'Slots Monitor';
    show(braxelBadge, false);
    card.classList.remove('stale');
    card.appendChild(
      err ? node('div', 'sl-err', errText(err)) : node('div', 'sl-msg', 'No slots data')
    );
  }

  // The source badge, shown from the first good rendering on.
  function showBadge() {
    show(srcBadge, true);
    srcBadge.textContent = curUrl ? 'URL' : curSid || 'session';
  }

  function showFooter(url) {
    srcLbl.textContent = url ? url : curSid ? 'session: ' + curSid : '';
    tsLbl.textContent = 'updated ' + new Date().toLocaleTimeString();
  }

  // `src` names the answer's source for live speeds; `model` is the router
  // model that a typed address asks for, shown as the group's name.
  function render(d, src, now, model) {
    card.textContent = '';
    var next = new Map();
    var err = d ? d.error : undefined;
    if (!d || err || !Array.isArray(d.slots) || d.slots.length === 0) {
      tracks = next;
      showError(err);
      return;
    }

    var stale = isStale(d);
    dot.className = stale ? 'dot stale' : 'dot live';
    card.classList.toggle('stale', stale);
    title.textContent = 'Slots (' + d.slots.length + ')' + (stale ? ' \u00b7 stale' : '');
    show(braxelBadge, !!d.braxel);
    showBadge();
    if (model) card.appendChild(modelRow(model, ''));
    drawSlots(card, d.slots, src, next, now);
    tracks = next;
    showFooter(d.url);
  }

  // A router's view: a group per loaded model with its slots (or the message
  // of its failure), each measured at its own answer's time, then the models
  // that are not loaded, by name.
  function renderRouter(groups, others) {
    card.textContent = '';
    var next = new Map();
    var count = 0;
    var drawn = 0;
    var stale = false;
    var braxel = false;
    groups.forEach(function (g) {
      var group = node('div', 'sl-group');
      group.appendChild(modelRow(g.id, ''));
      var d = g.d;
      var err = d ? d.error : undefined;
      if (!d || err || !Array.isArray(d.slots) || d.slots.length === 0) {
        group.appendChild(
          err ? node('div', 'sl-err', errText(err)) : node('div', 'sl-msg', 'No slots data')
        );
      } else {
        drawn++;
        count += d.slots.length;
        stale = stale || isStale(d);
        braxel = braxel || !!d.braxel;
        drawSlots(group, d.slots, curUrl + '\n' + g.id, next, g.at);
      }
      card.appendChild(group);
    });
    others.forEach(function (m) {
      var group = node('div', 'sl-group');
      group.appendChild(
        modelRow(m.id, m.status === 'unloaded' || !m.status ? 'not loaded' : String(m.status))
      );
      card.appendChild(group);
    });
    tracks = next;
    if (groups.length === 0 && others.length === 0) {
      showError(undefined);
      return;
    }
    dot.className = drawn === 0 && groups.length > 0 ? 'dot err' : stale ? 'dot stale' : 'dot live';
    card.classList.toggle('stale', stale);
    title.textContent = 'Slots (' + count + ')' + (stale ? ' \u00b7 stale' : '');
    show(braxelBadge, braxel);
    showBadge();
    showFooter(curUrl);
  }

  // One call of the program: the parsed answer, or an error of its own
  // ('HTTP ' and the status when the body is no JSON or a falsy value).
  // Rejects when there is no response at all.
  function call(extra) {
    return fetch(apiUrl(extra)).then(function (r) {
      return r.text().then(function (body) {
        var d;
        try {
          d = JSON.parse(body);
        } catch (e) {
          d = undefined;
        }
        return { d: d ? d : { error: 'HTTP ' + r.status }, at: Date.now() };
      });
    });
  }

  // The query of a typed address (before any '#'), as parameters.
  function addressQuery(url) {
    var hash = url.indexOf('#');
    var q = url.indexOf('?');
    if (q < 0 || (hash >= 0 && hash < q)) return new URLSearchParams();
    return new URLSearchParams(url.slice(q + 1, hash >= 0 ? hash : undefined));
  }

  // Percent-encodes everything but letters, digits and '-._~': the program
  // accepts those characters in an address, and the server decodes them.
  function encodeParam(v) {
    return encodeURIComponent(v).replace(/[!'()*]/g, function (c) {
      return '%' + c.charCodeAt(0).toString(16).toUpperCase();
    });
  }

  // The address of a router model's slots: the typed address with the model
  // added to its query.
  function modelAddress(url, id) {
    var hash = url.indexOf('#');
    var base = hash >= 0 ? url.slice(0, hash) : url;
    var frag = hash >= 0 ? url.slice(hash) : '';
    return base + (base.indexOf('?') >= 0 ? '&' : '?') + 'model=' + encodeParam(id) + frag;
  }

  // A llama.cpp router answers /slots without a model with its 400 error
  // object; only then is its model list asked for.
  function routerHint(d) {
    return (
      !!d &&
      !!d.error &&
      typeof d.error === 'object' &&
      Number(d.error.code) === 400 &&
      !addressQuery(curUrl).has('model') &&
      !(router && router.url === curUrl && !router.models && Date.now() - router.at < NOT_ROUTER_MS)
    );
  }

  // Reads the model list of the address into `router`; true when it is a
  // router (its models have states).
  function loadModels(url) {
    return call({ action: 'models', url: url }).then(function (res) {
      var list = res.d && Array.isArray(res.d.models) ? res.d.models : null;
      var isRouter =
        !!list &&
        list.some(function (m) {
          return m && typeof m.status === 'string';
        });
      if (url !== curUrl) return false;
      if (isRouter) {
        router = { url: url, models: list, at: res.at, error: null };
      } else if (list || !router || router.url !== url || !router.models) {
        router = { url: url, models: null, at: res.at };
      } else {
        // The router did not answer: keep its models, show why.
        router.error = res.d.error || 'HTTP error';
        router.at = res.at;
      }
      return isRouter;
    });
  }

  // One poll of a router: its model list when due, then every loaded model's
  // slots at once. At most one call more than there are loaded models.
  function pollRouter() {
    var url = curUrl;
    var due = Date.now() - router.at >= MODELS_MAX_AGE_MS || router.refresh;
    return (due ? loadModels(url) : Promise.resolve(true)).then(function () {
      if (url !== curUrl || !router || router.url !== url) return;
      if (!router.models) return pollOne();
      if (router.error) {
        var e = router.error;
        router.error = null;
        router.at = 0;
        render({ error: e });
        return;
      }
      var loaded = router.models.filter(function (m) {
        return m.status === 'loaded';
      });
      var others = router.models.filter(function (m) {
        return m.status !== 'loaded';
      });
      return Promise.all(
        loaded.map(function (m) {
          return call({ action: 'slots', url: modelAddress(url, m.id) }).then(
            function (res) {
              return { id: m.id, d: res.d, at: res.at };
            },
            function () {
              return { id: m.id, d: { error: 'Network error polling slots' }, at: Date.now() };
            }
          );
        })
      ).then(function (groups) {
        if (url !== curUrl) return;
        // A model that failed may have been unloaded: read the list again
        // on the next poll.
        router.refresh = groups.some(function (g) {
          return g.d && g.d.error;
        });
        renderRouter(groups, others);
      });
    });
  }

  // One poll of the address or session: one slots call, and the model list
  // when the answer says the address is a router.
  function pollOne() {
    var extra = { action: 'slots' };
    var url = curUrl;
    if (url) extra.url = url;
    else extra.id = curSid;
    var src = url ? 'url:' + url : 'id:' + curSid;
    return call(extra).then(function (res) {
      if (url && url === curUrl && routerHint(res.d)) {
        return loadModels(url).then(function (isRouter) {
          if (isRouter) return pollRouter();
          render(res.d, src, res.at);
        });
      }
      var model = url ? addressQuery(url).get('model') : null;
      render(res.d, src, res.at, model);
    });
  }

  // One slots call at a time (a router's calls count as one): a poll asked
  // for while one is outstanding is dropped, and the next one picks up
  // whatever selection is current then.
  function poll() {
    if (busy) return;
    if (!curUrl && !curSid) {
      render({ error: PICK_MSG });
      return;
    }
    busy = true;
    var done = function () {
      busy = false;
    };
    var job = curUrl && router && router.url === curUrl && router.models ? pollRouter() : pollOne();
    job
      .catch(function () {
        render({ error: 'Network error polling slots' });
      })
      .then(done, done);
  }

  function loadSessions() {
    return fetch(apiUrl({ action: 'sessions' }))
      .then(function (r) {
        return r.json();
      })
      .then(function (d) {
        var list = d && Array.isArray(d.sessions) ? d.sessions : [];
        // The options are built apart first, so a fault half-way leaves the
        // selector as it was.
        var opts = [];
        if (list.length === 0) {
          opts.push(new Option('No sessions', ''));
        } else {
          opts.push(new Option('Select session\u2026', ''));
          list.forEach(function (s) {
            var o = new Option(s.name + (s.has_slots ? ' (slots)' : ''), s.name);
            if (curSid && curSid === s.name) o.selected = true;
            opts.push(o);
          });
        }
        sessSel.textContent = '';
        opts.forEach(function (o) {
          sessSel.appendChild(o);
        });
        if (!curSid && !curUrl && list.length > 0) {
          var pick = list.filter(function (s) {
            return s.has_slots;
          })[0];
          curSid = (pick || list[0]).name;
          sessSel.value = curSid;
        }
      })
      .catch(function () {});
  }

  function probe() {
    curUrl = urlIn.value.trim();
    poll();
  }

  sessSel.addEventListener('change', function () {
    curSid = sessSel.value;
    curUrl = '';
    urlIn.value = '';
    poll();
  });
  el('btnGo').addEventListener('click', probe);
  urlIn.addEventListener('keydown', function (e) {
    if (e.key === 'Enter') probe();
  });
  el('btnRefresh').addEventListener('click', function () {
    poll();
  });
  var themeToggle = el('themeToggle');
  if (themeToggle) {
    themeToggle.addEventListener('click', function () {
      var root = document.documentElement;
      var next = root.getAttribute('data-theme') === 'light' ? 'dark' : 'light';
      root.setAttribute('data-theme', next);
      try {
        localStorage.setItem('bot_theme', next);
      } catch (e) {}
    });
  }
  if (curUrl) urlIn.value = curUrl;
  document.addEventListener('visibilitychange', function () {
    if (document.visibilityState === 'visible') poll();
  });

  function start() {
    poll();
    setInterval(function () {
      if (document.visibilityState === 'visible') poll();
    }, 1500);
  }
  loadSessions().then(start, start);
})();
