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
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function setShown(e, on) {
    e.style.display = on ? '' : 'none';
  }

  // An answer's error as a message, or that there is nothing to draw.
  function messageRow(err) {
    return err ? node('div', 'sl-err', errText(err)) : node('div', 'sl-msg', 'No slots data');
  }

  function idleRow(n) {
    var row = node('div', 'sl-row sl-idle');
    row.appendChild(node('span', '', '#' + oneLine(n.id) + '  idle'));
    row.appendChild(node('span', '', fmtCtx(n.n_ctx) + ' ctx'));
    return row;
  }

  function busyRows(block, n, live) {
    var f = busyFigures(n, live);
    var head = node('div', 'sl-row sl-act-head');
    head.appendChild(node('span', '', '#' + oneLine(n.id)));
    head.appendChild(
      node('span', f.reading ? 'sl-prompt' : 'sl-gen', f.reading ? '\u25cf prompt' : '\u25cf gen')
    );
    head.appendChild(node('span', '', f.tg));
    head.appendChild(node('span', '', f.pp));
    block.appendChild(head);
    block.appendChild(node('div', 'sl-row sl-detail', f.prompt));
    block.appendChild(node('div', 'sl-row sl-detail', f.decoded));
    if (f.fill !== null) {
      var bar = node('div', barClass(f.fill));
      var i = node('i');
      i.style.width = f.fill + '%';
      bar.appendChild(i);
      block.appendChild(bar);
    }
  }

  // A block per row of slotRows (slot_math.js).
  function drawSlots(into, rows) {
    rows.forEach(function (r) {
      var block = node('div', 'sl-slot');
      if (r.n.is_processing) busyRows(block, r.n, r.live);
      else block.appendChild(idleRow(r.n));
      into.appendChild(block);
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
    dot.className = err ? 'dot err' : 'dot';
    title.textContent = 'Slots Monitor';
    setShown(braxelBadge, false);
    card.classList.remove('stale');
    card.appendChild(messageRow(err));
  }

  // A llama.cpp server that sleeps: the word where its slots would be, the
  // dot neither red nor live.
  function showSleeping(view, sel) {
    dot.className = 'dot';
    title.textContent = 'Slots \u00b7 sleeping';
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
    srcBadge.textContent = sel.url ? 'URL' : sel.sid || 'session';
  }

  function showFooter(url, sel) {
    srcLbl.textContent = url ? url : sel.sid ? 'session: ' + sel.sid : '';
    tsLbl.textContent = 'updated ' + new Date().toLocaleTimeString();
  }

  // Draws a view (poll.js): its groups, each an answer `d` with the rows of
  // its slots (`rows`, from slotRows) and its heading `name` when it has
  // one; a router's models that are not loaded (`others`); the footer's
  // address. One source is a single group drawn straight into the card, and
  // when its answer has no slots the page shows why; a router's groups are
  // framed, each with its own message, and the models not loaded follow.
  function draw(view, sel) {
    card.textContent = '';
    var lone = view.framed ? null : view.groups[0];
    if (lone && lone.d && lone.d.sleeping) {
      showSleeping(view, sel);
      return;
    }
    if (lone ? !hasSlots(lone.d) : view.groups.length + view.others.length === 0) {
      showError(lone && lone.d ? lone.d.error : undefined);
      return;
    }
    var now = Date.now();
    var count = 0;
    var drawn = 0;
    var stale = false;
    var braxel = false;
    view.groups.forEach(function (g) {
      var into = view.framed ? node('div', 'sl-group') : card;
      if (g.name) into.appendChild(modelRow(g.name, ''));
      if (hasSlots(g.d)) {
        drawn++;
        count += g.d.slots.length;
        stale = stale || isStale(g.d, now);
        braxel = braxel || !!g.d.braxel;
        drawSlots(into, g.rows);
      } else {
        into.appendChild(messageRow(g.d ? g.d.error : undefined));
      }
      if (into !== card) card.appendChild(into);
    });
    view.others.forEach(function (m) {
      var group = node('div', 'sl-group');
      group.appendChild(modelRow(m.id, stateText(m.status)));
      card.appendChild(group);
    });
    var failed = drawn === 0 && view.groups.length > 0;
    dot.className = failed ? 'dot err' : stale ? 'dot stale' : 'dot live';
    card.classList.toggle('stale', stale);
    title.textContent =
      'Slots (' + count + ')' + (stale ? ' \u00b7 stale' : '') +
      (view.queue > 0 ? ' \u00b7 queue ' + view.queue : '');
    if (view.note) card.appendChild(node('div', 'sl-msg sl-note', view.note));
    setShown(braxelBadge, braxel);
    showBadge(sel);
    showFooter(view.footer, sel);
  }
