  // Polling: the program's calls, router mode, the live speeds, and the one
  // poll path that turns the current choice into a view for draw (draw.js).

  // The page's own query: the start choice and the host's parameters that
  // travel along on every call.
  var sp = new URLSearchParams(location.search);
  var FORWARDED = ['plugin', 'node', 'pwd'];
  var PICK_MSG = 'Pick a session above or enter a llama.cpp server URL.';
  var NETWORK_MSG = 'Network error polling slots';

  // The current choice: a typed address, or else a session.
  var curSid = sp.get('id') || '';
  var curUrl = sp.get('url') || '';
  // A poll is outstanding.
  var busy = false;
  // Live speeds: for each source of the last drawing (an address, a session,
  // a router's model), the tracks of its measured slots (slotRows).
  var tracks = new Map();
  // What the models call said of a typed address; see setRouter.
  var router;
  setRouter('', null, 0, null, false);

  // The one place that sets what is known of the typed address `url` as a
  // llama.cpp router: its models (null when it is no router), when the list
  // was read (`at`), a failure to read the list that is yet to be shown
  // (`error`), and whether the next poll reads the list again whatever its
  // age (`recheck`).
  function setRouter(url, models, at, error, recheck) {
    router = { url: url, models: models, at: at, error: error, recheck: recheck };
  }

  function isRouter(url) {
    return router.url === url && !!router.models;
  }

  // A 400 from the address that may come from a router, unless the address
  // names a model or was found to be no router a short while ago.
  function routerHint(d, url) {
    return (
      routerError(d) &&
      !addressQuery(url).has('model') &&
      !(router.url === url && !router.models && Date.now() - router.at < NOT_ROUTER_MS)
    );
  }

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

  // Reads the model list of `url`; true when it is a router (its models have
  // states). Nothing changes when the choice changed meanwhile.
  function loadModels(url) {
    return call({ action: 'models', url: url }).then(function (res) {
      var list = res.d && Array.isArray(res.d.models) ? res.d.models : null;
      var found =
        !!list &&
        list.some(function (m) {
          return m && typeof m.status === 'string';
        });
      if (url !== curUrl) return false;
      if (found) {
        setRouter(url, list, res.at, null, false);
      } else if (list || !isRouter(url)) {
        setRouter(url, null, res.at, null, false);
      } else {
        // The router did not answer: keep its models, show why.
        setRouter(url, router.models, res.at, res.d.error || 'HTTP error', router.recheck);
      }
      return found;
    });
  }

  // Views, what draw (draw.js) shows: `groups`, each an answer `d` of the
  // source `src` received at `at`, with a heading `name` or none; `others`,
  // a router's models that are not loaded; `framed` for a router's groups;
  // `footer`, the address that the footer shows.
  function sourceView(res, src, name) {
    var d = res.d;
    return {
      groups: [{ name: name, d: d, at: res.at, src: src }],
      others: [],
      framed: false,
      footer: d ? d.url : undefined
    };
  }

  function messageView(err) {
    return sourceView({ d: { error: err } }, '', null);
  }

  // Every loaded model's slots at once, as a router's view; null when the
  // choice changed meanwhile.
  function routerView(url) {
    var models = router.models;
    var loaded = models.filter(function (m) {
      return m.status === 'loaded';
    });
    var others = models.filter(function (m) {
      return m.status !== 'loaded';
    });
    return Promise.all(
      loaded.map(function (m) {
        var group = { name: m.id, src: url + '\n' + m.id };
        return call({ action: 'slots', url: modelAddress(url, m.id) }).then(
          function (res) {
            group.d = res.d;
            group.at = res.at;
            return group;
          },
          function () {
            group.d = { error: NETWORK_MSG };
            group.at = Date.now();
            return group;
          }
        );
      })
    ).then(function (groups) {
      if (url !== curUrl) return null;
      // A model that failed may have been unloaded: read the list again on
      // the next poll.
      var failed = groups.some(function (g) {
        return g.d && g.d.error;
      });
      setRouter(url, models, router.at, null, failed);
      return { groups: groups, others: others, framed: true, footer: url };
    });
  }

  // One poll of the current choice: resolves to the view to draw, or to null
  // when the choice changed meanwhile and there is nothing to draw. A session,
  // or an address not known as a router: its slots call, and the model list
  // when the answer says it is a router. A known router: its model list when
  // due, then its loaded models' slots. At most one call more than there are
  // loaded models. A llama.cpp server that the page watches: watchedView.
  function fetchView() {
    var url = curUrl;
    var sid = curSid;
    // A new address: one look at its props first (watch.js).
    if (url && watch.url !== url) {
      return lookAt(url).then(function (res) {
        if (url !== curUrl) return null;
        // Found asleep: that answer is this poll's.
        return watched(url) && watch.w.mode === 'asleep' ? propsView(res, url) : fetchView();
      });
    }
    if (url && watched(url)) return watchedView(url);
    var known = isRouter(url);
    var answer = known
      ? Promise.resolve(null)
      : call(url ? { action: 'slots', url: url } : { action: 'slots', id: sid });
    return answer.then(function (res) {
      var hinted = !!res && !!url && url === curUrl && routerHint(res.d, url);
      var due = known && (Date.now() - router.at >= MODELS_MAX_AGE_MS || router.recheck);
      var listed = hinted || due ? loadModels(url) : Promise.resolve(false);
      return listed.then(function (found) {
        // The source's own answer, unless it turned out to be a router's.
        if (res && !found) {
          var src = url ? 'url:' + url : 'id:' + sid;
          return sourceView(res, src, addressQuery(url).get('model'));
        }
        if (url !== curUrl || router.url !== url) return null;
        // No router any more: ask the address as it is.
        if (!router.models) return fetchView();
        if (router.error) {
          var err = router.error;
          setRouter(url, router.models, router.at, null, true);
          return messageView(err);
        }
        return routerView(url);
      });
    });
  }

  // Measures the live speeds of a view's slots against the tracks of the
  // last drawing (sources not in this view are forgotten), then draws it.
  function drawView(view) {
    var next = new Map();
    view.groups.forEach(function (g) {
      if (!hasSlots(g.d)) return;
      var counted = slotRows(g.d.slots, tracks.get(g.src), g.at);
      g.rows = counted.rows;
      if (counted.kept.size > 0) next.set(g.src, counted.kept);
    });
    tracks = next;
    draw(view, { url: curUrl, sid: curSid });
  }

  // One slots call at a time (a router's calls count as one): a poll asked
  // for while one is outstanding is dropped, and the next one picks up
  // whatever choice is current then.
  function poll() {
    if (busy) return;
    if (!curUrl && !curSid) {
      drawView(messageView(PICK_MSG));
      return;
    }
    busy = true;
    var done = function () {
      busy = false;
    };
    fetchView()
      .then(function (view) {
        if (view) drawView(view);
      })
      .catch(function () {
        drawView(messageView(NETWORK_MSG));
      })
      .then(done, done);
  }
