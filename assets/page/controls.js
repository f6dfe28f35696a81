  // The controls: the session selector, the address input, Refresh and the
  // theme button; then the start: the sessions once, a first poll, and a poll
  // every POLL_MS while the page is visible.

  var sessSel = el('sessSel');
  var urlIn = el('urlIn');

  function loadSessions() {
    return fetch(apiUrl({ action: 'sessions' }))
      .then(function (r) {
        return r.json();
      })
      .then(function (d) {
        var list = d && Array.isArray(d.sessions) ? d.sessions : [];
        var servers = d && Array.isArray(d.servers) ? d.servers.filter(validServer) : [];
        setOverview(list, servers);
        // The options are built apart first, so a fault half-way leaves the
        // selector as it was.
        var opts = [];
        if (overview.able) {
          var all = new Option('Overview', '');
          all.dataset.all = '1';
          opts.push(all);
        } else if (list.length === 0) {
          opts.push(new Option('No sessions', ''));
        } else {
          opts.push(new Option('Select session\u2026', ''));
        }
        list.forEach(function (s) {
          var o = new Option(s.name + (s.has_slots ? ' (slots)' : ''), s.name);
          if (curSid && curSid === s.name) o.selected = true;
          opts.push(o);
        });
        sessSel.textContent = '';
        opts.concat(serverOptions(servers)).forEach(function (o) {
          sessSel.appendChild(o);
        });
        if (d && d.addresses === 'configured') fixAddresses();
        overview.on = overview.able && !curSid && !curUrl;
        if (!curSid && !curUrl && !overview.able && list.length > 0) {
          var pick = list.filter(function (s) {
            return s.has_slots;
          })[0];
          curSid = (pick || list[0]).name;
          sessSel.value = curSid;
        }
      })
      .catch(function () {});
  }

  function validServer(s) {
    return !!s && typeof s.name === 'string' && typeof s.url === 'string';
  }

  // The servers the host configured, after the sessions: an option each, by
  // name, whose address is polled like a typed one.
  function serverOptions(list) {
    var opts = [];
    list.forEach(function (s) {
      var o = new Option(s.name + ' (server)', '');
      o.dataset.url = s.url;
      if (curUrl && curUrl === s.url) o.selected = true;
      opts.push(o);
    });
    return opts;
  }

  function pickServer(o) {
    o.selected = true;
    curSid = '';
    curUrl = o.dataset.url;
    urlIn.value = curUrl;
  }

  // With the overview, a choice is a place in the browser's history: a
  // heading or the selector goes there, and Back returns.
  function go(href) {
    history.pushState(null, '', href);
    applyLocation();
  }

  function applyLocation() {
    var q = new URLSearchParams(location.search);
    curSid = q.get('id') || '';
    curUrl = q.get('url') || '';
    overview.on = overview.able && !curSid && !curUrl;
    urlIn.value = overview.on ? (overview.typed ? overview.typed.s.url : '') : curUrl;
    [].forEach.call(sessSel.options, function (o) {
      o.selected = overview.on
        ? !!o.dataset.all
        : curUrl
          ? o.dataset.url === curUrl
          : !!curSid && !o.dataset.url && o.value === curSid;
    });
    card._mode = '';
    // Back in the overview: every group drawn at once from its last view.
    var drawn = sources().some(function (e) {
      return !!e.view;
    });
    if (overview.on && drawn) drawOverview([]);
    poll();
  }

  window.addEventListener('popstate', applyLocation);

  // The host lets only its configured servers be fetched: no address field,
  // and nothing said about typing one.
  function fixAddresses() {
    urlIn.style.display = 'none';
    el('btnGo').style.display = 'none';
    PICK_MSG = 'Pick a session or a server above.';
  }

  function probe() {
    if (overview.on) typeInOverview(urlIn.value.trim());
    else curUrl = urlIn.value.trim();
    poll();
  }

  sessSel.addEventListener('change', function () {
    var o = sessSel.options[sessSel.selectedIndex];
    if (overview.able) {
      var pick = o.dataset.url ? { url: o.dataset.url } : { id: o.value };
      go(pageHref(o.dataset.all ? {} : pick));
      return;
    }
    if (o && o.dataset.url) {
      pickServer(o);
    } else {
      curSid = sessSel.value;
      curUrl = '';
      urlIn.value = '';
    }
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
    }, POLL_MS);
  }
  loadSessions().then(start, start);
})();
