  // The overview: every server the host configured (a router: each of its
  // models), every session with slot data and an address typed here, each
  // a group with a heading (its state, busy and total slots, the sum of its
  // generation speeds, its queue, a chart of that sum) over its slots. The
  // page shows it when the host configures servers or its address has
  // view=all, and nothing else is chosen. Each source is polled on its own
  // (fetchView, poll.js, so it is watched without being woken); the answers
  // of a poll are drawn together, and a source that is slow or dead holds
  // no other back longer than DRAW_WAIT_MS. A heading opens the one-source
  // view of its group, and the browser's Back returns here.

  var overview = {
    // The page can show it, and shows it now.
    able: sp.get('view') === 'all',
    on: false,
    // The sources from the sessions call, and the typed address.
    list: [],
    typed: null
  };

  // A source of the overview: its name, where its heading leads, its last
  // view, and for each of its groups (by the group's src) the series of its
  // summed speed and the records of its slots (history.js).
  function entry(name, url, sid) {
    return {
      s: newSource(url, sid),
      name: name,
      busy: false,
      view: null,
      groups: new Map(),
      el: node('div', 'ov-src')
    };
  }

  // The sources of the sessions call's answer: the configured servers, then
  // the sessions with slot data.
  function setOverview(sessions, servers) {
    overview.able = overview.able || servers.length > 0;
    overview.list = servers
      .map(function (s) {
        return entry(s.name, s.url, '');
      })
      .concat(
        sessions
          .filter(function (s) {
            return s.has_slots;
          })
          .map(function (s) {
            return entry(s.name, '', s.name);
          })
      );
  }

  function sources() {
    return overview.typed ? overview.list.concat([overview.typed]) : overview.list;
  }

  // A typed address becomes the overview's last group (empty: none).
  function typeInOverview(url) {
    if (overview.typed) overview.typed.s.gone = true;
    overview.typed = url ? entry(url, url, '') : null;
    card._mode = '';
  }

  // The answers of one poll are drawn together, in one frame, so that the
  // page lays itself out once a poll rather than once an answer: an answer
  // waits until every source asked has answered, or until DRAW_WAIT_MS after
  // the poll began, whichever comes first. After that, and for a source
  // still busy with an earlier poll, each answer is drawn as it comes: a
  // slow or dead source holds no other group back longer than DRAW_WAIT_MS.
  var DRAW_WAIT_MS = 250;
  // The poll whose answers are held, while they are.
  var held = null;

  function pollOverview() {
    var all = sources();
    if (all.length === 0) {
      draw(messageView(PICK_MSG), { url: '', sid: '' });
      return;
    }
    var round = { left: 0, timer: null };
    all.forEach(function (e) {
      if (e.busy) return;
      e.busy = true;
      round.left++;
      var done = function () {
        e.busy = false;
        if (--round.left === 0) release(round);
      };
      fetchView(e.s)
        .then(function (view) {
          if (view) took(e, view);
        })
        .catch(function () {
          took(e, messageView(NETWORK_MSG));
        })
        .then(done, done);
    });
    if (round.left === 0) return;
    held = round;
    round.timer = setTimeout(release.bind(null, round), DRAW_WAIT_MS);
  }

  // Draws the answers a poll held, once.
  function release(round) {
    clearTimeout(round.timer);
    if (held !== round) return;
    held = null;
    drawAnswered();
  }

  function drawAnswered() {
    var fresh = sources().filter(function (e) {
      return e.fresh;
    });
    if (overview.on && fresh.length > 0) drawOverview(fresh);
  }

  // A source's answer: its speeds measured, its slots' records and its
  // series carried on, then its group drawn.
  function took(e, view) {
    if (e.s.gone) return;
    measureView(e.s, view);
    var now = Date.now();
    view.groups.forEach(function (g) {
      var at = g.at || now;
      var old = e.groups.get(g.src) || { series: newSeries(), recs: [] };
      var rows = g.rows || [];
      var recs = rows.map(function (r, i) {
        var task = r.live ? r.live.task : undefined;
        var rec = slotRecord(old.recs[i] || null, r.n, task, at);
        var v = rowSpeed(r);
        if (rec && v !== null) pushPoint(rec.series, at, v);
        return rec;
      });
      var f = groupFigures(rows, recs, at);
      if (hasSlots(g.d)) pushPoint(old.series, at, f.speed);
      e.groups.set(g.src, { series: old.series, recs: recs, f: f, at: at });
    });
    e.view = view;
    e.fresh = true;
    if (!held) drawAnswered();
  }

  // Where a heading leads: the page with this group chosen.
  function pageHref(pick) {
    var text = pageQuery(FORWARDED.concat(['view']), pick);
    return location.pathname + (text ? '?' + text : '');
  }

  function groupHref(e, model) {
    if (!e.s.url) return pageHref({ id: e.s.sid });
    return pageHref({ url: model ? modelAddress(e.s.url, model) : e.s.url });
  }

  // Draws the sources `list` in place (every source with a view when the
  // card was showing something else), then the header and footer.
  function drawOverview(list) {
    if (card._mode !== 'overview') {
      resetCard('overview');
      card.classList.remove('stale');
      list = sources().filter(function (o) {
        card.appendChild(o.el);
        return !!o.view;
      });
    }
    list.forEach(drawSource);
    drawTotals();
  }

  function drawSource(e) {
    var view = e.view;
    e.fresh = false;
    var items = view.groups.map(function (g) {
      var model = view.framed ? g.name : null;
      var name = e.name + (g.name ? ' \u00b7 ' + g.name : '');
      return {
        key: 'group:' + g.src,
        make: groupNode,
        update: function (box) {
          updateGroup(box, name, groupHref(e, model), g, view, e.groups.get(g.src));
        }
      };
    });
    view.others.forEach(function (m) {
      var state = stateText(m.status);
      items.push({
        key: 'other:' + m.id,
        make: groupNode,
        update: function (box) {
          var p = box._p;
          setText(p.link, e.name + ' \u00b7 ' + oneLine(m.id));
          p.link.href = groupHref(e, m.id);
          setText(p.state, state);
          setClass(p.state, 'ov-state ov-off');
          setText(p.count, '0/0');
          setText(p.speed, '');
          place(p.body, []);
        }
      });
    });
    place(e.el, items);
  }

  // A group: its heading (a link to its one-source view, the state, the
  // counts, the queue, the chart and the summed speed beside it) and its
  // body (the slots, or the message).
  function groupNode() {
    var box = node('div', 'sl-group ov-group');
    var head = node('div', 'sl-row ov-head');
    var p = {
      link: node('a', 'ov-name'),
      state: node('span', 'ov-state'),
      count: node('span', 'ov-count'),
      queue: node('span', 'ov-queue'),
      chart: chartNode('chart', GROUP_CHART),
      speed: node('span', 'ov-speed'),
      body: node('div', 'ov-body')
    };
    [p.link, p.state, p.count, p.queue, p.chart, p.speed].forEach(function (c) {
      head.appendChild(c);
    });
    p.link.addEventListener('click', function (ev) {
      if (ev.button !== 0 || ev.ctrlKey || ev.metaKey || ev.shiftKey || ev.altKey) return;
      ev.preventDefault();
      go(p.link.getAttribute('href'));
    });
    box.appendChild(head);
    box.appendChild(p.body);
    box._p = p;
    return box;
  }

  function updateGroup(box, name, href, g, view, h) {
    var p = box._p;
    var f = h.f;
    var state = groupState(g.d, f, Date.now());
    setText(p.link, oneLine(name));
    if (p.link.getAttribute('href') !== href) p.link.setAttribute('href', href);
    setText(p.state, state === 'stalled' ? f.stalled + ' stalled' : state);
    setClass(p.state, 'ov-state ov-' + state);
    setText(p.count, f.busy + '/' + f.total);
    setText(p.queue, view.queue > 0 ? 'queue ' + view.queue : '');
    setChart(p.chart, h.series, h.at);
    setText(p.speed, '\u03a3 ' + fmtSpeed(f.total > 0 ? f.speed : null));
    if (state === 'sleeping') {
      place(p.body, []);
    } else if (!hasSlots(g.d)) {
      place(p.body, [messageItem(g.d ? g.d.error : undefined)]);
    } else {
      place(
        p.body,
        slotItems(g.rows, function (i) {
          return { rec: h.recs[i], at: h.at };
        })
      );
    }
  }

  // The header and footer: busy and total slots of every group, and the
  // stalled ones when there are any.
  function drawTotals() {
    var t = { busy: 0, total: 0, stalled: 0, live: 0, failing: 0 };
    sources().forEach(function (e) {
      if (!e.view) return;
      e.view.groups.forEach(function (g) {
        var h = e.groups.get(g.src);
        var state = groupState(g.d, h.f, Date.now());
        t.busy += h.f.busy;
        t.total += h.f.total;
        t.stalled += h.f.stalled;
        if (state === 'failing') t.failing++;
        else t.live++;
      });
    });
    setClass(dot, t.live > 0 ? 'dot live' : t.failing > 0 ? 'dot err' : 'dot');
    setText(
      title,
      'Slots (' + t.busy + '/' + t.total + ')' +
        (t.stalled > 0 ? ' \u00b7 ' + t.stalled + ' stalled' : '')
    );
    setShown(braxelBadge, false);
    setShown(srcBadge, true);
    setText(srcBadge, 'all');
    setText(srcLbl, sources().length + ' sources');
    tsLbl.textContent = 'updated ' + new Date().toLocaleTimeString();
  }
