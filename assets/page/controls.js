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
        var servers = d && Array.isArray(d.servers) ? serverOptions(d.servers) : [];
        sessSel.textContent = '';
        opts.concat(servers).forEach(function (o) {
          sessSel.appendChild(o);
        });
        if (d && d.addresses === 'configured') fixAddresses();
        if (!curSid && !curUrl && list.length > 0) {
          var pick = list.filter(function (s) {
            return s.has_slots;
          })[0];
          curSid = (pick || list[0]).name;
          sessSel.value = curSid;
        } else if (!curSid && !curUrl && servers.length > 0) {
          pickServer(servers[0]);
        }
      })
      .catch(function () {});
  }

  // The servers the host configured, after the sessions: an option each, by
  // name, whose address is polled like a typed one.
  function serverOptions(list) {
    var opts = [];
    list.forEach(function (s) {
      if (!s || typeof s.name !== 'string' || typeof s.url !== 'string') return;
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

  // The host lets only its configured servers be fetched: no address field,
  // and nothing said about typing one.
  function fixAddresses() {
    urlIn.style.display = 'none';
    el('btnGo').style.display = 'none';
    PICK_MSG = 'Pick a session or a server above.';
  }

  function probe() {
    curUrl = urlIn.value.trim();
    poll();
  }

  sessSel.addEventListener('change', function () {
    var o = sessSel.options[sessSel.selectedIndex];
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
