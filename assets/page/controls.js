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
    }, POLL_MS);
  }
  loadSessions().then(start, start);
})();
