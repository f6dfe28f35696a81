  // Drawing: the card, the header and the footer, from a view that the poll
  // built and measured (poll.js). One path for one source and for a router's
  // groups. Every element is built with createElement and textContent:
  // nothing of an answer is read as markup.

  function el(id) {
    return document.getElementById(id);
  }

  var dot = el('dot');
  var title = el('title');
  var braxelBadge = el('braxelBadge');
  var srcBadge = el('srcBadge');
  var card = el('card');
  var srcLbl = el('srcLbl');
  var tsLbl = el('tsLbl');

  function node(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) setText(e, text);
    return e;
  }

  // Drawing in place: a text or a class is written only when it changed
  // (the last text written is kept on the element), so a poll that changes
  // little costs the page little.
  function setText(e, text) {
    if (e._text === text) return;
    // The text node changed in place: no new node for the style to reach.
    var t = e.firstChild;
    if (t && t === e.lastChild && t.nodeType === 3 && text !== '') t.nodeValue = text;
    else e.textContent = text;
    e._text = text;
  }

  function setClass(e, cls) {
    if (e.className !== cls) e.className = cls;
  }

  function setShown(e, on) {
    var display = on ? '' : 'none';
    if (e.style.display !== display) e.style.display = display;
  }

  // Makes the children of `into` the elements of `items` in their order:
  // each item has a `key`, `make()` that builds its element and
  // `update(e)` that brings it up to date. An element drawn before under the
  // same key is kept and updated; the others are built; what is left over
  // is removed. `into` holds nothing else.
  function place(into, items) {
    var before = into._keyed || new Map();
    var now = new Map();
    var at = into.firstChild;
    items.forEach(function (it) {
      var e = before.get(it.key) || it.make();
      if (it.update) it.update(e);
      now.set(it.key, e);
      if (e === at) at = at.nextSibling;
      else into.insertBefore(e, at);
    });
    while (at) {
      var next = at.nextSibling;
      into.removeChild(at);
      at = next;
    }
    into._keyed = now;
  }

  // Empties the card for a drawing of another kind (`mode`).
  function resetCard(mode) {
    card.textContent = '';
    card._keyed = null;
    card._mode = mode;
  }

  // An answer's error as a message, or that there is nothing to draw.
  function messageRow(err) {
    return err ? node('div', 'sl-err', errText(err)) : node('div', 'sl-msg', 'No slots data');
  }

  function messageItem(err) {
    var text = err ? errText(err) : '';
    return { key: 'msg:' + text, make: messageRow.bind(null, err) };
  }

  // A chart: a canvas of `size` CSS pixels (width, height), backed at the
  // screen's pixel ratio, its line in the theme's green. A canvas is
  // painted, never laid out, so a poll that moves every chart costs the
  // page no layout.
  var GROUP_CHART = [120, 24];
  var SLOT_CHART = [72, 14];
  var CHART_LINE = 1.5;
  var NO_POINTS_DRAWN = new Float64Array(0);

  function chartNode(cls, size) {
    var c = document.createElement('canvas');
    var ratio = window.devicePixelRatio || 1;
    c.className = cls;
    c.setAttribute('aria-hidden', 'true');
    c.style.width = size[0] + 'px';
    c.style.height = size[1] + 'px';
    c.width = Math.round(size[0] * ratio);
    c.height = Math.round(size[1] * ratio);
    c._ratio = ratio;
    c._points = NO_POINTS_DRAWN;
    return c;
  }

  // A chart moves with time, so it is drawn again whenever it has points.
  // Its points (chartPoints, history.js) are kept for a change of theme.
  function setChart(c, series, now) {
    if (series.length === 0 && c._points.length === 0) return;
    c._points = chartPoints(series, now);
    paintChart(c);
  }

  // The theme's green, read again only when the theme changed.
  var ink = { theme: undefined, colour: '' };

  function paintChart(c) {
    var root = document.documentElement;
    var theme = root.getAttribute('data-theme');
    if (ink.theme !== theme) {
      ink.theme = theme;
      ink.colour = getComputedStyle(root).getPropertyValue('--green').trim();
    }
    var g = c.getContext('2d');
    var pts = c._points;
    g.clearRect(0, 0, c.width, c.height);
    if (pts.length === 0) return;
    // The line keeps inside the canvas: half its width from each edge.
    var line = CHART_LINE * c._ratio;
    var sx = (c.width - line) / CHART_W;
    var sy = (c.height - line) / CHART_H;
    g.lineWidth = line;
    g.lineJoin = 'round';
    g.strokeStyle = ink.colour;
    g.beginPath();
    for (var i = 0; i < pts.length; i += 2) g.lineTo(line / 2 + pts[i] * sx, line / 2 + pts[i + 1] * sy);
    g.stroke();
  }

  // Another theme: every chart again in its green.
  new MutationObserver(function () {
    [].forEach.call(document.querySelectorAll('canvas.chart'), paintChart);
  }).observe(document.documentElement, { attributes: true, attributeFilter: ['data-theme'] });

  // A slot's block for the row `r` of slotRows (slot_math.js): an idle row,
  // or a busy slot's head, details and context bar. `x`, in the overview:
  // the slot's record (history.js) and the time of its answer, for the
  // stalled state and its speed chart.
  function slotItem(r, i, x) {
    var f = r.n.is_processing ? busyFigures(r.n, r.live) : null;
    var kind = !f ? 'idle' : (f.fill === null ? 'busy' : 'bar') + (x ? '+' : '');
    return {
      key: i + ':' + kind,
      make: function () {
        return f ? busyBlock(f, !!x) : node('div', 'sl-slot');
      },
      update: function (block) {
        if (f) updateBusy(block, r.n, f, x);
        else updateIdle(block, r.n);
      }
    };
  }

  function updateIdle(block, n) {
    var text = '#' + oneLine(n.id) + '  idle';
    var ctx = fmtCtx(n.n_ctx) + ' ctx';
    if (!block.firstChild) {
      var row = node('div', 'sl-row sl-idle');
      row.appendChild(node('span', '', text));
      row.appendChild(node('span', '', ctx));
      block.appendChild(row);
    }
    setText(block.firstChild.firstChild, text);
    setText(block.firstChild.lastChild, ctx);
  }

  function busyBlock(f, charted) {
    var block = node('div', 'sl-slot');
    var head = node('div', 'sl-row sl-act-head');
    var p = {
      id: node('span', ''),
      state: node('span', ''),
      tg: node('span', ''),
      pp: node('span', ''),
      prompt: node('div', 'sl-row sl-detail'),
      decoded: node('div', 'sl-row sl-detail')
    };
    [p.id, p.state, p.tg, p.pp].forEach(function (e) {
      head.appendChild(e);
    });
    if (charted) {
      p.chart = chartNode('chart chart-slot', SLOT_CHART);
      head.appendChild(p.chart);
    }
    block.appendChild(head);
    block.appendChild(p.prompt);
    block.appendChild(p.decoded);
    if (f.fill !== null) {
      p.bar = node('div', barClass(f.fill));
      p.fill = node('i');
      p.bar.appendChild(p.fill);
      block.appendChild(p.bar);
    }
    block._p = p;
    return block;
  }

  function updateBusy(block, n, f, x) {
    var p = block._p;
    var stalled = !!x && isStalled(x.rec, x.at);
    setText(p.id, '#' + oneLine(n.id));
    setClass(p.state, stalled ? 'sl-stalled' : f.reading ? 'sl-prompt' : 'sl-gen');
    setText(p.state, stalled ? '\u25cf stalled' : f.reading ? '\u25cf prompt' : '\u25cf gen');
    setText(p.tg, f.tg);
    setText(p.pp, f.pp);
    setText(p.prompt, f.prompt);
    setText(p.decoded, f.decoded);
    if (p.bar) {
      setClass(p.bar, barClass(f.fill));
      var width = f.fill + '%';
      if (p.fill._width !== width) p.fill.style.width = p.fill._width = width;
    }
    if (p.chart) setChart(p.chart, x.rec ? x.rec.series : NO_POINTS, x.at);
  }

  // The blocks of the rows of slotRows (slot_math.js); `extra(i)` gives the
  // overview's part of row i, when drawn there.
  function slotItems(rows, extra) {
    return rows.map(function (r, i) {
      return slotItem(r, i, extra ? extra(i) : null);
    });
  }

  // The head of a router model's group: its name, and its state when it is
  // not loaded.
  function modelRow(id, state) {
    var row = node('div', state ? 'sl-row sl-model sl-off' : 'sl-row sl-model');
    row.appendChild(node('span', '', oneLine(id)));
    if (state) row.appendChild(node('span', '', state));
    return row;
  }

  function stateText(status) {
    return status === 'unloaded' || !status ? 'not loaded' : String(status);
  }

  // The page when there is nothing to draw: the error, or no data. The
  // source badge and the footer keep what they showed.
  function showError(err) {
    resetCard('message');
    setClass(dot, err ? 'dot err' : 'dot');
    setText(title, 'Slots Monitor');
    setShown(braxelBadge, false);
    card.classList.remove('stale');
    card.appendChild(messageRow(err));
  }

  // A llama.cpp server that sleeps: the word where its slots would be, the
  // dot neither red nor live.
  function showSleeping(view, sel) {
    resetCard('message');
    setClass(dot, 'dot');
    setText(title, 'Slots \u00b7 sleeping');
    setShown(braxelBadge, false);
    card.classList.remove('stale');
    card.appendChild(node('div', 'sl-msg sl-sleep', 'sleeping'));
    showBadge(sel);
    showFooter(view.footer, sel);
  }

  // `sel` is the current choice: `url`, the typed address, or `sid`, the
  // session.
  function showBadge(sel) {
    setShown(srcBadge, true);
    setText(srcBadge, sel.url ? 'URL' : sel.sid || 'session');
  }

  function showFooter(url, sel) {
    setText(srcLbl, url ? url : sel.sid ? 'session: ' + sel.sid : '');
    tsLbl.textContent = 'updated ' + new Date().toLocaleTimeString();
  }

  // Draws a view (poll.js): its groups, each an answer `d` with the rows of
  // its slots (`rows`, from slotRows) and its heading `name` when it has
  // one; a router's models that are not loaded (`others`); the footer's
  // address. One source is a single group drawn straight into the card, and
  // when its answer has no slots the page shows why; a router's groups are
  // framed, each with its own message, and the models not loaded follow.
  function draw(view, sel) {
    var lone = view.framed ? null : view.groups[0];
    if (lone && lone.d && lone.d.sleeping) {
      showSleeping(view, sel);
      return;
    }
    if (lone ? !hasSlots(lone.d) : view.groups.length + view.others.length === 0) {
      showError(lone && lone.d ? lone.d.error : undefined);
      return;
    }
    if (card._mode !== 'one') resetCard('one');
    var now = Date.now();
    var count = 0;
    var drawn = 0;
    var stale = false;
    var braxel = false;
    var items = [];
    view.groups.forEach(function (g, i) {
      var parts = g.name ? [{ key: 'head:' + g.name, make: modelRow.bind(null, g.name, '') }] : [];
      if (hasSlots(g.d)) {
        drawn++;
        count += g.d.slots.length;
        stale = stale || isStale(g.d, now);
        braxel = braxel || !!g.d.braxel;
        parts = parts.concat(slotItems(g.rows, null));
      } else {
        parts.push(messageItem(g.d ? g.d.error : undefined));
      }
      if (!view.framed) {
        items = items.concat(parts);
        return;
      }
      items.push({
        key: 'group:' + i + ':' + g.name,
        make: node.bind(null, 'div', 'sl-group'),
        update: function (e) {
          place(e, parts);
        }
      });
    });
    view.others.forEach(function (m) {
      var state = stateText(m.status);
      items.push({
        key: 'other:' + m.id + ':' + state,
        make: function () {
          var group = node('div', 'sl-group');
          group.appendChild(modelRow(m.id, state));
          return group;
        }
      });
    });
    if (view.note) {
      items.push({ key: 'note:' + view.note, make: node.bind(null, 'div', 'sl-msg sl-note', view.note) });
    }
    place(card, items);
    var failed = drawn === 0 && view.groups.length > 0;
    setClass(dot, failed ? 'dot err' : stale ? 'dot stale' : 'dot live');
    card.classList.toggle('stale', stale);
    setText(
      title,
      'Slots (' + count + ')' + (stale ? ' \u00b7 stale' : '') +
        (view.queue > 0 ? ' \u00b7 queue ' + view.queue : '')
    );
    setShown(braxelBadge, braxel);
    showBadge(sel);
    showFooter(view.footer, sel);
  }
