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
  // A poll of the current choice is outstanding.
  var busy = false;

  // A source the page polls: a typed or configured address `url`, or a
  // session `sid`. It holds what the page learnt of it: whether it is a
  // llama.cpp router (`router`: its models, null when it is none, and when
  // the list was read), how it is watched (`watch`, watch.js: null until the
  // props were looked at), its router models' states (`models`), and the
  // live speeds of its last drawing (`tracks`: for each group, the tracks
  // of its measured slots, slotRows). A source that is no longer polled is
  // `gone`: answers that arrive for it afterwards change nothing.
  function newSource(url, sid) {
    return {
      url: url,
      sid: sid,
      router: { models: null, at: 0 },
      watch: null,
      models: new Map(),
      tracks: new Map(),
      gone: false
    };
  }

  // The source of the current choice; a new one when the choice changed.
  var one = newSource(curUrl, curSid);

  function current() {
    if (one.url !== curUrl || one.sid !== curSid) {
      one.gone = true;
      one = newSource(curUrl, curSid);
    }
    return one;
  }

  // The one place that sets what is known of the source `s` as a llama.cpp
  // router: its models (null when it is no router) and when the list was
  // read (`at`).
  function setRouter(s, models, at) {
    s.router = { models: models, at: at };
  }

  function isRouter(s) {
    return !!s.router.models;
  }

  // A 400 from the address that may come from a router, unless the address
  // names a model or was found to be no router a short while ago.
  function routerHint(s, d) {
    return (
      routerError(d) &&
      !addressQuery(s.url).has('model') &&
      !(!s.router.models && s.router.at > 0 && Date.now() - s.router.at < NOT_ROUTER_MS)
    );
  }

  // The page's own parameters of these `names`, then `extra` (those left
  // empty are not written), as a query.
  function pageQuery(names, extra) {
    var q = new URLSearchParams();
    names.forEach(function (name) {
      var v = sp.get(name);
      if (v) q.append(name, v);
    });
    Object.keys(extra).forEach(function (name) {
      var v = extra[name];
      if (v === undefined || v === null || v === '') return;
      // set() keeps the first entry of that name in its place.
      q.set(name, String(v));
    });
    return q.toString();
  }

  function apiUrl(extra) {
    return location.pathname + '?' + pageQuery(FORWARDED, extra);
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

  // Reads the model list of the source `s`; true when it is a router (its
  // models have states). Nothing changes when the source is gone.
  function loadModels(s) {
    return call({ action: 'models', url: s.url }).then(function (res) {
      var list = res.d && Array.isArray(res.d.models) ? res.d.models : null;
      var found = routerList(list);
      if (!s.gone) setRouter(s, found ? list : null, res.at);
      return found;
    });
  }

  function routerList(list) {
    return (
      !!list &&
      list.some(function (m) {
        return m && typeof m.status === 'string';
      })
    );
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

  // One poll of a known router: one router call, which reads its model
  // list, the slots of the models loaded at the last list, and the counters
  // of those that are quiet (watch.js), in one curl run (a model loaded
  // since is listed now and asked from the next poll on). Resolves to the
  // router's view, or to null when the source is gone; a list that cannot
  // be read is shown as the failure, and the next poll tries again.
  function routerView(s) {
    var url = s.url;
    var asked = { action: 'router', url: url, models: '', quiet: '' };
    var quiet = {};
    s.router.models.forEach(function (m) {
      if (m.status !== 'loaded') return;
      var q = modelState(s, m.id).w.mode === 'quiet';
      if (q) quiet[m.id] = true;
      asked[q ? 'quiet' : 'models'] += encodeParam(m.id) + ',';
    });
    return call(asked).then(function (res) {
      if (s.gone || !isRouter(s)) return null;
      var d = res.d;
      var list = Array.isArray(d.models) ? d.models : null;
      if (!list) return messageView(d.error || 'HTTP error');
      if (!routerList(list)) {
        // No router any more: ask the address as it is.
        setRouter(s, null, res.at);
        return fetchView(s);
      }
      setRouter(s, list, res.at);
      var note = false;
      var groups = (Array.isArray(d.groups) ? d.groups : []).map(function (g) {
        var m = modelState(s, g.id);
        var answer =
          g.error !== undefined
            ? { error: g.error }
            : { ok: true, url: g.url, updated_epoch: d.updated_epoch, slots: g.slots };
        if (quiet[g.id] === true) {
          // Quiet: its last slots, fresh, while its counters show no work.
          m.w = afterCounters(m.w, g.metrics || null);
          answer = m.last ? Object.assign({}, m.last, { updated_epoch: d.updated_epoch }) : answer;
        } else {
          m.w = afterSlots(m.w, answer, res.at);
          m.last = hasSlots(answer) ? answer : null;
        }
        note = note || m.w.note;
        return { name: g.id, d: answer, at: res.at, src: url + '\n' + g.id };
      });
      // A model not loaded (asleep, unloaded) starts afresh once it is again.
      list.forEach(function (m) {
        if (m.status !== 'loaded') s.models.delete(m.id);
      });
      var others = list.filter(function (m) {
        return !groups.some(function (g) {
          return g.name === m.id;
        });
      });
      var view = { groups: groups, others: others, framed: true, footer: url };
      if (note) view.note = NOTE_MSG;
      return view;
    });
  }

  // One poll of the source `s`: resolves to the view to draw, or to null
  // when the source is gone and there is nothing to draw. A session, or an
  // address not known as a router: its slots call, and the model list when
  // the answer says it is a router, then the router's view. A known router:
  // routerView, one call. A llama.cpp server that the page watches:
  // watchedView.
  function fetchView(s) {
    var url = s.url;
    // A new address: one look at its props first (watch.js).
    if (url && !s.watch) {
      return lookAt(s).then(function (res) {
        if (s.gone) return null;
        // Found asleep: that answer is this poll's.
        return watched(s) && s.watch.w.mode === 'asleep' ? propsView(s, res) : fetchView(s);
      });
    }
    if (url && watched(s)) return watchedView(s);
    if (isRouter(s)) return routerView(s);
    var answer = call(url ? { action: 'slots', url: url } : { action: 'slots', id: s.sid });
    return answer.then(function (res) {
      var hinted = !!url && !s.gone && routerHint(s, res.d);
      var listed = hinted ? loadModels(s) : Promise.resolve(false);
      return listed.then(function (found) {
        // The source's own answer, unless it turned out to be a router's.
        if (!found) {
          var src = url ? 'url:' + url : 'id:' + s.sid;
          return sourceView(res, src, addressQuery(url).get('model'));
        }
        return !s.gone && isRouter(s) ? routerView(s) : null;
      });
    });
  }

  // Measures the live speeds of a view's slots of the source `s` against
  // the tracks of its last drawing (groups not in this view are forgotten).
  function measureView(s, view) {
    var next = new Map();
    view.groups.forEach(function (g) {
      if (!hasSlots(g.d)) return;
      var counted = slotRows(g.d.slots, s.tracks.get(g.src), g.at);
      g.rows = counted.rows;
      if (counted.kept.size > 0) next.set(g.src, counted.kept);
    });
    s.tracks = next;
  }

  // One slots call at a time (a router's calls count as one): a poll asked
  // for while one is outstanding is dropped, and the next one picks up
  // whatever choice is current then. The overview polls its own way
  // (overview.js).
  function poll() {
    if (overview.on) {
      pollOverview();
      return;
    }
    if (busy) return;
    var s = current();
    var drawn = function (view) {
      measureView(s, view);
      draw(view, { url: curUrl, sid: curSid });
    };
    if (!curUrl && !curSid) {
      drawn(messageView(PICK_MSG));
      return;
    }
    busy = true;
    var done = function () {
      busy = false;
    };
    fetchView(s)
      .then(function (view) {
        if (view) drawn(view);
      })
      .catch(function () {
        drawn(messageView(NETWORK_MSG));
      })
      .then(done, done);
  }
