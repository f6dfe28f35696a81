(function () {
  'use strict';

  // The page's own query: the start selection and the host's parameters that
  // travel along on every call.
  var sp = new URLSearchParams(location.search);
  var curSid = sp.get('id') || '';
  var curUrl = sp.get('url') || '';
  var busy = false;

  var FORWARDED = ['plugin', 'node', 'pwd'];
  var PICK_MSG = 'Pick a session above or enter a llama.cpp server URL.';

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
    row.appendChild(node('span', '', '#' + n.id + '  idle'));
    row.appendChild(node('span', '', fmtCtx(n.n_ctx) + ' ctx'));
    return row;
  }

  function busyRows(block, n) {
    var head = node('div', 'sl-row sl-act-head');
    head.appendChild(node('span', '', '#' + n.id));
    head.appendChild(node('span', 'sl-gen', '\u25cf gen'));
    head.appendChild(node('span', '', 'tg: ' + n.tg.toFixed(1) + ' t/s'));
    head.appendChild(node('span', '', 'pp: ' + Math.round(n.pp) + ' t/s'));
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

  function render(d) {
    card.textContent = '';
    var err = d ? d.error : undefined;
    if (!d || err || !Array.isArray(d.slots) || d.slots.length === 0) {
      dot.className = err ? 'dot err' : 'dot';
      title.textContent = 'Slots Monitor';
      show(braxelBadge, false);
      card.classList.remove('stale');
      card.appendChild(
        err ? node('div', 'sl-err', errText(err)) : node('div', 'sl-msg', 'No slots data')
      );
      return;
    }

    var stale =
      typeof d.updated_epoch === 'number' && Math.floor(Date.now() / 1000) - d.updated_epoch > 15;
    dot.className = stale ? 'dot stale' : 'dot live';
    card.classList.toggle('stale', stale);
    title.textContent = 'Slots (' + d.slots.length + ')' + (stale ? ' \u00b7 stale' : '');
    show(braxelBadge, !!d.braxel);
    show(srcBadge, true);
    srcBadge.textContent = curUrl ? 'URL' : curSid || 'session';

    d.slots.forEach(function (s) {
      if (!s) return;
      var n = normSlot(s);
      var block = node('div', 'sl-slot');
      if (n.is_processing) busyRows(block, n);
      else block.appendChild(idleRow(n));
      card.appendChild(block);
    });

    srcLbl.textContent = d.url ? d.url : curSid ? 'session: ' + curSid : '';
    tsLbl.textContent = 'updated ' + new Date().toLocaleTimeString();
  }

  // One slots call at a time: a poll asked for while one is outstanding is
  // dropped, and the next one picks up whatever selection is current then.
  function poll() {
    if (busy) return;
    if (!curUrl && !curSid) {
      render({ error: PICK_MSG });
      return;
    }
    busy = true;
    var extra = { action: 'slots' };
    if (curUrl) extra.url = curUrl;
    else extra.id = curSid;
    var done = function () {
      busy = false;
    };
    fetch(apiUrl(extra))
      .then(function (r) {
        return r.text().then(function (body) {
          var d;
          try {
            d = JSON.parse(body);
          } catch (e) {
            d = undefined;
          }
          render(d ? d : { error: 'HTTP ' + r.status });
        });
      })
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
