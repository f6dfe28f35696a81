  // Watching a llama.cpp server without disturbing it (the state and its
  // steps are in slot_math.js). Every /slots request wakes a sleeping server
  // and restarts its idle timer; /props and /metrics do neither. So the page
  // looks once at the props of a typed address (when it starts on it and
  // when the address changes): an address that is no llama.cpp server is
  // polled as always; a llama.cpp server is not asked for its slots while it
  // sleeps, nor after its slots have been idle for QUIET_MS when it has
  // /metrics to show work beginning. A router's own address is polled as a
  // router (poll.js), its models each watched the same way (modelState).

  var NOTE_MSG =
    'This page keeps the server awake by polling its slots; start it with --metrics ' +
    'to let it sleep while idle.';

  // A source's `watch`: what its look found (`w`, null: polled as always)
  // and the last slots answer of a watched server (`last`), drawn again
  // while it is quiet.

  // The one look at the props of the source `s`; resolves to the answer
  // (null when there was none). Nothing changes when the source is gone.
  function lookAt(s) {
    var done = function (res) {
      if (!s.gone) s.watch = { w: firstWatch(res && res.d), last: null };
      return res;
    };
    return call({ action: 'props', url: s.url }).then(done, function () {
      return done(null);
    });
  }

  // The view of a watched server from its props call answer `res`: sleeping,
  // or while it is quiet its last slots with the time of this answer.
  function propsView(s, res) {
    var d = { sleeping: true, url: res.d.url };
    if (s.watch.w.mode === 'quiet' && s.watch.last) {
      d = Object.assign({}, s.watch.last, { updated_epoch: res.d.updated_epoch });
    }
    var view = sourceView({ d: d, at: res.at }, 'url:' + s.url, addressQuery(s.url).get('model'));
    return decorate(s, view);
  }

  // The state of a router's loaded model `id` (its watch state `w` and last
  // slots answer `last`), kept in the router's source `s`: a model that is
  // idle for QUIET_MS is asked for its counters instead of its slots, and
  // a model that sleeps is not asked at all (it is not listed loaded).
  function modelState(s, id) {
    var m = s.models.get(id);
    if (!m) {
      m = { w: firstWatch({ ok: true, props: { build_info: '', endpoint_metrics: true } }) };
      s.models.set(id, m);
    }
    return m;
  }

  // True when the source is a llama.cpp server that the page watches (not a
  // router's own address).
  function watched(s) {
    return !!s.watch && !!s.watch.w && !s.watch.w.router;
  }

  // Adds to a view of the watched server what is known beside its slots.
  function decorate(s, view) {
    view.queue = s.watch.w.queue;
    view.note = s.watch.w.note ? NOTE_MSG : '';
    return view;
  }

  // One poll of a watched server: resolves to the view to draw, or null when
  // the source is gone. Polling slots: its slots call, with the counters for
  // the queue (metrics=1) while every slot was busy at the last answer and
  // it has /metrics. Quiet: the props call with the counters, and the last
  // slots drawn again. Asleep: the props call alone.
  function watchedView(s) {
    var url = s.url;
    var w = s.watch.w;
    var src = 'url:' + url;
    var name = addressQuery(url).get('model');
    if (w.mode === 'slots') {
      var slotsCall = { action: 'slots', url: url };
      // While every slot is busy, the queue: /metrics read in the same run.
      if (w.metrics && w.busy) slotsCall.metrics = 1;
      return call(slotsCall).then(function (res) {
        if (s.gone) return null;
        var m = slotsCall.metrics && res.d ? res.d.metrics : null;
        var queue = m && typeof m.requests_deferred === 'number' ? m.requests_deferred : 0;
        s.watch.w = afterSlots(Object.assign({}, s.watch.w, { queue: queue }), res.d, res.at);
        s.watch.last = hasSlots(res.d) ? res.d : null;
        return decorate(s, sourceView(res, src, name));
      });
    }
    var asked = { action: 'props', url: url };
    if (w.mode === 'quiet') asked.metrics = 1;
    return call(asked).then(function (res) {
      if (s.gone) return null;
      s.watch.w = afterProps(s.watch.w, res.d);
      return s.watch.w.mode === 'slots' ? watchedView(s) : propsView(s, res);
    });
  }
